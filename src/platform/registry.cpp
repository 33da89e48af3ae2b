#include "platform/registry.hpp"

#include "platform/folders.hpp"
#include "platform/ini_file.hpp"

#include <cstdlib>
#include <mutex>

#include <sys/stat.h>

namespace platform::registry {

namespace {

// The store as last read, and what it was then: read again only when the
// path names another file or the file changed, so that the many keys of one
// start cost one reading, and a refused file one line.
struct Store {
    std::filesystem::path path;
    struct stat identity {};
    bool known = false;
    IniFile ini;
    bool readable = false;
    std::string refusal;
    bool refusalSaid = false;
};

std::mutex storeMutex;
Store store;

bool lf_sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_mode == b.st_mode && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The store for `path`, read when it is not the one in hand. Under storeMutex.
Store* lf_currentStore(const std::filesystem::path& path)
{
    struct stat identity {};
    if (path.empty() || ::stat(path.c_str(), &identity) != 0) {
        store.known = false;
        return nullptr;
    }
    if (store.known && store.path == path && lf_sameFile(store.identity, identity))
        return &store;
    store.path = path;
    store.identity = identity;
    store.known = true;
    store.readable = store.ini.load(path);
    store.refusal = outsideFileRefusal(path, store.ini.loadStatus());
    store.refusalSaid = false;
    return &store;
}

} // namespace

std::filesystem::path storePath()
{
    if (const char* p = std::getenv("NORVANE_REGISTRY"); p && *p)
        return std::filesystem::path(p);
    const auto roaming = roamingAppDataFolder();
    if (roaming.empty())
        return {};
    return roaming / "registry.ini";
}

std::string storeRefusal()
{
    const std::lock_guard lock(storeMutex);
    const Store* current = lf_currentStore(storePath());
    return current ? current->refusal : std::string();
}

void forgetStore()
{
    const std::lock_guard lock(storeMutex);
    store.known = false;
}

unsigned openKey(Root root, std::string_view subKey, Key& out, std::string* refusal)
{
    const std::lock_guard lock(storeMutex);
    Store* current = lf_currentStore(storePath());
    if (current && refusal && !current->refusal.empty() && !current->refusalSaid) {
        *refusal = current->refusal;
        current->refusalSaid = true;
    }
    if (!current || !current->readable)
        return kErrorFileNotFound;
    std::string full = root == Root::LocalMachine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\";
    full.append(subKey);
    const IniFile::Section* section = current->ini.findSection(full);
    if (!section)
        return kErrorFileNotFound;
    out.path = full;
    out.values.clear();
    for (const auto& e : section->entries)
        out.values.emplace_back(e.key, e.value);
    return kSuccess;
}

unsigned getString(const Key& key, std::string_view valueName, std::string& out)
{
    for (const auto& [name, value] : key.values) {
        if (equalsNoCase(name, valueName)) {
            out = value;
            return kSuccess;
        }
    }
    return kErrorFileNotFound;
}

} // namespace platform::registry
