#pragma once

// Profile (INI) files: the one setting the driver keeps lives in one.
// On Windows the profile API reads it; elsewhere a reader of our own gives
// the same answers: section and key names match without regard to case,
// names and values are trimmed of blanks, a value in matching quotes loses
// them, and an integer is its leading decimal digits with an optional sign.

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace qmx {

// The value of `key` in `section`, or nothing when either is missing.
// Lines longer than a few kilobytes are cut, so no input, however large or
// however far from text, makes this hold more than one such line.
std::optional<std::string> FindProfileValue(std::istream& in, std::string_view section,
                                            std::string_view key);

// The integer the profile API reads from a value: an optional sign, then
// decimal digits up to the first other character. The digits are taken
// modulo 2^32, so the low bits of any number, however long, are exact.
// A value with no digits reads as 0.
std::uint32_t ProfileTextToInt(std::string_view text);

// Reads an integer from the profile file at `path`; `defaultValue` when the
// file, the section or the key is missing or the value is empty.
std::uint32_t ReadProfileInt(const std::string& path, std::string_view section,
                             std::string_view key, std::int32_t defaultValue);

// Reads a text value from the profile file at `path`; empty when the file,
// the section or the key is missing.
std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key);

// Writes `value` as the integer of `key` in `section` of the profile file
// `name` in the Windows directory. On Windows the profile API is handed the
// bare name, which it looks up there itself, and the file is flushed.
// Elsewhere the file is the one FindFileNoCase finds there, written by
// WriteProfileInt. False, with a reason in `error`, when the file could not
// be written.
bool WriteWindowsProfileInt(std::string_view name, std::string_view section, std::string_view key,
                            std::int32_t value, std::string& error);

#ifndef _WIN32
// The writer of our own, on the file at `path`: every other section, key,
// comment and line ending stays as it was, and the file is replaced whole
// through a temporary file beside it, so that a failed write leaves the old
// file as it was. False, with a reason in `error`, when it could not be
// written.
bool WriteProfileInt(const std::string& path, std::string_view section, std::string_view key,
                     std::int32_t value, std::string& error);
#endif

// The text of a profile file with `key` in `section` set to `value`: the
// line that holds the key is rewritten from its value on; a missing key is
// added at the end of its section, a missing section at the end of the
// text, with the text's own line ending.
std::string WithProfileValue(const std::string& text, std::string_view section, std::string_view key,
                             const std::string& value);

}  // namespace qmx
