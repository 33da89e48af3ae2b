#include "platform/pipe.hpp"

#include "platform/folders.hpp"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {

std::filesystem::path pipeFolder()
{
    if (const char* dir = std::getenv("NORVANE_PIPE_DIR"); dir && *dir)
        return std::filesystem::path(dir);
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::filesystem::path(runtime) / "norvane-pipes";
    return std::filesystem::path("/tmp") / ("norvane-pipes-" + std::to_string(::getuid()));
}

std::optional<std::filesystem::path> pipeSocketPathAnyLength(std::string_view fullPipeName)
{
    // "\\SERVER\pipe\NAME"
    if (fullPipeName.size() < 2 || fullPipeName.substr(0, 2) != "\\\\")
        return std::nullopt;
    std::string_view rest = fullPipeName.substr(2);
    const auto slash = rest.find('\\');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::string_view server = rest.substr(0, slash);
    rest.remove_prefix(slash + 1);
    constexpr std::string_view kPipe = "pipe\\";
    if (rest.size() <= kPipe.size() || rest.substr(0, kPipe.size()) != kPipe)
        return std::nullopt;
    // No pipe reaches another machine here.
    if (server != ".")
        return std::nullopt;
    std::string name(rest.substr(kPipe.size()));
    for (char& c : name) {
        if (c == '\\' || c == '/')
            c = '_';
        else if (c == '\0')
            return std::nullopt;
    }
    if (name == "." || name == "..")
        return std::nullopt;
    return pipeFolder() / name;
}

std::optional<std::filesystem::path> pipeSocketPath(std::string_view fullPipeName)
{
    auto path = pipeSocketPathAnyLength(fullPipeName);
    if (path && path->string().size() > kMaxPipeSocketPathBytes)
        return std::nullopt;
    return path;
}

namespace {

// The reason a pipe name gives no socket path.
std::error_code lf_unusableName(std::string_view fullPipeName, std::errc otherwise)
{
    if (pipeSocketPathAnyLength(fullPipeName))
        return std::make_error_code(std::errc::filename_too_long);
    return std::make_error_code(otherwise);
}

} // namespace

StreamSocket connectPipe(std::string_view fullPipeName, std::chrono::milliseconds busyWait, std::error_code& ec)
{
    const auto path = pipeSocketPath(fullPipeName);
    if (!path) {
        ec = lf_unusableName(fullPipeName, std::errc::no_such_file_or_directory);
        return {};
    }
    StreamSocket socket = StreamSocket::connectUnix(*path, ec);
    if (socket.valid() || ec != std::errc::resource_unavailable_try_again)
        return socket;
    // The server's queue is full: wait for a free place, as a busy pipe is waited for.
    const auto deadline = std::chrono::steady_clock::now() + busyWait;
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        socket = StreamSocket::connectUnix(*path, ec);
        if (socket.valid() || ec != std::errc::resource_unavailable_try_again)
            return socket;
    }
    return socket;
}

StreamListener listenPipe(std::string_view fullPipeName, std::error_code& ec)
{
    const auto path = pipeSocketPath(fullPipeName);
    if (!path) {
        ec = lf_unusableName(fullPipeName, std::errc::invalid_argument);
        return {};
    }
    // Only a folder made here is narrowed to its owner; a given one stays as it is.
    if (std::filesystem::create_directories(path->parent_path(), ec))
        ::chmod(path->parent_path().c_str(), 0700);
    if (ec)
        return {};
    return StreamListener::listenUnix(*path, ec);
}

} // namespace platform
