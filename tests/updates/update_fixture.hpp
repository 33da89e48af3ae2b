#pragma once
// Every update test runs in a fresh program folder against the local HTTPS
// update server (one per test program, its files and failures cleared before
// each test), with short transfer timeouts and the status line recorded.

#include "foundation/app_hooks.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "refdata/downloads.hpp"
#include "support/test_support.hpp"
#include "update_server/update_server.hpp"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

class StatusRecorder {
public:
    static void record(std::string_view text, bool logIt)
    {
        {
            std::lock_guard lock(mutex);
            texts.emplace_back(text);
        }
        if (logIt)
            gf_logLine(text);
    }
    static std::vector<std::string> all()
    {
        std::lock_guard lock(mutex);
        return texts;
    }
    static void clear()
    {
        std::lock_guard lock(mutex);
        texts.clear();
    }

private:
    static inline std::mutex mutex;
    static inline std::vector<std::string> texts;
};

struct UpdateTest : ::testing::Test {
    static inline std::unique_ptr<TempDir> serverDir;
    static inline std::unique_ptr<updateserver::UpdateServer> server;

    static void SetUpTestSuite()
    {
        serverDir = std::make_unique<TempDir>();
        server = std::make_unique<updateserver::UpdateServer>(serverDir->path());
    }
    static void TearDownTestSuite()
    {
        server.reset();
        serverDir.reset();
    }

    TempDir dir{true};
    ScopedEnv appData{"NORVANE_APPDATA", (dir.path() / "roaming").string()};
    ScopedEnv url{"NORVANE_UPDATE_URL", server->baseUrl()};
    ScopedEnv ca{"NORVANE_CA_FILE", server->caFile().string()};
    AppHooks previousHooks = gf_appHooks();

    UpdateTest()
    {
        gf_initDataFolder();
        std::filesystem::create_directories(g_dataFolder);
        gf_openLog(dir / "Log.txt");
        std::filesystem::remove_all(server->root());
        std::filesystem::create_directories(server->root());
        server->clearFailures();
        server->clearRequests();
        DownloadTimeouts quick;
        quick.connect = std::chrono::seconds(2);
        quick.lowSpeedTime = std::chrono::seconds(1);
        gf_setDownloadTimeouts(quick);
        resetSettings();
        StatusRecorder::clear();
        AppHooks hooks = previousHooks;
        hooks.showStatus = &StatusRecorder::record;
        gf_installAppHooks(hooks);
    }
    ~UpdateTest() override
    {
        gf_installAppHooks(previousHooks);
        gf_setDownloadTimeouts(DownloadTimeouts{});
        resetSettings();
        gf_closeLog();
    }

    static void resetSettings()
    {
        for (auto* setting : {&DBASE_VERSION, &AIG_VERSION, &ARCHIVE_VERSION, &DATA_CHECKED_AT_DATE})
            setting->setValue("");
    }

    // A version file on the server.
    static void serveVersion(const std::string& path, const std::string& version)
    {
        server->put(path, version + "\n");
    }

    // A loopback port on which nothing listens: bound once, then closed again.
    static int closedPort()
    {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
        close(s);
        return ntohs(address.sin_port);
    }

    std::string log() const { return readFile(dir / "Log.txt"); }
    int logLinesWith(const std::string& text) const { return countLinesWith(dir / "Log.txt", text); }

    // Files in the folder (not below it) whose name holds ".tmp": what a
    // download or an unpacking left behind.
    static int temporaryFilesIn(const std::filesystem::path& folder)
    {
        int n = 0;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            n += entry.path().filename().string().find(".tmp") != std::string::npos ? 1 : 0;
        return n;
    }

    static int statusesWith(const std::string& text)
    {
        int n = 0;
        for (const auto& s : StatusRecorder::all())
            n += s.find(text) != std::string::npos ? 1 : 0;
        return n;
    }
};

} // namespace testsupport
