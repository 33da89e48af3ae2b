#pragma once
// Stored codes of the data base (registrations, airline, operator and model
// codes) and the date stamp of the daily update check are kept scrambled.
// These routines turn them into plain codes and, for registrations and the
// date stamp, back. They are pure functions of their input and fixed keys
// (foundation/scramble_keys.hpp).

#include <string>
#include <string_view>

// Shifts every character but '+' forward by the key of its position. A text of
// 1 or of 25 and more characters is logged (marked) and scrambled all the same.
// Throws std::runtime_error "regcode encrypt error" on a lower-case letter.
std::string gf_scrambleRegcode(std::string_view text);

// Reverses gf_scrambleRegcode position by position; '+' stays.
std::string gf_unscrambleRegcode(std::string_view stored);

// A model code of 3 or 4 characters from a stored text of that length, of 2
// characters from any other length; empty for an empty text and for a stored
// text too short to hold its code (one character), which is logged.
std::string gf_unscrambleCode(std::string_view stored);

// A 3-character airline code from 6 stored characters; a stored text of 3
// characters is taken as it is (logged, marked); empty stays empty. Any other
// length throws std::runtime_error "decrypt airl \"<text>\" error".
std::string gf_unscrambleAirline(std::string_view stored);
