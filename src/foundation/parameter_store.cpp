#include "foundation/parameter_store.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text_file.hpp"

#include <fmt/format.h>

#include <atomic>
#include <functional>

namespace fs = std::filesystem;

namespace {

struct RegisteredLists {
    std::mutex mutex;
    tzo::ParameterLists lists;
};

RegisteredLists& lf_registeredLists()
{
    static auto* registered = new RegisteredLists;
    return *registered;
}

tzo::ParameterLists lf_currentLists()
{
    auto& registered = lf_registeredLists();
    std::lock_guard lock(registered.mutex);
    return registered.lists;
}

void lf_setValueAttribute(pugi::xml_node node, const std::string& text)
{
    pugi::xml_attribute value = node.attribute(kParameterValue);
    if (!value)
        value = node.append_attribute(kParameterValue);
    value.set_value(text.c_str());
}

bool lf_isStoredFolderGap(const tzo::Parameter& parameter)
{
    // Empty folder settings are never written: an empty one in the file is
    // removed on the next start anyway.
    return lf_isFolderParameter(parameter.name()) && parameter.valueText().empty();
}

void lf_forEachStored(const tzo::ParameterLists& lists, const std::function<void(tzo::Parameter&)>& action)
{
    for (auto* p : lists.booleans)
        action(*p);
    for (auto* p : lists.checkBoxes)
        action(*p);
    for (auto* p : lists.integers)
        action(*p);
    for (auto* p : lists.intFields)
        action(*p);
    for (auto* p : lists.strings)
        action(*p);
    for (auto* p : lists.stringFields)
        action(*p);
}

// A save of one setting onto a missing or damaged file writes every stored
// setting with its current value: a file of one setting would lose the rest.
std::atomic<StoredTextHook> g_storedTextHook{nullptr};

std::string lf_storedText(const tzo::Parameter& parameter)
{
    if (const StoredTextHook hook = g_storedTextHook.load()) {
        std::string text = hook(parameter);
        if (!text.empty())
            return text;
    }
    return parameter.valueText();
}

void lf_buildFullDocument(pugi::xml_document& doc, const tzo::Parameter& saved)
{
    doc.reset();
    pugi::xml_node root = doc.append_child(kParametersRoot);
    bool savedIncluded = false;
    lf_forEachStored(lf_currentLists(), [&](tzo::Parameter& p) {
        if (&p == &saved)
            savedIncluded = true;
        if (!lf_isStoredFolderGap(p))
            gf_appendStringParameter(root, p.name(), lf_storedText(p));
    });
    if (!savedIncluded && !lf_isStoredFolderGap(saved))
        gf_appendStringParameter(root, saved.name(), lf_storedText(saved));
}

} // namespace

std::mutex& lf_settingsFileMutex()
{
    // Never destroyed: a detached thread may still save while the program ends.
    static auto* mutex = new std::mutex;
    return *mutex;
}

fs::path lf_settingsFilePath()
{
    return fs::path(g_parametersPath);
}

namespace {

// Far beyond any settings file (a few hundred settings of a line each, two
// levels deep), and small enough that reading one, and writing its settings
// back, take a moment and little memory.
constexpr std::uintmax_t kLargestSettingsFile = 1024 * 1024;
constexpr int kDeepestSettingsFile = 16;

// Walks the tree without recursion: the file itself decides how deep it is.
bool lf_nestedWithin(const pugi::xml_document& doc, int deepest)
{
    int depth = 0;
    pugi::xml_node node = doc.first_child();
    while (node) {
        if (node.first_child()) {
            if (++depth > deepest)
                return false;
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling()) {
            node = node.parent();
            --depth;
        }
        if (node)
            node = node.next_sibling();
    }
    return true;
}

} // namespace

SettingsFileState lf_loadSettingsFile(pugi::xml_document& doc)
{
    const fs::path path = lf_settingsFilePath();
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status))
        return ec && ec != std::errc::no_such_file_or_directory ? SettingsFileState::Damaged : SettingsFileState::Missing;
    // Unreadable, not XML, XML of another shape, or no settings file at all by
    // its size or nesting: what the user had must survive the rewrite.
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kLargestSettingsFile)
        return SettingsFileState::Damaged;
    const pugi::xml_parse_result result = gf_loadXmlFile(doc, path);
    if (result && doc.child(kParametersRoot) && lf_nestedWithin(doc, kDeepestSettingsFile))
        return SettingsFileState::Loaded;
    doc.reset();
    return SettingsFileState::Damaged;
}

bool lf_keepDamagedSettingsFile()
{
    const fs::path path = lf_settingsFilePath();
    fs::path bad = path;
    bad += ".bad";
    // Moved, not copied: at once whatever its size, and what the user had
    // stays whole beside the new file.
    std::error_code ec;
    fs::rename(path, bad, ec);
    if (ec) {
        gf_logLineMarked(fmt::format("{} cannot be read and cannot be kept as {}: {}; it is left as it is",
                                     path.string(), bad.string(), ec.message()));
        return false;
    }
    gf_logLineMarked(fmt::format("{} cannot be read, kept as {}", path.string(), bad.string()));
    return true;
}

bool gf_loadSettingsDocument(pugi::xml_document& doc)
{
    std::lock_guard lock(lf_settingsFileMutex());
    return lf_loadSettingsFile(doc) == SettingsFileState::Loaded;
}

bool lf_saveSettingsFile(const pugi::xml_document& doc, std::error_code& error)
{
    error.clear();
    try {
        return gf_writeFileAtomically(lf_settingsFilePath(), gf_xmlText(doc), error);
    } catch (const std::exception&) {
        if (!error)
            error = std::make_error_code(std::errc::not_enough_memory);
        return false;
    }
}

void lf_saySettingsSaveFailure(const std::error_code& error)
{
    lf_saySettingsSaveFailure(gf_saveFailureText(lf_settingsFilePath(), error));
}

void lf_saySettingsSaveFailure(std::string_view cause)
{
    gf_logProgressLine(
        fmt::format("saving xml did not work? \"{}\" not saved: {}", lf_settingsFilePath().string(), cause));
}

void lf_logSetting(const tzo::Parameter& parameter)
{
    gf_logLineString(fmt::format("{}={}", parameter.name(), parameter.valueText()));
}

bool lf_saveSetting(const tzo::Parameter& parameter)
{
    std::lock_guard lock(lf_settingsFileMutex());
    pugi::xml_document doc;
    const SettingsFileState state = lf_loadSettingsFile(doc);
    if (state == SettingsFileState::Loaded) {
        if (pugi::xml_node node = gf_findParameterNode(doc, parameter.name()))
            lf_setValueAttribute(node, parameter.valueText());
        else
            gf_appendStringParameter(doc.child(kParametersRoot), parameter.name(), parameter.valueText());
    } else {
        if (state == SettingsFileState::Damaged && !lf_keepDamagedSettingsFile()) {
            lf_logSetting(parameter);
            lf_saySettingsSaveFailure("it cannot be read and cannot be kept aside");
            return false;
        }
        lf_buildFullDocument(doc, parameter);
    }
    lf_logSetting(parameter);
    std::error_code error;
    if (lf_saveSettingsFile(doc, error))
        return true;
    lf_saySettingsSaveFailure(error);
    return false;
}

void gf_installStoredTextHook(StoredTextHook hook)
{
    g_storedTextHook.store(hook);
}

void gf_setParameterLists(const tzo::ParameterLists& lists)
{
    auto& registered = lf_registeredLists();
    std::lock_guard lock(registered.mutex);
    registered.lists = lists;
}

bool lf_isFolderParameter(std::string_view name)
{
    return name.find("lfolder") != std::string_view::npos || name.find("afolder") != std::string_view::npos;
}
