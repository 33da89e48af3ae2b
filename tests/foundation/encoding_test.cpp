#include "foundation/encoding.hpp"
#include "foundation/exceptions.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Utf8Case {
    const char* what;
    std::string utf8;
};

} // namespace

TEST(EncodingTest, roundTripKeepsEveryPlane)
{
    // ASCII, Latin-1 range, BMP, last BMP character, supplementary plane, last code point.
    const std::string text = "KLM Z\xC3\xBCrich \xE6\x97\xA5\xE6\x9C\xAC \xEF\xBF\xBF \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF";
    const std::u16string wide = gf_utf8ToUtf16(text);
    EXPECT_EQ(wide, u"KLM Z\u00FCrich \u65E5\u672C \uFFFF \U0001D11E \U0010FFFF");
    EXPECT_EQ(gf_utf16ToUtf8(wide), text);
    EXPECT_TRUE(gf_utf8ToUtf16("").empty());
}

TEST(EncodingTest, invalidUtf8IsRefused)
{
    const std::vector<Utf8Case> cases{
        {"overlong two bytes", "\xC0\x80"},
        {"overlong three bytes", "\xE0\x80\x80"},
        {"overlong four bytes", "\xF0\x80\x80\x80"},
        {"encoded high surrogate", "\xED\xA0\x80"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80"},
        {"lead F5", "\xF5\x80\x80\x80"},
        {"stray continuation", "a\x80z"},
        {"cut sequence at the end", "ab\xE2\x82"},
        {"cut sequence inside", "\xE2\x82z"},
    };
    for (const auto& c : cases) {
        try {
            gf_utf8ToUtf16(c.utf8);
            ADD_FAILURE() << c.what << " was accepted";
        } catch (const win32::Utf8ConversionException& e) {
            EXPECT_STREQ(e.what(), "Invalid UTF-8 sequence found in input string.") << c.what;
            EXPECT_EQ(e.errorCode(), kNoUnicodeTranslation) << c.what;
            EXPECT_EQ(e.direction(), 0u) << c.what;
        }
    }
}

TEST(EncodingTest, loneSurrogatesAreRefused)
{
    const std::vector<std::u16string> cases{
        u"ab" + std::u16string(1, char16_t(0xDBFF)),
        std::u16string(1, char16_t(0xDC00)) + u"x",
        std::u16string{char16_t(0xD800), u'x'},
        std::u16string{char16_t(0xD800), char16_t(0xD800)},
    };
    for (const auto& c : cases) {
        try {
            gf_utf16ToUtf8(c);
            ADD_FAILURE() << "a lone surrogate was accepted";
        } catch (const win32::Utf8ConversionException& e) {
            EXPECT_STREQ(e.what(), "Invalid UTF-16 sequence found in input string.");
            EXPECT_EQ(e.direction(), 1u);
        }
    }
}
