#pragma once
// The program's one trim. It lives at the bottom of the layers so that the
// platform's own readers (the ini files behind the registry) trim as the
// rest of the program does; foundation/strings.hpp passes it on.

#include <string_view>

// The text without leading and trailing blanks, tabs, line feeds and
// carriage returns; a view into the text given.
std::string_view gf_trim(std::string_view text);
