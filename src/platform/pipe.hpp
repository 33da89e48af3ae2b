#pragma once
// Named pipes "\\SERVER\pipe\NAME" are Unix-domain stream sockets here: the
// socket lives at $NORVANE_PIPE_DIR/NAME with every backslash of NAME turned
// into '_' (default folder $XDG_RUNTIME_DIR/norvane-pipes, else
// /tmp/norvane-pipes-<uid>). Only the local server "." exists.

#include "platform/stream_socket.hpp"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

namespace platform {

std::filesystem::path pipeFolder();

// The longest socket path a local socket can use: sockaddr_un holds 108
// bytes with the terminating zero.
inline constexpr std::size_t kMaxPipeSocketPathBytes = 107;

// The socket path of a full pipe name, whatever its length; none for a
// remote server or a malformed name.
std::optional<std::filesystem::path> pipeSocketPathAnyLength(std::string_view fullPipeName);

// The socket path of a full pipe name; none for a remote server, a malformed
// name or a name too long for a socket path.
std::optional<std::filesystem::path> pipeSocketPath(std::string_view fullPipeName);

// Opens the client end. A pipe whose server is busy (its queue of waiting
// connections is full) is waited for up to busyWait and tried again once.
// A socket path too long to use fails with std::errc::filename_too_long.
StreamSocket connectPipe(std::string_view fullPipeName, std::chrono::milliseconds busyWait, std::error_code& ec);

// The server end; creates the pipe folder when missing. A socket path too
// long to use fails with std::errc::filename_too_long.
StreamListener listenPipe(std::string_view fullPipeName, std::error_code& ec);

} // namespace platform
