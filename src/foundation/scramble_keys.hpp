#pragma once
// The fixed keys of the stored-code scrambling. The data base file shipped
// with the program is scrambled with exactly these values: change one and every
// stored code reads wrong. They live in a header of their own so that the
// tools and tests that write scrambled data use the same keys as the reader.

#include <array>
#include <cstddef>
#include <cstdint>

namespace tzo::scramble {

// The code alphabet: '-' (45) to 'Z' (90), 46 characters.
inline constexpr int kAlphabetFirst = 45;
inline constexpr int kAlphabetLast = 90;
inline constexpr int kAlphabetSize = kAlphabetLast - kAlphabetFirst + 1;

// Shift with wrap on the code alphabet, in int so that bytes of 0x80 and above
// keep their unsigned value. Every offset below lies within -45..45, so a
// character of the alphabet wraps at most once and stays in the alphabet;
// any other byte also stays within 0..255.
constexpr unsigned char shifted(unsigned char c, int offset)
{
    int value = static_cast<int>(c) + offset;
    if (value > kAlphabetLast) {
        value -= kAlphabetSize;
    } else if (value < kAlphabetFirst) {
        value += kAlphabetSize;
    }
    return static_cast<unsigned char>(value);
}

// One offset per character position of a registration. A registration longer
// than the table goes round it again from position 0 (offset of position i is
// kRegcodeKey[i % size]): no read past the table, and unscrambling still
// reverses scrambling at every position.
inline constexpr std::array<std::int32_t, 24> kRegcodeKey = {
    17, -5, 29, 11, -23, 38, 7, -14, 21, 3, -31, 13, 26, -9, 35, 2, -19, 41, 15, -27, 9, 33, -2, 19};

constexpr std::int32_t regcodeOffset(std::size_t position)
{
    return kRegcodeKey[position % kRegcodeKey.size()];
}

// For each result position of a code: the stored position it is read from and
// the offset added to it.
struct CodeKeyEntry {
    std::size_t storedPosition;
    std::int32_t offset;
};

// Model codes: stored texts of 3 and 4 characters give 3 and 4 result
// characters; every other length gives 2, read from the first two places only.
inline constexpr std::array<CodeKeyEntry, 2> kModelCodeKey2 = {{{1, 12}, {0, -7}}};
inline constexpr std::array<CodeKeyEntry, 3> kModelCodeKey3 = {{{2, 19}, {0, -11}, {1, 4}}};
inline constexpr std::array<CodeKeyEntry, 4> kModelCodeKey4 = {{{3, -15}, {1, 22}, {0, 8}, {2, -3}}};

// Airline codes: 6 stored characters, three of them carry the code.
inline constexpr std::size_t kStoredAirlineLength = 6;
inline constexpr std::array<CodeKeyEntry, 3> kAirlineKey = {{{4, 14}, {1, -20}, {5, 9}}};

} // namespace tzo::scramble
