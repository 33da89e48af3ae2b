#pragma once
// Persistent settings: one global object per setting (see settings.hpp), each
// with a name, a default and, for numbers, limits, stored in "parameters.xml"
// in the data folder as <parameters><parameter name="..." value="..."/>...
//
// Values are read by every thread: booleans, integers and floats are atomics,
// strings are copied out under a mutex. Every load-change-save of the settings
// file runs under one mutex, and each save replaces the file atomically.
// The element format of the file is parameter_xml.hpp's.

#include "foundation/parameter_xml.hpp"

#include <pugixml.hpp>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tzo {

class Parameter {
public:
    explicit Parameter(std::string name);
    virtual ~Parameter();
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    const std::string& name() const { return m_name; }

    // The value as it is written into the file: "true"/"false", decimal, or the text.
    virtual std::string valueText() const;

private:
    const std::string m_name;
};

class StringParameter : public Parameter {
public:
    StringParameter(std::string name, std::string defaultValue);

    std::string value() const;
    void setValue(std::string text);
    bool empty() const;
    const std::string& defaultValue() const { return m_default; }
    std::string valueText() const override { return value(); }

    // Reads the value from the setting's element; absent: the default, false.
    // An element without "value" reads as the empty text. Logs "{}={}" when asked.
    bool load(const pugi::xml_node& doc, bool logIt = true);
    // Appends the default under root, takes the default as value and logs it.
    bool addDefault(pugi::xml_node root);
    void log() const;
    // Writes the current value into "parameters.xml".
    // False when the file was not written (said once by the save).
    bool save();
    bool setAndSave(std::string text);
    // Reads the value from a data file's header: <meta><info name= value=/></meta>.
    bool loadMeta(const pugi::xml_node& doc);

private:
    const std::string m_default;
    mutable std::mutex m_mutex;
    std::string m_value;
};

class IntParameter : public Parameter {
public:
    IntParameter(std::string name, std::int32_t defaultValue, std::int32_t min, std::int32_t max);

    std::int32_t value() const { return m_value.load(std::memory_order_relaxed); }
    // Clamps to min..max. Does not save.
    void setValue(std::int32_t value);
    std::int32_t defaultValue() const { return m_default; }
    std::int32_t min() const { return m_min; }
    std::int32_t max() const { return m_max; }
    std::string valueText() const override;

    // Absent element: default, false. Present: decimal value (unreadable reads
    // as 0, beyond 32 bits saturates), clamped.
    bool load(const pugi::xml_node& doc, bool logIt = true);
    bool addDefault(pugi::xml_node root);
    void log() const;
    bool save();
    bool setAndSave(std::int32_t value);

private:
    const std::int32_t m_default;
    const std::int32_t m_min;
    const std::int32_t m_max;
    std::atomic<std::int32_t> m_value;
};

class BoolParameter : public Parameter {
public:
    BoolParameter(std::string name, bool defaultValue);

    bool value() const { return m_value.load(std::memory_order_relaxed); }
    void setValue(bool value) { m_value.store(value, std::memory_order_relaxed); }
    bool defaultValue() const { return m_default; }
    std::string valueText() const override;

    // Absent element: default, false. Present: true when the value begins with
    // '1', 't', 'T', 'y' or 'Y'.
    bool load(const pugi::xml_node& doc, bool logIt = true);
    bool addDefault(pugi::xml_node root);
    void log() const;
    // Saves the current value (the caller sets it first).
    bool setAndSave();
    bool setAndSave(bool value);

private:
    const bool m_default;
    std::atomic<bool> m_value;
};

// The window side of a setting: which control edits it and on which row of
// the main window it sits. The controls themselves belong to the window layer.
class ParameterControl {
public:
    ParameterControl(std::uint16_t controlId, std::uint32_t y) : m_controlId(controlId), m_y(y) {}

    std::uint16_t controlId() const { return m_controlId; }
    std::uint32_t y() const { return m_y; }

private:
    const std::uint16_t m_controlId;
    const std::uint32_t m_y;
};

class IntParameterField : public IntParameter, public ParameterControl {
public:
    IntParameterField(std::string name, std::int32_t defaultValue, std::int32_t min, std::int32_t max,
                      std::uint16_t controlId, std::uint32_t y);
    // Writes the value into the edit field (through the installed control hooks).
    void show();
};

// Only MAX_FIT_FL: the fit limit in hours with decimals. Never stored.
class FloatParameterField : public Parameter, public ParameterControl {
public:
    FloatParameterField(std::string name, float defaultValue, float min, float max, std::uint16_t controlId,
                        std::uint32_t y);

    float value() const { return m_value.load(std::memory_order_relaxed); }
    // Clamps to min..max; a NaN takes the default.
    void setValue(float value);
    float defaultValue() const { return m_default; }
    float min() const { return m_min; }
    float max() const { return m_max; }
    void show();

private:
    const float m_default;
    const float m_min;
    const float m_max;
    std::atomic<float> m_value;
};

class BoolParameterCheckBox : public BoolParameter, public ParameterControl {
public:
    BoolParameterCheckBox(std::string name, bool defaultValue, std::uint16_t controlId, std::uint32_t y);
    // Sets the value and the check mark; does not save.
    void setChecked(bool value);
};

class StringParameterField : public StringParameter, public ParameterControl {
public:
    StringParameterField(std::string name, std::string defaultValue, std::uint16_t controlId, std::uint32_t y);
    void show();
};

// A push button labelled with its name; no value, never stored.
class ParamButton : public Parameter, public ParameterControl {
public:
    ParamButton(std::string name, std::uint16_t controlId, std::uint32_t y);
};

// The six lists in which the settings are read and, on a first run, written.
struct ParameterLists {
    std::vector<BoolParameter*> booleans;
    std::vector<BoolParameterCheckBox*> checkBoxes;
    std::vector<IntParameter*> integers;
    std::vector<IntParameterField*> intFields;
    std::vector<StringParameter*> strings;
    std::vector<StringParameterField*> stringFields;
};

// What the window layer does when a setting's value reaches its control. The
// window installs these at start; until then (and in tests) they are no-ops.
struct ParameterControlHooks {
    void (*setChecked)(BoolParameterCheckBox&) = nullptr;
    void (*showIntField)(IntParameterField&) = nullptr;
    void (*showFloatField)(FloatParameterField&) = nullptr;
    void (*showStringField)(StringParameterField&) = nullptr;
    void (*enableControl)(ParameterControl&) = nullptr;
    void (*disableControl)(ParameterControl&) = nullptr;
};

} // namespace tzo

void gf_installParameterControlHooks(const tzo::ParameterControlHooks& hooks);

// Enables the control's window (through the installed hooks).
void gf_enableControl(tzo::ParameterControl& control);
// Disables it, so that the user cannot change the setting in this run.
void gf_disableControl(tzo::ParameterControl& control);

// Every setting of the program, used when a save finds no readable file and
// writes the whole set instead of one setting. The table of settings
// registers itself; tests may register another.
void gf_setParameterLists(const tzo::ParameterLists& lists);

// The text such a save writes for a setting; empty for its value in memory.
// Lets a value in force only for a while (a park airport's own MAX_LIVE)
// leave the user's own value in the file.
using StoredTextHook = std::string (*)(const tzo::Parameter&);
void gf_installStoredTextHook(StoredTextHook hook);

// Reads every setting from "parameters.xml" at start; writes the file with
// the defaults when it is missing or damaged (a damaged one is kept as
// "parameters.xml.bad").
void gf_readParameters(const tzo::ParameterLists& lists);

// "parameters.xml" as a document, when it is a settings file that can be
// read; false (the document empty) when it is missing or damaged.
bool gf_loadSettingsDocument(pugi::xml_document& doc);

// Removes the named setting's element from "parameters.xml".
void gf_pruneParameters(std::string_view name);
bool lf_isFolderParameter(std::string_view name);
