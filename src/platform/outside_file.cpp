#include "platform/outside_file.hpp"

#include <algorithm>
#include <atomic>
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

namespace {

std::atomic<OutsideReadHook> readHookForTests{nullptr};

bool lf_sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// One pass over the file: to its end or one byte past the limit. `changed`
// when what was read is not the file as it was before and after the reading.
OutsideFileStatus lf_readOnce(const std::filesystem::path& path, std::uint64_t maxBytes, std::string& bytes,
                              bool& changed)
{
    bytes.clear();
    changed = false;
    OutsideFileStatus status;
    const int fd = openOutsideFile(path, maxBytes, status);
    if (fd < 0)
        return status;
    struct stat before {};
    bool read = ::fstat(fd, &before) == 0;
    if (const OutsideReadHook hook = readHookForTests.load())
        hook(path);
    std::uint64_t got = 0;
    try {
        // The size seen and one byte more, so that a file still growing
        // shows at once; then more room as long as it goes on.
        std::uint64_t room = std::min(status.size, maxBytes) + 1;
        while (read) {
            bytes.resize(static_cast<std::size_t>(got + room));
            std::uint64_t more = 0;
            read = readFromOutsideFile(fd, bytes.data() + got, room, more);
            got += more;
            if (more < room || got > maxBytes)
                break;
            room = std::min<std::uint64_t>(std::max<std::uint64_t>(got, 65536), maxBytes + 1 - got);
        }
    } catch (const std::bad_alloc&) {
        read = false;
        errno = ENOMEM;
    }
    const int error = errno;
    struct stat after {};
    if (read && ::fstat(fd, &after) != 0)
        read = false;
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
        const auto sizeBefore = static_cast<std::uint64_t>(before.st_size);
        changed = got != sizeBefore || static_cast<std::uint64_t>(after.st_size) != sizeBefore ||
                  !lf_sameTime(before.st_mtim, after.st_mtim) || !lf_sameTime(before.st_ctim, after.st_ctim);
    }
    return status;
}

} // namespace

void setOutsideReadHookForTests(OutsideReadHook hook) { readHookForTests.store(hook); }

OutsideFileStatus readOutsideFile(const std::filesystem::path& path, std::uint64_t maxBytes, std::string& bytes)
{
    bool changed = false;
    OutsideFileStatus status = lf_readOnce(path, maxBytes, bytes, changed);
    if (status.ok() && changed)
        status = lf_readOnce(path, maxBytes, bytes, changed);
    if (status.ok() && changed) {
        bytes.clear();
        status.problem = OutsideFileProblem::changing;
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
    case OutsideFileProblem::changing:
        return "changed while it was read, twice";
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
                         status.problem == OutsideFileProblem::tooLarge ||
                         status.problem == OutsideFileProblem::changing;
    return path.string() + " " + cause + (notRead ? ": not read" : "");
}

} // namespace platform
