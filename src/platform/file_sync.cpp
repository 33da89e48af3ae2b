#include "platform/file_sync.hpp"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

bool syncFileToDisk(const std::filesystem::path& path)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace platform
