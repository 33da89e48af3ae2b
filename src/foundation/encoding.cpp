#include "foundation/encoding.hpp"

#include "foundation/exceptions.hpp"

#include <climits>
#include <cstdint>
#include <stdexcept>

namespace {

void lf_checkLength(std::size_t size)
{
    // The Windows conversion calls take int lengths; the limit is kept so that
    // the program behaves the same everywhere.
    if (size > static_cast<std::size_t>(INT_MAX))
        gf_inputTooLongError();
}

[[noreturn]] void lf_invalidUtf8()
{
    throw win32::Utf8ConversionException("Invalid UTF-8 sequence found in input string.", kNoUnicodeTranslation,
                                         win32::Utf8ConversionException::kFromUtf8);
}

[[noreturn]] void lf_invalidUtf16()
{
    throw win32::Utf8ConversionException("Invalid UTF-16 sequence found in input string.", kNoUnicodeTranslation,
                                         win32::Utf8ConversionException::kToUtf8);
}

bool lf_isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

} // namespace

void gf_inputTooLongError()
{
    throw std::overflow_error("Input string too long: size_t-length doesn't fit into int.");
}

std::u16string gf_utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    if (text.empty())
        return out;
    lf_checkLength(text.size());
    out.reserve(text.size());

    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            out.push_back(lead);
            ++p;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t cp = 0;
        std::uint32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
            minimum = 0x10000;
        } else {
            // Stray continuation byte, the overlong leads C0/C1, or F5..FF.
            lf_invalidUtf8();
        }
        if (static_cast<std::size_t>(end - p) < length)
            lf_invalidUtf8();
        for (std::size_t i = 1; i < length; ++i) {
            if (!lf_isContinuation(p[i]))
                lf_invalidUtf8();
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            lf_invalidUtf8();
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        p += length;
    }
    return out;
}

std::string gf_utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    if (text.empty())
        return out;
    lf_checkLength(text.size());
    out.reserve(text.size());

    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= text.size())
                lf_invalidUtf16();
            const std::uint32_t low = text[i + 1];
            if (low < 0xDC00 || low > 0xDFFF)
                lf_invalidUtf16();
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            lf_invalidUtf16();
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}
