#pragma once

#include "platform/FileProblem.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Descriptor-level file access in binary mode. Every function is safe to call with a
// descriptor of -1 (it then fails) and never throws.
//
// A function that fails leaves the system's reason in errno; a read that fails because
// the file ended first leaves errno 0, so a caller can tell a damaged or short file from
// a failing disk.
namespace korvelt::file {

// Opens an existing file for reading. Returns -1 on failure; a directory is refused
// (EISDIR), as reading it could only fail later.
int openRead(const std::string& path) noexcept;
// Creates or truncates a file for writing (read and write permission). Returns -1 on failure.
int openWrite(const std::string& path) noexcept;
void close(int fd) noexcept;

// Reads up to n bytes, continuing after partial reads, until n bytes arrived, the end of
// the file, or an error. Returns the number of bytes read, or -1 when an error occurred
// before anything was read.
std::int64_t read(int fd, void* buffer, std::size_t n) noexcept;
// Reads exactly n bytes; false on a short read or an error.
bool readExact(int fd, void* buffer, std::size_t n) noexcept;
// Writes all n bytes; false on any error or short write (disk full, removed medium).
bool writeAll(int fd, const void* buffer, std::size_t n) noexcept;
// Reads n bytes at an absolute offset without moving the file position.
bool readAt(int fd, std::uint64_t offset, void* buffer, std::size_t n) noexcept;

// Moves the file position; return the new position, or -1 on failure.
std::int64_t seekTo(int fd, std::int64_t offset) noexcept;
std::int64_t seekBy(int fd, std::int64_t delta) noexcept;
std::int64_t position(int fd) noexcept;
// The file's length in bytes, or -1.
std::int64_t size(int fd) noexcept;

bool exists(const std::string& path) noexcept;
// Both names exist and name the same file (the same device and inode): hard links, symbolic
// links and other spellings of one path all count. False when either does not exist.
bool sameFile(const std::string& a, const std::string& b) noexcept;
// The file a name stands for (its device and inode) as a text: two names have the same
// identity exactly when sameFile is true of them. None when the name does not exist.
std::optional<std::string> identity(const std::string& path);
bool remove(const std::string& path) noexcept;
// Replaces `to` atomically when it exists.
bool rename(const std::string& from, const std::string& to) noexcept;
// Reads a whole file into a string; false when it cannot be opened or read.
bool readWhole(const std::string& path, std::string& out);
// Creates the directory and its parents; true when it exists afterwards.
bool makeDirectories(const std::string& path);

// The system's text for an error number ("No such file or directory").
std::string errorText(int error);
// What went wrong with `path` just now: the system's reason when errno holds one, else
// `otherwise` (a file that ended early, or whose contents are not what was expected).
FileProblem problem(const std::string& path, const std::string& otherwise);

} // namespace korvelt::file
