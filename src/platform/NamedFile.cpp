#include "platform/NamedFile.h"

#include "platform/File.h"

namespace korvelt {

NamedFile::~NamedFile() { closeHandle(); }

void NamedFile::closeHandle() noexcept {
    if (handle_ >= 0) {
        file::close(handle_);
        handle_ = -1;
    }
}

} // namespace korvelt
