// The settings file brought to the program's set of settings: read at start
// (missing settings appended, empty folder settings dropped, a first run's
// defaults written) and pruned of settings a version update retires.

#include "foundation/parameter_store.hpp"

#include "foundation/atomic_file.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/strings.hpp"
#include "foundation/text_file.hpp"
#include "foundation/version.hpp"

#include <fmt/format.h>

namespace {

constexpr std::string_view kProgramVersionSetting = "PROGRAM_VERSION";

// Appends the setting with its default; on a first run PROGRAM_VERSION
// instead holds the running version, so that writing the defaults does not
// undo it.
void lf_addDefault(tzo::StringParameter& p, pugi::xml_node root)
{
    if (p.name() != kProgramVersionSetting) {
        p.addDefault(root);
        return;
    }
    p.setValue(std::string(kProgramVersionText));
    if (!gf_appendStringParameter(root, p.name(), p.value()))
        gf_logLine(fmt::format("{}adding init xml parameter {} with {} failed!", g_logMarker, p.name(), p.value()));
    p.log();
}

// A setting read from the file, or appended with its default when missing.
template <typename P>
void lf_loadOrAppend(P& p, pugi::xml_document& doc)
{
    if (!p.load(doc))
        gf_appendStringParameter(doc.child(kParametersRoot), p.name(), p.valueText());
}

void lf_loadString(tzo::StringParameter& p, pugi::xml_document& doc)
{
    if (!lf_isFolderParameter(p.name())) {
        lf_loadOrAppend(p, doc);
        return;
    }
    const bool found = p.load(doc, false);
    if (!p.empty()) {
        p.log();
        return;
    }
    // An empty folder setting leaves the file. Removed from the document that
    // is saved below, so that save cannot bring it back.
    if (found) {
        pugi::xml_node node = gf_findParameterNode(doc, p.name());
        node.parent().remove_child(node);
        gf_logLine(fmt::format("Parameter {} removed", p.name()));
    }
}

} // namespace

void gf_readParameters(const tzo::ParameterLists& lists)
{
    gf_logLine(gf_starBanner(70, 0, true, false, "parameters"));
    {
        std::lock_guard lock(lf_settingsFileMutex());
        // A save cut short by the end of an earlier run left its temporary
        // file; no save can be under way while the lock is held.
        gf_removeLeftoverTemporaryFiles(lf_settingsFilePath());
        pugi::xml_document doc;
        const SettingsFileState state = lf_loadSettingsFile(doc);
        if (state != SettingsFileState::Loaded) {
            const bool replaceable = state == SettingsFileState::Missing || lf_keepDamagedSettingsFile();
            gf_logLine(fmt::format("{} {}, default values taken:", g_parametersPath,
                                   state == SettingsFileState::Missing ? "not found" : "cannot be read"));
            doc.reset();
            pugi::xml_node root = doc.append_child(kParametersRoot);
            for (auto* p : lists.booleans)
                p->addDefault(root);
            for (auto* p : lists.checkBoxes)
                p->addDefault(root);
            for (auto* p : lists.integers)
                p->addDefault(root);
            for (auto* p : lists.intFields)
                p->addDefault(root);
            for (auto* p : lists.strings) {
                if (!lf_isFolderParameter(p->name()))
                    lf_addDefault(*p, root);
                else
                    p->setValue(p->defaultValue());
            }
            for (auto* p : lists.stringFields)
                lf_addDefault(*p, root);
            if (replaceable)
                gf_saveXml(doc, lf_settingsFilePath());
        } else {
            gf_logLine(fmt::format("from \"{}\"", g_parametersPath));
            for (auto* p : lists.booleans)
                lf_loadOrAppend(*p, doc);
            for (auto* p : lists.checkBoxes)
                lf_loadOrAppend(*p, doc);
            for (auto* p : lists.integers)
                lf_loadOrAppend(*p, doc);
            for (auto* p : lists.intFields)
                lf_loadOrAppend(*p, doc);
            for (auto* p : lists.strings)
                lf_loadString(*p, doc);
            for (auto* p : lists.stringFields)
                lf_loadString(*p, doc);
            gf_saveXml(doc, lf_settingsFilePath());
        }
    }
    // The controls learn their values outside the file lock: the window layer
    // must never wait for a save.
    for (auto* p : lists.checkBoxes)
        p->setChecked(p->value());
    for (auto* p : lists.intFields)
        p->show();
    for (auto* p : lists.stringFields)
        p->show();
    gf_logLine(gf_starBanner(70, 10, false, true, ""));
}

void gf_pruneParameters(std::string_view name)
{
    std::lock_guard lock(lf_settingsFileMutex());
    pugi::xml_document doc;
    if (lf_loadSettingsFile(doc) != SettingsFileState::Loaded)
        return;
    pugi::xml_node node = gf_findParameterNode(doc, name);
    if (!node)
        return;
    node.parent().remove_child(node);
    gf_logLine(fmt::format("Parameter {} removed", name));
    std::error_code error;
    if (!lf_saveSettingsFile(doc, error))
        lf_saySettingsSaveFailure(error);
}
