#pragma once
// What a process holds, read from /proc: its threads, its open descriptors,
// its UDP sockets on a port; and free loopback ports for programs under test.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace testsupport {

// A free port on 127.0.0.1, found by binding port 0 (UDP or TCP).
inline std::uint16_t freePort(bool udp)
{
    const int fd = ::socket(AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

// The process's resident memory in kB; -1 when it cannot be read.
inline long residentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

inline int entriesIn(const std::filesystem::path& folder)
{
    std::error_code error;
    int n = 0;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        ++n;
    return n;
}

inline std::string procFolder(pid_t pid)
{
    return "/proc/" + std::to_string(pid);
}

inline int threadCount(pid_t pid)
{
    return entriesIn(procFolder(pid) + "/task");
}

inline int descriptorCount(pid_t pid)
{
    return entriesIn(procFolder(pid) + "/fd");
}

// The inodes of the sockets among the process's descriptors.
inline std::set<std::string> socketInodes(pid_t pid)
{
    std::set<std::string> inodes;
    std::error_code error;
    for (std::filesystem::directory_iterator it(procFolder(pid) + "/fd", error), end; !error && it != end;
         it.increment(error)) {
        const std::string target = std::filesystem::read_symlink(it->path(), error).string();
        if (target.rfind("socket:[", 0) == 0)
            inodes.insert(target.substr(8, target.size() - 9));
    }
    return inodes;
}

// The process's UDP sockets bound to the port, each as its local address in
// the kernel's hex ("0100007F" is 127.0.0.1, "00000000" any address).
inline std::multiset<std::string> udpSocketsOn(pid_t pid, std::uint16_t port)
{
    const std::set<std::string> inodes = socketInodes(pid);
    std::multiset<std::string> addresses;
    std::ifstream table(procFolder(pid) + "/net/udp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        const auto colon = local.find(':');
        if (colon == std::string::npos || !inodes.contains(inode))
            continue;
        if (std::stoul(local.substr(colon + 1), nullptr, 16) == port)
            addresses.insert(local.substr(0, colon));
    }
    return addresses;
}

// The process's Unix-domain sockets bound to a path inside the folder: a
// listener there and every connection it accepted.
inline int unixSocketsUnder(pid_t pid, const std::filesystem::path& folder)
{
    const std::set<std::string> inodes = socketInodes(pid);
    const std::string prefix = folder.string() + "/";
    std::ifstream table(procFolder(pid) + "/net/unix");
    std::string line;
    std::getline(table, line);
    int n = 0;
    while (std::getline(table, line)) {
        // Num RefCount Protocol Flags Type St Inode Path
        std::istringstream fields(line);
        std::string num, refs, protocol, flags, type, state, inode, path;
        fields >> num >> refs >> protocol >> flags >> type >> state >> inode;
        std::getline(fields >> std::ws, path);  // a path may hold spaces
        if (inodes.contains(inode) && path.rfind(prefix, 0) == 0)
            ++n;
    }
    return n;
}

} // namespace testsupport
