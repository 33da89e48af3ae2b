#pragma once
// The settings file "parameters.xml" as the setting classes, the reading at
// start and the pruning use it; nothing outside foundation includes this.

#include "foundation/parameters.hpp"

#include <pugixml.hpp>

#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>

// Start-up, window and exit threads all save settings; each load-change-save
// of the file runs under this one mutex so no save undoes another.
std::mutex& lf_settingsFileMutex();

std::filesystem::path lf_settingsFilePath();

enum class SettingsFileState { Loaded, Missing, Damaged };
// Loaded only when the file is XML with a <parameters> root, of a size and
// nesting that a settings file has; Damaged when it is there but cannot be
// read as such.
SettingsFileState lf_loadSettingsFile(pugi::xml_document& doc);

// Keeps a damaged settings file as "parameters.xml.bad". False when that
// could not be done; the damaged file must then not be replaced.
bool lf_keepDamagedSettingsFile();

// Replaces the file atomically; false, with `error` saying why, when that failed.
bool lf_saveSettingsFile(const pugi::xml_document& doc, std::error_code& error);
// "saving xml did not work?" naming the file and the cause, in the log and on
// the terminal: the one line about a failed save of the file.
void lf_saySettingsSaveFailure(const std::error_code& error);
void lf_saySettingsSaveFailure(std::string_view cause);

// "{name}={value}" to the log.
void lf_logSetting(const tzo::Parameter& parameter);

// Writes one setting's current value into the file, under the file mutex;
// false (and said) when the file was not written.
bool lf_saveSetting(const tzo::Parameter& parameter);
