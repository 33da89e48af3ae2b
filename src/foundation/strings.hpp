#pragma once
// Small string helpers shared across the program. Text is UTF-8 throughout;
// the helpers work on bytes and never split a multibyte character because
// every character they look for is ASCII.

#include "platform/text.hpp" // gf_trim

#include <string>
#include <string_view>
#include <vector>

// The items between separators, each trimmed; empty items stay.
std::vector<std::string> gf_splitSemicolon(std::string_view text);
std::vector<std::string> gf_splitComma(std::string_view text);

// "a, b ,c" becomes "a,b,c"; a text without any blank, tab, CR or LF is returned unchanged.
std::string gf_trimCommaList(std::string_view text);

// The text between the first "<Path>" and the first "</Path>"; empty when either is missing.
std::string gf_extractPath(std::string_view text);

// Whether a equals b with b's ASCII letters upper-cased (a is taken as it is).
bool gf_equalsUpperCased(std::string_view a, std::string_view b);

// Whether b is a followed by '*'.
bool gf_matchesWildcard(std::string_view a, std::string_view b);

// A frame line for the log: "**** text ****" around a text, or a row of '*'.
std::string gf_starBanner(int width, int extra, bool leadingLineEnd, bool trailingLineEnd, std::string_view text);

// A text from outside (a traffic line's field) as the program keeps it: every
// well-formed UTF-8 character except the control characters (C0, DEL, C1),
// in order, as many as fit whole into maxBytes. Malformed bytes (stray
// continuation bytes, cut or overlong sequences, surrogates, code points past
// U+10FFFF) are left out, so the result is always valid UTF-8 and one line.
// Replaces target's content, keeping its capacity.
void gf_cleanFieldText(std::string& target, std::string_view text, std::size_t maxBytes);
