// How a path or a number is written in each form of output: escaped for a
// line of text, encoded for JSON, so that each file stays one line and
// one value whatever bytes its name holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "counting.h"

namespace cli {

void appendNumber(std::string &out, Count number);

// The most bytes a number takes in decimal, its sign included.
inline constexpr std::size_t NUMBER_DIGITS = 20;

// A number's decimal digits at `at`, which has room for NUMBER_DIGITS
// bytes; returns their end. Text that goes out a line at a time is put
// together so and appended once: a string's append costs some 60
// instructions whatever its length, several times the digits' own.
char *writeNumber(char *at, Count number);

// A hash as 16 lowercase hex digits, as fingerprints give it.
void appendHexHash(std::string &out, std::uint64_t hash);

// ", "NAME": NUMBER", a key and its number after another in a JSON object.
void appendJsonField(std::string &out, std::string_view name, Count number);

// True when `text` is well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates, nothing above U+10FFFF.
bool isUtf8(std::string_view text);

// A path or other value for a table row or a message: a backslash is
// doubled; \n, \t and \r are written so; every other byte of a control
// character (C0, DEL or C1), of a Unicode format character or separator
// (Cf, Zl, Zp: U+200B, U+202E, U+2028, ...) or of anything that is not
// well-formed UTF-8 is \x and two hex digits. Printable characters stay as
// they are.
std::string printablePath(std::string_view path);

// A name as text for a form that has no way to give bytes that are not
// UTF-8 (CSV, Markdown, the CI services' forms): as it is where it is
// UTF-8, else as the table prints it.
std::string utf8OrPrintable(std::string_view path);

// A path as a JSON value: a string when it is UTF-8; otherwise an array of
// its byte values, so that its exact bytes can be recovered.
void appendJsonPath(std::string &out, std::string_view path);

} // namespace cli
