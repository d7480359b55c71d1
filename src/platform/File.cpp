#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <system_error>

namespace korvelt::file {

int openRead(const std::string& path) noexcept {
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return -1;
    }
    return fd;
}

int openWrite(const std::string& path) noexcept {
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void close(int fd) noexcept {
    if (fd >= 0)
        ::close(fd);
}

std::int64_t read(int fd, void* buffer, std::size_t n) noexcept {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = ::read(fd, p + done, n - done);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return done > 0 ? static_cast<std::int64_t>(done) : -1;
        }
        if (r == 0) {
            errno = 0; // the file ended first
            break;
        }
        done += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(done);
}

bool readExact(int fd, void* buffer, std::size_t n) noexcept {
    return read(fd, buffer, n) == static_cast<std::int64_t>(n);
}

bool writeAll(int fd, const void* buffer, std::size_t n) noexcept {
    if (fd < 0) {
        errno = EBADF;
        return false;
    }
    auto* p = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(fd, p + done, n - done);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (w == 0) {
            errno = ENOSPC; // nothing taken: the medium is full
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    return true;
}

bool readAt(int fd, std::uint64_t offset, void* buffer, std::size_t n) noexcept {
    if (fd < 0 || offset > static_cast<std::uint64_t>(INT64_MAX)) {
        errno = fd < 0 ? EBADF : 0;
        return false;
    }
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(fd, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (r == 0) {
            errno = 0; // the file ended first
            return false;
        }
        done += static_cast<std::size_t>(r);
    }
    return true;
}

std::int64_t seekTo(int fd, std::int64_t offset) noexcept {
    if (fd < 0 || offset < 0)
        return -1;
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET);
}

std::int64_t seekBy(int fd, std::int64_t delta) noexcept {
    if (fd < 0)
        return -1;
    return ::lseek(fd, static_cast<off_t>(delta), SEEK_CUR);
}

std::int64_t position(int fd) noexcept {
    if (fd < 0)
        return -1;
    return ::lseek(fd, 0, SEEK_CUR);
}

std::int64_t size(int fd) noexcept {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return -1;
    return st.st_size;
}

std::string errorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

FileProblem problem(const std::string& path, const std::string& otherwise) {
    const int error = errno;
    return FileProblem{path, error != 0 ? errorText(error) : otherwise};
}

bool exists(const std::string& path) noexcept {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    return ::access(path.c_str(), F_OK) == 0;
}

bool sameFile(const std::string& a, const std::string& b) noexcept {
    struct stat sa {};
    struct stat sb {};
    if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::optional<std::string> identity(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

bool remove(const std::string& path) noexcept {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

bool rename(const std::string& from, const std::string& to) noexcept {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool readWhole(const std::string& path, std::string& out) {
    out.clear();
    int fd = openRead(path);
    if (fd < 0)
        return false;
    bool ok = true;
    char chunk[65536];
    for (;;) {
        std::int64_t r = read(fd, chunk, sizeof chunk);
        if (r < 0) {
            ok = false;
            break;
        }
        out.append(chunk, static_cast<std::size_t>(r));
        if (r < static_cast<std::int64_t>(sizeof chunk))
            break;
    }
    const int error = errno;
    close(fd);
    errno = error;
    return ok;
}

bool makeDirectories(const std::string& path) {
    if (path.empty())
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        makeDirectories(path.substr(0, slash));
    return ::mkdir(path.c_str(), 0777) == 0 ||
           (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

} // namespace korvelt::file
