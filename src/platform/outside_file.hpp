#pragma once
// Reading files that someone else made (the registry stand-in, SimConnect.cfg,
// the simulator's lists, aircraft.cfg, scenery, downloaded XML). Such a path
// may name anything: a FIFO, whose open and reads wait for a writer that never
// comes, a link to an endless device, or a file far larger than any real one.
// None of them may hang the program or take its memory: the file is opened
// without waiting, and taken only when it is a regular file within a limit.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace platform {

enum class OutsideFileProblem {
    none,
    cannotOpen,     // `error` says why (ENOENT for a missing file)
    notRegularFile, // a folder, FIFO, device or socket
    tooLarge,       // larger than the reader's limit
    readFailed,     // `error` says why
    changing,      // written to while it was read, twice in a row
};

struct OutsideFileStatus {
    OutsideFileProblem problem = OutsideFileProblem::none;
    int error = 0;
    std::uint64_t size = 0;
    std::uint64_t limit = 0;
    bool ok() const { return problem == OutsideFileProblem::none; }
    // A file that is simply not there: the readers' usual "not found" case,
    // which is no reason for a line of its own.
    bool missing() const;
};

// An open descriptor of a regular file of at most `maxBytes` bytes, or -1
// with `status` saying why not. The caller closes it.
int openOutsideFile(const std::filesystem::path& path, std::uint64_t maxBytes, OutsideFileStatus& status);

// The same as a stream for reading, or null; the caller closes it.
std::FILE* openOutsideFileStream(const std::filesystem::path& path, std::uint64_t maxBytes,
                                 OutsideFileStatus& status);

// The whole file into `bytes` (emptied first), through openOutsideFile: the
// one reading of a whole file that the program did not just write itself.
// It reads to the end, whatever size the file had when it was opened, within
// the limit: a file that grows past it while read is refused as too large. A
// file that changed while it was read (an editor saving, a copy under way) is
// read again once; when it changed again it is refused as `changing`, never
// answered in part.
OutsideFileStatus readOutsideFile(const std::filesystem::path& path, std::uint64_t maxBytes, std::string& bytes);

// Tests only: called in readOutsideFile after the file's size was taken and
// before its first byte is read, at every attempt (null: none).
using OutsideReadHook = void (*)(const std::filesystem::path& path);
void setOutsideReadHookForTests(OutsideReadHook hook);

// Reads exactly `size` bytes, or fewer at the end of the file; false on an
// error (errno set).
bool readFromOutsideFile(int fd, char* out, std::uint64_t size, std::uint64_t& got);

// Why the file was refused, in words that follow its name ("is not a regular
// file"); empty when nothing needs saying.
std::string outsideFileCause(const OutsideFileStatus& status);

// The one log line for a refused file; empty when nothing needs saying (read,
// or simply missing).
std::string outsideFileRefusal(const std::filesystem::path& path, const OutsideFileStatus& status);

} // namespace platform
