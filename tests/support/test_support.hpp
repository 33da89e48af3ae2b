#pragma once
// Helpers shared by every test executable.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed again at the end.
// With enter=true the process works inside it (the program keeps its files
// relative to the current folder) and returns to the old folder afterwards.
class TempDir {
public:
    explicit TempDir(bool enter = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
    bool m_entered = false;
};

// Sets an environment variable for the lifetime of the object, restoring the old value.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

// Polls until the predicate holds or the timeout passes; answers the last result.
bool waitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds timeout = std::chrono::seconds(5));

std::string readFile(const std::filesystem::path& path);
// The lines of a text file (none when it is missing), line ends removed.
std::vector<std::string> readLines(const std::filesystem::path& path);
// How many lines of a text file contain the text.
int countLinesWith(const std::filesystem::path& path, const std::string& text);
void writeFile(const std::filesystem::path& path, const std::string& content);

// What may stand where a reader expects a small file: a FIFO that nobody
// writes, a link to the endless /dev/zero, a (sparse) file of 4 GiB.
enum class OddFile { fifo, linkToZero, huge };
inline constexpr OddFile kOddFiles[] = {OddFile::fifo, OddFile::linkToZero, OddFile::huge};
const char* oddFileName(OddFile kind);
// Puts one at the path, replacing what was there.
void makeOddFile(const std::filesystem::path& path, OddFile kind);

} // namespace testsupport
