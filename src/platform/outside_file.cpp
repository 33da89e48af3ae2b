#include "platform/outside_file.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool OutsideFileStatus::missing() const
{
    return problem == OutsideFileProblem::cannotOpen && (error == ENOENT || error == ENOTDIR);
}

int openOutsideFile(const std::filesystem::path& path, std::uint64_t maxBytes, OutsideFileStatus& status)
{
    status = OutsideFileStatus{};
    status.limit = maxBytes;
    int fd = -1;
    do {
        // O_NONBLOCK: a FIFO's open would otherwise wait for a writer.
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        status.problem = OutsideFileProblem::cannotOpen;
        status.error = errno;
        return -1;
    }
    struct stat entry {};
    if (::fstat(fd, &entry) != 0) {
        status.problem = OutsideFileProblem::cannotOpen;
        status.error = errno;
    } else if (!S_ISREG(entry.st_mode)) {
        status.problem = OutsideFileProblem::notRegularFile;
    } else {
        status.size = static_cast<std::uint64_t>(entry.st_size);
        if (status.size > maxBytes)
            status.problem = OutsideFileProblem::tooLarge;
    }
    if (!status.ok()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::FILE* openOutsideFileStream(const std::filesystem::path& path, std::uint64_t maxBytes,
                                 OutsideFileStatus& status)
{
    const int fd = openOutsideFile(path, maxBytes, status);
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        status.problem = OutsideFileProblem::cannotOpen;
        status.error = errno;
        ::close(fd);
    }
    return file;
}

bool readFromOutsideFile(int fd, char* out, std::uint64_t size, std::uint64_t& got)
{
    got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, out + got, static_cast<std::size_t>(size - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += static_cast<std::uint64_t>(n);
    }
    return true;
}

OutsideFileStatus readOutsideFile(const std::filesystem::path& path, std::uint64_t maxBytes, std::string& bytes)
{
    bytes.clear();
    OutsideFileStatus status;
    const int fd = openOutsideFile(path, maxBytes, status);
    if (fd < 0)
        return status;
    // One byte more than the size seen: a file still growing shows here.
    const std::uint64_t want = status.size < maxBytes ? status.size + 1 : maxBytes + 1;
    std::uint64_t got = 0;
    bool read = true;
    try {
        bytes.resize(static_cast<std::size_t>(want));
        read = readFromOutsideFile(fd, bytes.data(), want, got);
    } catch (const std::bad_alloc&) {
        read = false;
        errno = ENOMEM;
    }
    const int error = errno;
    ::close(fd);
    if (!read) {
        bytes.clear();
        status.problem = OutsideFileProblem::readFailed;
        status.error = error;
    } else if (got > maxBytes) {
        bytes.clear();
        status.problem = OutsideFileProblem::tooLarge;
        status.size = got;
    } else {
        bytes.resize(static_cast<std::size_t>(got));
        status.size = got;
    }
    return status;
}

std::string outsideFileCause(const OutsideFileStatus& status)
{
    switch (status.problem) {
    case OutsideFileProblem::notRegularFile:
        return "is not a regular file";
    case OutsideFileProblem::tooLarge:
        return "is larger than " + std::to_string(status.limit) + " bytes";
    case OutsideFileProblem::readFailed:
        return std::string("could not be read: ") + std::strerror(status.error);
    case OutsideFileProblem::cannotOpen:
        if (!status.missing())
            return std::string("could not be opened: ") + std::strerror(status.error);
        return {};
    case OutsideFileProblem::none:
        return {};
    }
    return {};
}

std::string outsideFileRefusal(const std::filesystem::path& path, const OutsideFileStatus& status)
{
    const std::string cause = outsideFileCause(status);
    if (cause.empty())
        return {};
    const bool notRead = status.problem == OutsideFileProblem::notRegularFile ||
                         status.problem == OutsideFileProblem::tooLarge;
    return path.string() + " " + cause + (notRead ? ": not read" : "");
}

} // namespace platform
