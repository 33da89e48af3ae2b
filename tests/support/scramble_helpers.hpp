#pragma once
// The directions of the code scrambling that the program never needs: making
// stored model and airline codes from plain ones, for test data. They use the
// program's own keys, so what they make reads back through gf_unscrambleCode
// and gf_unscrambleAirline. Header only: include it from a test that links
// norvane_foundation.

#include "foundation/scramble_keys.hpp"

#include <string>
#include <string_view>

namespace testsupport {

namespace detail {

template <std::size_t N>
void placeScrambled(std::string& stored, std::string_view plain,
                    const std::array<tzo::scramble::CodeKeyEntry, N>& key)
{
    for (std::size_t i = 0; i < N && i < plain.size(); ++i) {
        stored[key[i].storedPosition] =
            static_cast<char>(tzo::scramble::shifted(static_cast<unsigned char>(plain[i]), -key[i].offset));
    }
}

} // namespace detail

// A stored model code for a plain code of 2, 3 or 4 characters (code
// alphabet '-' to 'Z'). A 2-character code may be given a longer stored length
// (not 3 or 4): the places that carry nothing hold `filler`.
inline std::string scrambleModelCode(std::string_view plain, std::size_t storedLength = 0, char filler = 'Q')
{
    using namespace tzo::scramble;
    if (storedLength == 0) {
        storedLength = plain.size();
    }
    std::string stored(storedLength, filler);
    if (plain.size() == 3) {
        detail::placeScrambled(stored, plain, kModelCodeKey3);
    } else if (plain.size() == 4) {
        detail::placeScrambled(stored, plain, kModelCodeKey4);
    } else {
        detail::placeScrambled(stored, plain, kModelCodeKey2);
    }
    return stored;
}

// A stored 6-character airline code for a plain 3-character one.
inline std::string scrambleAirline(std::string_view plain, char filler = 'K')
{
    using namespace tzo::scramble;
    std::string stored(kStoredAirlineLength, filler);
    detail::placeScrambled(stored, plain, kAirlineKey);
    return stored;
}

} // namespace testsupport
