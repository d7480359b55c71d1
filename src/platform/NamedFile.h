#pragma once

#include <string>

namespace korvelt {

// The common base of the program's file classes: the file's name and the descriptor of
// the open file (-1 while none is open), which the derived class sets. The destructor
// closes a descriptor that is still open.
class NamedFile {
public:
    explicit NamedFile(std::string name) : name_(std::move(name)) {}
    virtual ~NamedFile();

    NamedFile(const NamedFile&) = delete;
    NamedFile& operator=(const NamedFile&) = delete;

    const std::string& name() const noexcept { return name_; }
    int handle() const noexcept { return handle_; }

protected:
    void closeHandle() noexcept;

    int handle_ = -1;

private:
    std::string name_;
};

} // namespace korvelt
