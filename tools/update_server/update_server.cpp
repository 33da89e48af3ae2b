#include "update_server/update_server.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace updateserver {

namespace {

pid_t lf_spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("could not start " + args[0]);
    if (pid == 0) {
        // The server ends with the test program, also when that is killed.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int lf_waitExit(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string lf_readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

const char* lf_mode(Failure failure)
{
    switch (failure) {
    case Failure::NotFound: return "404";
    case Failure::ServerError: return "500";
    case Failure::HtmlPage: return "html";
    case Failure::Cut: return "cut";
    case Failure::Stall: return "stall";
    case Failure::StallBody: return "stall_body";
    case Failure::Redirect: return "redirect";
    case Failure::Slow: return "slow";
    }
    return "";
}

} // namespace

void UpdateServer::makeCertificates(const fs::path& folder)
{
    const pid_t pid = lf_spawn({"python3", NORVANE_UPDATE_SERVER_SCRIPT, "--make-certs", folder.string()});
    if (lf_waitExit(pid) != 0)
        throw std::runtime_error("openssl could not make the test certificates");
}

UpdateServer::UpdateServer(const fs::path& workFolder) : m_work(workFolder)
{
    fs::create_directories(root());
    makeCertificates(m_work / "certs");
    writeRules();
    const fs::path portFile = m_work / "port";
    fs::remove(portFile);
    m_pid = lf_spawn({"python3", NORVANE_UPDATE_SERVER_SCRIPT, "--root", root().string(), "--certs",
                      (m_work / "certs").string(), "--rules", (m_work / "rules.json").string(), "--log",
                      (m_work / "requests.log").string(), "--port-file", portFile.string()});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (fs::exists(portFile)) {
            m_port = std::stoi(lf_readAll(portFile));
            return;
        }
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("the update server ended at start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(m_pid, SIGKILL);
    lf_waitExit(m_pid);
    throw std::runtime_error("the update server did not start");
}

UpdateServer::~UpdateServer()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        lf_waitExit(m_pid);
    }
}

std::string UpdateServer::baseUrl() const
{
    return fmt::format("https://127.0.0.1:{}", m_port);
}

void UpdateServer::put(const std::string& urlPath, const std::string& content) const
{
    const fs::path target = root() / fs::path(urlPath).relative_path();
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void UpdateServer::remove(const std::string& urlPath) const
{
    fs::remove(root() / fs::path(urlPath).relative_path());
}

void UpdateServer::fail(const std::string& urlPath, Failure failure, const std::string& to)
{
    m_failures.emplace_back(urlPath, std::make_pair(failure, to));
    writeRules();
}

void UpdateServer::clearFailures()
{
    m_failures.clear();
    writeRules();
}

void UpdateServer::writeRules() const
{
    nlohmann::json rules = nlohmann::json::object();
    for (const auto& [path, rule] : m_failures)
        rules[path] = {{"mode", lf_mode(rule.first)}, {"to", rule.second}};
    // Renamed into place: the server reads the file on every request.
    const fs::path temp = m_work / "rules.json.tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << rules.dump();
    }
    fs::rename(temp, m_work / "rules.json");
}

std::vector<std::string> UpdateServer::requests() const
{
    std::vector<std::string> out;
    std::istringstream in(lf_readAll(m_work / "requests.log"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("GET ", 0) == 0)
            out.push_back(line.substr(4));
    return out;
}

int UpdateServer::requestCount(const std::string& urlPath) const
{
    int n = 0;
    for (const auto& r : requests())
        n += r == urlPath ? 1 : 0;
    return n;
}

void UpdateServer::clearRequests() const
{
    std::ofstream(m_work / "requests.log", std::ios::trunc);
}

} // namespace updateserver
