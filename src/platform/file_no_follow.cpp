#include "platform/file_no_follow.hpp"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::FILE* createNewFile(const std::filesystem::path& path)
{
    // O_EXCL with O_CREAT refuses any entry at the path, a link included.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, "w");
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

std::FILE* replaceWithNewFile(const std::filesystem::path& path)
{
    // Twice at most: an entry put back at once between the removal and the
    // creation is refused rather than fought over.
    for (int attempt = 0; attempt < 2; ++attempt) {
        struct stat entry {};
        if (::lstat(path.c_str(), &entry) == 0) {
            if (S_ISDIR(entry.st_mode)) {
                errno = EISDIR;
                return nullptr;
            }
            if (::unlink(path.c_str()) != 0 && errno != ENOENT)
                return nullptr;
        } else if (errno != ENOENT) {
            return nullptr;
        }
        if (std::FILE* file = createNewFile(path))
            return file;
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

} // namespace platform
