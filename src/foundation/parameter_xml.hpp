#pragma once
// The element format that "parameters.xml" shares with the airport files:
// <parameters><parameter name="..." value="..."/>...</parameters>, and the
// text rules of its values.

#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kParametersRoot = "parameters";
inline constexpr const char* kParameterElement = "parameter";
inline constexpr const char* kParameterName = "name";
inline constexpr const char* kParameterValue = "value";

// The <parameter> element named `name` under the top-level <parameters>.
pugi::xml_node gf_findParameterNode(const pugi::xml_node& doc, std::string_view name);

// Append a <parameter name= value=/> under node, without looking for an existing one.
bool gf_appendBoolParameter(pugi::xml_node node, std::string_view name, bool value);
bool gf_appendIntParameter(pugi::xml_node node, std::string_view name, std::int64_t value);
bool gf_appendStringParameter(pugi::xml_node node, std::string_view name, std::string_view value);

// The "value" of the named element; empty when the element or its "value" is
// missing. An unreadable integer is 0, one beyond 32 bits saturates.
std::optional<std::int32_t> gf_getIntParameterFromDoc(const pugi::xml_node& doc, std::string_view name);
std::optional<std::string> gf_getStringParameterFromDoc(const pugi::xml_node& doc, std::string_view name);
// Empty when the element is missing; otherwise the boolean spelling rule (a
// missing "value" reads as false).
std::optional<bool> gf_getBoolParameterFromDoc(const pugi::xml_node& doc, std::string_view name);

// The text rules of the settings file.
bool gf_parseBoolText(std::string_view text);
// Decimal with optional blanks and sign; unreadable gives 0, beyond 32 bits saturates.
std::int32_t gf_parseIntText(std::string_view text);
