#include "platform/file_no_follow.hpp"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

std::FILE* createFileNoFollow(const std::filesystem::path& path)
{
    // Twice at most: a link found at the first try is removed; one that is
    // put back at once is refused rather than fought over.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            std::FILE* file = ::fdopen(fd, "w");
            if (!file) {
                const int error = errno;
                ::close(fd);
                errno = error;
            }
            return file;
        }
        // O_NOFOLLOW answers ELOOP for a link at the path itself.
        if (errno != ELOOP || ::unlink(path.c_str()) != 0)
            return nullptr;
    }
    errno = ELOOP;
    return nullptr;
}

} // namespace platform
