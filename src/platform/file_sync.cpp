#include "platform/file_sync.hpp"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool lf_syncOpened(const std::filesystem::path& path, int flags)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

} // namespace

bool syncFileToDisk(const std::filesystem::path& path)
{
    return lf_syncOpened(path, 0);
}

bool syncFolderToDisk(const std::filesystem::path& folder)
{
    if (lf_syncOpened(folder.empty() ? std::filesystem::path(".") : folder, O_DIRECTORY))
        return true;
    // Some file systems (network shares among them) offer no sync of a
    // folder: the rename is then as safe as they make it.
    return errno == EINVAL || errno == ENOTSUP;
}

bool keepFileMode(const std::filesystem::path& from, const std::filesystem::path& to)
{
    struct stat entry {};
    if (::lstat(from.c_str(), &entry) != 0 || !S_ISREG(entry.st_mode))
        return true;
    return ::chmod(to.c_str(), entry.st_mode & 07777) == 0;
}

} // namespace platform
