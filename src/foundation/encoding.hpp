#pragma once
// UTF-8 <-> UTF-16. The program keeps all text as UTF-8 in narrow strings;
// UTF-16 appears only in files and at the operating system's wide interfaces.
// UTF-16 is held in char16_t (wchar_t has 32 bits outside Windows).
//
// Both directions are strict: overlong forms, encoded surrogates, code points
// beyond U+10FFFF, lone surrogates and cut sequences are refused with
// win32::Utf8ConversionException (code 1113, the Windows "no mapping for the
// Unicode character" error), never replaced.

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr unsigned kNoUnicodeTranslation = 1113;

// std::overflow_error "Input string too long: size_t-length doesn't fit into int."
[[noreturn]] void gf_inputTooLongError();

std::u16string gf_utf8ToUtf16(std::string_view text);
std::string gf_utf16ToUtf8(std::u16string_view text);
