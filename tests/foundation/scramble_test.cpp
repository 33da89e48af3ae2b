#include "foundation/log.hpp"
#include "foundation/scramble.hpp"
#include "foundation/scramble_keys.hpp"
#include "support/scramble_helpers.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using testsupport::scrambleAirline;
using testsupport::scrambleModelCode;

namespace {

// Every character of the code alphabet once, and more than the key table holds.
std::string wholeAlphabet()
{
    std::string text;
    for (int c = tzo::scramble::kAlphabetFirst; c <= tzo::scramble::kAlphabetLast; ++c) {
        text += static_cast<char>(c);
    }
    return text;
}

} // namespace

TEST(Scramble, registrationsRoundTripWithPlusAnywhere)
{
    const std::string cases[] = {"D-AIBC", "+G-EZAB", "N123AB+", "++", "A+B+C+D", "HB-JNA/2", "VH-OQA.1",
                                 "ZZZZZZZZZZZZZZZZZZZZZZZZ"};
    for (const auto& plain : cases) {
        const std::string stored = gf_scrambleRegcode(plain);
        ASSERT_EQ(stored.size(), plain.size());
        EXPECT_EQ(gf_unscrambleRegcode(stored), plain) << plain;
        for (std::size_t i = 0; i < plain.size(); ++i) {
            if (plain[i] == '+') {
                EXPECT_EQ(stored[i], '+') << plain << " at " << i;
            } else {
                EXPECT_GE(stored[i], '-') << plain; // stays in the code alphabet
                EXPECT_LE(stored[i], 'Z') << plain;
            }
        }
    }
    EXPECT_NE(gf_scrambleRegcode("D-AIBC"), "D-AIBC");
}

TEST(Scramble, emptyOneCharacterAndOverLongRegistrations)
{
    testsupport::TempDir dir(true);
    gf_openLog();
    EXPECT_EQ(gf_scrambleRegcode(""), "");
    EXPECT_EQ(gf_unscrambleRegcode(""), "");

    // Out of the expected 2..24 characters: logged, scrambled all the same.
    const std::string one = gf_scrambleRegcode("X");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(gf_unscrambleRegcode(one), "X");

    // Longer than the key table: the key goes round again, and nothing is read
    // past it.
    const std::string longText = wholeAlphabet() + wholeAlphabet();
    ASSERT_GT(longText.size(), tzo::scramble::kRegcodeKey.size());
    const std::string stored = gf_scrambleRegcode(longText);
    ASSERT_EQ(stored.size(), longText.size());
    EXPECT_EQ(gf_unscrambleRegcode(stored), longText);
    const std::string sameLetters = gf_scrambleRegcode(std::string(30, 'A'));
    EXPECT_EQ(sameLetters[tzo::scramble::kRegcodeKey.size()], sameLetters[0]);
    gf_closeLog();

    const std::string log = testsupport::readFile(dir / "Log.txt");
    EXPECT_NE(log.find("===> X\n"), std::string::npos) << log;
    EXPECT_NE(log.find("===> " + longText + "\n"), std::string::npos) << log;
}

TEST(Scramble, lowerCaseRegistrationIsRefused)
{
    testsupport::TempDir dir(true);
    gf_openLog();
    try {
        gf_scrambleRegcode("D-Aibc");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "regcode encrypt error");
    }
    gf_closeLog();
    EXPECT_NE(testsupport::readFile(dir / "Log.txt").find("lower case in regcode encryp D-Aibc\n"),
              std::string::npos);
}

TEST(Scramble, bytesAboveSevenBitsAreShiftedAsUnsigned)
{
    // A UTF-8 letter and a blank, as in a date stamp: shifted by the wrap rule
    // on their unsigned value, never through a negative char.
    const std::string text = "\xC3\xA9 A";
    const std::string stored = gf_scrambleRegcode(text);
    ASSERT_EQ(stored.size(), text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        int expected = static_cast<unsigned char>(text[i]) + tzo::scramble::regcodeOffset(i);
        if (expected > 90)
            expected -= 46;
        else if (expected < 45)
            expected += 46;
        EXPECT_EQ(static_cast<unsigned char>(stored[i]), expected) << i;
    }
    // Every byte value through both routines keeps the count, and the code
    // alphabet still round trips.
    std::string allBytes;
    for (int c = 0; c < 256; ++c) {
        if (c != '+' && !(c >= 'a' && c <= 'z')) {
            allBytes += static_cast<char>(c);
        }
    }
    EXPECT_EQ(gf_scrambleRegcode(allBytes).size(), allBytes.size());
    EXPECT_EQ(gf_unscrambleRegcode(allBytes).size(), allBytes.size());
    EXPECT_EQ(gf_unscrambleRegcode(gf_scrambleRegcode(wholeAlphabet())), wholeAlphabet());
}

TEST(Scramble, modelCodesReadByLength)
{
    const std::string plains[] = {"A3", "320", "A20N", "C-1", "--", "ZZZZ"};
    for (const auto& plain : plains) {
        EXPECT_EQ(gf_unscrambleCode(scrambleModelCode(plain)), plain) << plain;
    }
    // Any length other than 3 and 4 gives two characters, from the first two places.
    EXPECT_EQ(gf_unscrambleCode(scrambleModelCode("DH", 5)), "DH");
    EXPECT_EQ(gf_unscrambleCode(scrambleModelCode("F9", 12)), "F9");
    EXPECT_EQ(gf_unscrambleCode(""), "");
}

TEST(Scramble, oneCharacterModelCodeGivesEmpty)
{
    testsupport::TempDir dir(true);
    gf_openLog();
    EXPECT_EQ(gf_unscrambleCode("A"), "");
    EXPECT_EQ(gf_unscrambleCode("\xFF"), "");
    gf_closeLog();
    EXPECT_NE(testsupport::readFile(dir / "Log.txt").find("===> stored code \"A\" too short"), std::string::npos);
}

TEST(Scramble, airlineCodesByStoredLength)
{
    testsupport::TempDir dir(true);
    gf_openLog();
    for (const char* plain : {"DLH", "ZZZ", "9-Z"}) {
        const std::string stored = scrambleAirline(plain);
        ASSERT_EQ(stored.size(), 6u);
        EXPECT_EQ(gf_unscrambleAirline(stored), plain);
    }
    EXPECT_EQ(gf_unscrambleAirline(""), "");
    EXPECT_EQ(gf_unscrambleAirline("KLM"), "KLM");

    for (const char* bad : {"K", "KLMX", "KLMXYZW"}) {
        try {
            gf_unscrambleAirline(bad);
            ADD_FAILURE() << bad << ": no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "decrypt airl \"" + std::string(bad) + "\" error");
        }
    }
    gf_closeLog();
    EXPECT_NE(testsupport::readFile(dir / "Log.txt").find("===> Unencrypted airline KLM in decrypt airl?\n"),
              std::string::npos);
}
