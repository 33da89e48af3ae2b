#include "foundation/parameters.hpp"

#include "foundation/atomic_file.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/strings.hpp"
#include "foundation/text_file.hpp"
#include "foundation/version.hpp"

#include <fmt/format.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr const char* kRootName = "parameters";
constexpr const char* kElementName = "parameter";
constexpr const char* kNameAttribute = "name";
constexpr const char* kValueAttribute = "value";
constexpr std::string_view kProgramVersionSetting = "PROGRAM_VERSION";

// ---- hooks of the window layer -------------------------------------------

std::atomic<const tzo::ParameterControlHooks*> g_controlHooks{nullptr};

const tzo::ParameterControlHooks* lf_controlHooks()
{
    return g_controlHooks.load(std::memory_order_acquire);
}

// ---- the settings file -----------------------------------------------------

// Start-up, window and exit threads all save settings; each load-change-save
// of the file runs under this one mutex so no save undoes another.
std::mutex& lf_fileMutex()
{
    // Never destroyed: a detached thread may still save while the program ends.
    static auto* mutex = new std::mutex;
    return *mutex;
}

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

enum class FileState { Loaded, Missing, Damaged };

fs::path lf_parametersFile()
{
    return fs::path(g_parametersPath);
}

FileState lf_loadSettingsFile(pugi::xml_document& doc)
{
    const fs::path path = lf_parametersFile();
    const pugi::xml_parse_result result = doc.load_file(path.c_str());
    if (result && doc.child(kRootName))
        return FileState::Loaded;
    std::error_code ec;
    if (!result && result.status == pugi::status_file_not_found && !fs::exists(path, ec))
        return FileState::Missing;
    // Unreadable, not XML, or XML of another shape: what the user had must
    // survive the rewrite.
    return FileState::Damaged;
}

// Keeps a damaged settings file as "parameters.xml.bad". False when the copy
// could not be made; the damaged file must then not be replaced.
bool lf_keepDamagedFile()
{
    const fs::path path = lf_parametersFile();
    fs::path bad = path;
    bad += ".bad";
    std::error_code ec;
    fs::copy_file(path, bad, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        gf_logLineMarked(fmt::format("{} cannot be read and cannot be kept as {}: {}; it is left as it is",
                                     path.string(), bad.string(), ec.message()));
        return false;
    }
    gf_logLineMarked(fmt::format("{} cannot be read, kept as {}", path.string(), bad.string()));
    return true;
}

bool lf_saveSettingsFile(const pugi::xml_document& doc)
{
    try {
        return gf_writeFileAtomically(lf_parametersFile(), gf_xmlText(doc));
    } catch (const std::exception&) {
        return false;
    }
}

void lf_setValueAttribute(pugi::xml_node node, const std::string& text)
{
    pugi::xml_attribute value = node.attribute(kValueAttribute);
    if (!value)
        value = node.append_attribute(kValueAttribute);
    value.set_value(text.c_str());
}

bool lf_appendParameter(pugi::xml_node node, std::string_view name, const std::string& value)
{
    pugi::xml_node element = node.append_child(kElementName);
    if (!element)
        return false;
    pugi::xml_attribute nameAttribute = element.append_attribute(kNameAttribute);
    pugi::xml_attribute valueAttribute = element.append_attribute(kValueAttribute);
    if (!nameAttribute || !valueAttribute)
        return false;
    return nameAttribute.set_value(std::string(name).c_str()) && valueAttribute.set_value(value.c_str());
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
void lf_buildFullDocument(pugi::xml_document& doc, const tzo::Parameter& saved)
{
    doc.reset();
    pugi::xml_node root = doc.append_child(kRootName);
    bool savedIncluded = false;
    lf_forEachStored(lf_currentLists(), [&](tzo::Parameter& p) {
        if (&p == &saved)
            savedIncluded = true;
        if (!lf_isStoredFolderGap(p))
            lf_appendParameter(root, p.name(), p.valueText());
    });
    if (!savedIncluded && !lf_isStoredFolderGap(saved))
        lf_appendParameter(root, saved.name(), saved.valueText());
}

void lf_logSetting(const tzo::Parameter& parameter)
{
    gf_logLineString(fmt::format("{}={}", parameter.name(), parameter.valueText()));
}

// Writes one setting's current value into the file.
void lf_saveOne(const tzo::Parameter& parameter)
{
    std::lock_guard lock(lf_fileMutex());
    pugi::xml_document doc;
    const FileState state = lf_loadSettingsFile(doc);
    if (state == FileState::Loaded) {
        if (pugi::xml_node node = gf_findParameterNode(doc, parameter.name()))
            lf_setValueAttribute(node, parameter.valueText());
        else
            lf_appendParameter(doc.child(kRootName), parameter.name(), parameter.valueText());
    } else {
        if (state == FileState::Damaged && !lf_keepDamagedFile()) {
            lf_logSetting(parameter);
            gf_logLine("saving xml did not work?");
            return;
        }
        lf_buildFullDocument(doc, parameter);
    }
    lf_logSetting(parameter);
    if (!lf_saveSettingsFile(doc))
        gf_logLine("saving xml did not work?");
}

std::optional<std::string> lf_valueOf(const pugi::xml_node& doc, std::string_view name)
{
    pugi::xml_node node = gf_findParameterNode(doc, name);
    if (!node)
        return std::nullopt;
    pugi::xml_attribute value = node.attribute(kValueAttribute);
    if (!value)
        return std::nullopt;
    return std::string(value.value());
}

} // namespace

// ---- text rules ----------------------------------------------------------------

bool gf_parseBoolText(std::string_view text)
{
    if (text.empty())
        return false;
    const char c = text.front();
    return c == '1' || c == 't' || c == 'T' || c == 'y' || c == 'Y';
}

std::int32_t gf_parseIntText(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\f' || text[i] == '\v'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate in 64 bits and stop growing past the 32-bit range: any
    // longer number saturates instead of wrapping.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

bool lf_isFolderParameter(std::string_view name)
{
    return name.find("lfolder") != std::string_view::npos || name.find("afolder") != std::string_view::npos;
}

// ---- element helpers ---------------------------------------------------------

pugi::xml_node gf_findParameterNode(const pugi::xml_node& doc, std::string_view name)
{
    // The query "/parameters/parameter[@name=...]" walked by hand: no XPath
    // text is built from a name, so no name can break the query.
    pugi::xml_node top = doc.root();
    for (pugi::xml_node root = top.child(kRootName); root; root = root.next_sibling(kRootName)) {
        for (pugi::xml_node node = root.child(kElementName); node; node = node.next_sibling(kElementName)) {
            if (std::string_view(node.attribute(kNameAttribute).value()) == name)
                return node;
        }
    }
    return {};
}

bool gf_appendBoolParameter(pugi::xml_node node, std::string_view name, bool value)
{
    return lf_appendParameter(node, name, value ? "true" : "false");
}

bool gf_appendIntParameter(pugi::xml_node node, std::string_view name, std::int64_t value)
{
    return lf_appendParameter(node, name, fmt::format("{}", value));
}

bool gf_appendStringParameter(pugi::xml_node node, std::string_view name, std::string_view value)
{
    return lf_appendParameter(node, name, std::string(value));
}

std::optional<std::int32_t> gf_getIntParameterFromDoc(const pugi::xml_node& doc, std::string_view name)
{
    if (auto text = lf_valueOf(doc, name))
        return gf_parseIntText(*text);
    return std::nullopt;
}

std::optional<std::string> gf_getStringParameterFromDoc(const pugi::xml_node& doc, std::string_view name)
{
    return lf_valueOf(doc, name);
}

std::optional<bool> gf_getBoolParameterFromDoc(const pugi::xml_node& doc, std::string_view name)
{
    pugi::xml_node node = gf_findParameterNode(doc, name);
    if (!node)
        return std::nullopt;
    return gf_parseBoolText(node.attribute(kValueAttribute).value());
}

// ---- hooks -------------------------------------------------------------------------

void gf_installParameterControlHooks(const tzo::ParameterControlHooks& hooks)
{
    // Every copy stays alive (and reachable, for leak checkers): another
    // thread may still be calling through the one this replaces.
    static std::mutex mutex;
    // Never destroyed either: detached threads may report during exit.
    static auto* installed = new std::vector<std::unique_ptr<const tzo::ParameterControlHooks>>();
    std::lock_guard lock(mutex);
    installed->push_back(std::make_unique<const tzo::ParameterControlHooks>(hooks));
    g_controlHooks.store(installed->back().get(), std::memory_order_release);
}

void gf_enableControl(tzo::ParameterControl& control)
{
    if (auto h = lf_controlHooks(); h && h->enableControl)
        h->enableControl(control);
}

void gf_disableControl(tzo::ParameterControl& control)
{
    if (auto h = lf_controlHooks(); h && h->disableControl)
        h->disableControl(control);
}

void gf_setParameterLists(const tzo::ParameterLists& lists)
{
    auto& registered = lf_registeredLists();
    std::lock_guard lock(registered.mutex);
    registered.lists = lists;
}

namespace tzo {

// ---- Parameter -------------------------------------------------------------------

Parameter::Parameter(std::string name) : m_name(std::move(name)) {}

Parameter::~Parameter() = default;

std::string Parameter::valueText() const
{
    return {};
}

// ---- StringParameter ---------------------------------------------------------------

StringParameter::StringParameter(std::string name, std::string defaultValue)
    : Parameter(std::move(name)), m_default(defaultValue), m_value(std::move(defaultValue))
{
}

std::string StringParameter::value() const
{
    std::lock_guard lock(m_mutex);
    return m_value;
}

void StringParameter::setValue(std::string text)
{
    std::lock_guard lock(m_mutex);
    m_value = std::move(text);
}

bool StringParameter::empty() const
{
    std::lock_guard lock(m_mutex);
    return m_value.empty();
}

bool StringParameter::load(const pugi::xml_node& doc, bool logIt)
{
    pugi::xml_node node = gf_findParameterNode(doc, name());
    if (!node) {
        setValue(m_default);
    } else {
        setValue(node.attribute(kValueAttribute).value());
    }
    if (logIt)
        log();
    return static_cast<bool>(node);
}

bool StringParameter::addDefault(pugi::xml_node root)
{
    const bool added = gf_appendStringParameter(root, name(), m_default);
    if (!added)
        gf_logLine(fmt::format("{}adding init xml parameter {} with {} failed!", g_logMarker, name(), m_default));
    setValue(m_default);
    log();
    return added;
}

void StringParameter::log() const
{
    lf_logSetting(*this);
}

void StringParameter::save()
{
    lf_saveOne(*this);
}

void StringParameter::setAndSave(std::string text)
{
    setValue(std::move(text));
    save();
}

bool StringParameter::loadMeta(const pugi::xml_node& doc)
{
    pugi::xml_node top = doc.root();
    for (pugi::xml_node meta = top.child("meta"); meta; meta = meta.next_sibling("meta")) {
        for (pugi::xml_node info = meta.child("info"); info; info = info.next_sibling("info")) {
            if (std::string_view(info.attribute(kNameAttribute).value()) == name()) {
                setValue(info.attribute(kValueAttribute).value());
                return true;
            }
        }
    }
    setValue(std::string());
    return false;
}

// ---- IntParameter ----------------------------------------------------------------------

IntParameter::IntParameter(std::string name, std::int32_t defaultValue, std::int32_t min, std::int32_t max)
    : Parameter(std::move(name)), m_default(defaultValue), m_min(min), m_max(max), m_value(defaultValue)
{
}

void IntParameter::setValue(std::int32_t value)
{
    if (value < m_min)
        value = m_min;
    else if (value > m_max)
        value = m_max;
    m_value.store(value, std::memory_order_relaxed);
}

std::string IntParameter::valueText() const
{
    return fmt::format("{}", value());
}

bool IntParameter::load(const pugi::xml_node& doc, bool logIt)
{
    pugi::xml_node node = gf_findParameterNode(doc, name());
    if (!node)
        m_value.store(m_default, std::memory_order_relaxed);
    else
        setValue(gf_parseIntText(node.attribute(kValueAttribute).value()));
    if (logIt)
        log();
    return static_cast<bool>(node);
}

bool IntParameter::addDefault(pugi::xml_node root)
{
    const bool added = gf_appendIntParameter(root, name(), m_default);
    if (!added)
        gf_logLine(fmt::format("{}adding init xml parameter {} with {} failed!", g_logMarker, name(), m_default));
    m_value.store(m_default, std::memory_order_relaxed);
    log();
    return added;
}

void IntParameter::log() const
{
    lf_logSetting(*this);
}

void IntParameter::save()
{
    lf_saveOne(*this);
}

void IntParameter::setAndSave(std::int32_t value)
{
    setValue(value);
    save();
}

// ---- BoolParameter -------------------------------------------------------------------------

BoolParameter::BoolParameter(std::string name, bool defaultValue)
    : Parameter(std::move(name)), m_default(defaultValue), m_value(defaultValue)
{
}

std::string BoolParameter::valueText() const
{
    return value() ? "true" : "false";
}

bool BoolParameter::load(const pugi::xml_node& doc, bool logIt)
{
    pugi::xml_node node = gf_findParameterNode(doc, name());
    if (!node)
        setValue(m_default);
    else
        setValue(gf_parseBoolText(node.attribute(kValueAttribute).value()));
    if (logIt)
        log();
    return static_cast<bool>(node);
}

bool BoolParameter::addDefault(pugi::xml_node root)
{
    const bool added = gf_appendBoolParameter(root, name(), m_default);
    if (!added)
        gf_logLine(fmt::format("{}adding init xml parameter {} with {} failed!", g_logMarker, name(), m_default));
    setValue(m_default);
    log();
    return added;
}

void BoolParameter::log() const
{
    lf_logSetting(*this);
}

void BoolParameter::setAndSave()
{
    lf_saveOne(*this);
}

void BoolParameter::setAndSave(bool value)
{
    setValue(value);
    setAndSave();
}

// ---- with controls -----------------------------------------------------------------------------

IntParameterField::IntParameterField(std::string name, std::int32_t defaultValue, std::int32_t min,
                                     std::int32_t max, std::uint16_t controlId, std::uint32_t y)
    : IntParameter(std::move(name), defaultValue, min, max), ParameterControl(controlId, y)
{
}

void IntParameterField::show()
{
    if (auto h = lf_controlHooks(); h && h->showIntField)
        h->showIntField(*this);
}

FloatParameterField::FloatParameterField(std::string name, float defaultValue, float min, float max,
                                         std::uint16_t controlId, std::uint32_t y)
    : Parameter(std::move(name)), ParameterControl(controlId, y), m_default(defaultValue), m_min(min), m_max(max),
      m_value(defaultValue)
{
}

void FloatParameterField::setValue(float value)
{
    if (std::isnan(value))
        value = m_default;
    else if (value < m_min)
        value = m_min;
    else if (value > m_max)
        value = m_max;
    m_value.store(value, std::memory_order_relaxed);
}

void FloatParameterField::show()
{
    if (auto h = lf_controlHooks(); h && h->showFloatField)
        h->showFloatField(*this);
}

BoolParameterCheckBox::BoolParameterCheckBox(std::string name, bool defaultValue, std::uint16_t controlId,
                                             std::uint32_t y)
    : BoolParameter(std::move(name), defaultValue), ParameterControl(controlId, y)
{
}

void BoolParameterCheckBox::setChecked(bool value)
{
    setValue(value);
    if (auto h = lf_controlHooks(); h && h->setChecked)
        h->setChecked(*this);
}

StringParameterField::StringParameterField(std::string name, std::string defaultValue, std::uint16_t controlId,
                                           std::uint32_t y)
    : StringParameter(std::move(name), std::move(defaultValue)), ParameterControl(controlId, y)
{
}

void StringParameterField::show()
{
    if (auto h = lf_controlHooks(); h && h->showStringField)
        h->showStringField(*this);
}

ParamButton::ParamButton(std::string name, std::uint16_t controlId, std::uint32_t y)
    : Parameter(std::move(name)), ParameterControl(controlId, y)
{
}

} // namespace tzo

// ---- reading everything at start -------------------------------------------------------------

namespace {

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
        lf_appendParameter(doc.child(kRootName), p.name(), p.valueText());
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
        std::lock_guard lock(lf_fileMutex());
        // A save cut short by the end of an earlier run left its temporary
        // file; no save can be under way while the lock is held.
        gf_removeLeftoverTemporaryFiles(lf_parametersFile());
        pugi::xml_document doc;
        const FileState state = lf_loadSettingsFile(doc);
        if (state != FileState::Loaded) {
            const bool replaceable = state == FileState::Missing || lf_keepDamagedFile();
            gf_logLine(fmt::format("{} {}, default values taken:", g_parametersPath,
                                   state == FileState::Missing ? "not found" : "cannot be read"));
            doc.reset();
            pugi::xml_node root = doc.append_child(kRootName);
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
                gf_saveXml(doc, lf_parametersFile());
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
            gf_saveXml(doc, lf_parametersFile());
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
    std::lock_guard lock(lf_fileMutex());
    pugi::xml_document doc;
    if (lf_loadSettingsFile(doc) != FileState::Loaded)
        return;
    pugi::xml_node node = gf_findParameterNode(doc, name);
    if (!node)
        return;
    node.parent().remove_child(node);
    gf_logLine(fmt::format("Parameter {} removed", name));
    if (!lf_saveSettingsFile(doc))
        gf_logLine("saving xml did not work?");
}
