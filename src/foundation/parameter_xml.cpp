#include "foundation/parameter_xml.hpp"

#include <fmt/format.h>

#include <limits>

namespace {

bool lf_appendParameter(pugi::xml_node node, std::string_view name, const std::string& value)
{
    pugi::xml_node element = node.append_child(kParameterElement);
    if (!element)
        return false;
    pugi::xml_attribute nameAttribute = element.append_attribute(kParameterName);
    pugi::xml_attribute valueAttribute = element.append_attribute(kParameterValue);
    if (!nameAttribute || !valueAttribute)
        return false;
    return nameAttribute.set_value(std::string(name).c_str()) && valueAttribute.set_value(value.c_str());
}

std::optional<std::string> lf_valueOf(const pugi::xml_node& doc, std::string_view name)
{
    pugi::xml_node node = gf_findParameterNode(doc, name);
    if (!node)
        return std::nullopt;
    pugi::xml_attribute value = node.attribute(kParameterValue);
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

// ---- element helpers ---------------------------------------------------------

pugi::xml_node gf_findParameterNode(const pugi::xml_node& doc, std::string_view name)
{
    // The query "/parameters/parameter[@name=...]" walked by hand: no XPath
    // text is built from a name, so no name can break the query.
    pugi::xml_node top = doc.root();
    for (pugi::xml_node root = top.child(kParametersRoot); root; root = root.next_sibling(kParametersRoot)) {
        for (pugi::xml_node node = root.child(kParameterElement); node; node = node.next_sibling(kParameterElement)) {
            if (std::string_view(node.attribute(kParameterName).value()) == name)
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
    return gf_parseBoolText(node.attribute(kParameterValue).value());
}
