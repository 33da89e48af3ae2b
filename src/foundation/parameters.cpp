#include "foundation/parameters.hpp"

#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"

#include <fmt/format.h>

#include <cmath>
#include <memory>

namespace {

std::atomic<const tzo::ParameterControlHooks*> g_controlHooks{nullptr};

const tzo::ParameterControlHooks* lf_controlHooks()
{
    return g_controlHooks.load(std::memory_order_acquire);
}

} // namespace

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
        setValue(node.attribute(kParameterValue).value());
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

bool StringParameter::save()
{
    return lf_saveSetting(*this);
}

bool StringParameter::setAndSave(std::string text)
{
    setValue(std::move(text));
    return save();
}

bool StringParameter::loadMeta(const pugi::xml_node& doc)
{
    pugi::xml_node top = doc.root();
    for (pugi::xml_node meta = top.child("meta"); meta; meta = meta.next_sibling("meta")) {
        for (pugi::xml_node info = meta.child("info"); info; info = info.next_sibling("info")) {
            if (std::string_view(info.attribute(kParameterName).value()) == name()) {
                setValue(info.attribute(kParameterValue).value());
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
        setValue(gf_parseIntText(node.attribute(kParameterValue).value()));
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

bool IntParameter::save()
{
    return lf_saveSetting(*this);
}

bool IntParameter::setAndSave(std::int32_t value)
{
    setValue(value);
    return save();
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
        setValue(gf_parseBoolText(node.attribute(kParameterValue).value()));
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

bool BoolParameter::setAndSave()
{
    return lf_saveSetting(*this);
}

bool BoolParameter::setAndSave(bool value)
{
    setValue(value);
    return setAndSave();
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
