#pragma once
// Lines for the terminal (standard error, or standard output). Such a line can
// never end, stop or slow the program: one that cannot be written at once is
// dropped, and the first of them is noted in the log with its cause.

#include <string_view>

// Writes text and a line end to standard error; never throws.
void gf_toTerminal(std::string_view text) noexcept;
// The same for standard output.
void gf_toStandardOutput(std::string_view text) noexcept;
