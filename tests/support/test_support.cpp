#include "support/test_support.hpp"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir(bool enter)
{
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("norvane-test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            m_path = candidate;
            break;
        }
    }
    if (m_path.empty())
        throw std::runtime_error("cannot create a temporary folder");
    if (enter) {
        m_previous = fs::current_path();
        fs::current_path(m_path);
        m_entered = true;
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (m_entered)
        fs::current_path(m_previous, ec);
    fs::remove_all(m_path, ec);
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : m_name(std::move(name))
{
    if (const char* old = std::getenv(m_name.c_str())) {
        m_old = old;
        m_hadOld = true;
    }
    ::setenv(m_name.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (m_hadOld)
        ::setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

bool waitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (predicate())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return predicate();
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> readLines(const fs::path& path)
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

int countLinesWith(const fs::path& path, const std::string& text)
{
    int count = 0;
    for (const auto& line : readLines(path))
        count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

void writeFile(const fs::path& path, const std::string& content)
{
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

const char* oddFileName(OddFile kind)
{
    switch (kind) {
    case OddFile::fifo:
        return "a FIFO";
    case OddFile::linkToZero:
        return "a link to /dev/zero";
    case OddFile::huge:
        return "a 4 GiB file";
    }
    return "";
}

void makeOddFile(const fs::path& path, OddFile kind)
{
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    fs::remove_all(path);
    switch (kind) {
    case OddFile::fifo:
        if (::mkfifo(path.c_str(), 0600) != 0)
            throw std::runtime_error("mkfifo " + path.string());
        break;
    case OddFile::linkToZero:
        fs::create_symlink("/dev/zero", path);
        break;
    case OddFile::huge:
        writeFile(path, "[section]\n");
        fs::resize_file(path, 4ULL << 30);
        break;
    }
}

} // namespace testsupport
