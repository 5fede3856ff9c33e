#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace tg::textio {

// The small text-reading vocabulary of documents and presets. Numbers are
// read and written independently of the stream's or the program's locale.

// Skips white space and takes one character; false at end of input.
bool ReadChar(std::istream& in, char& c);
// Puts the stream into its failed state.
void Fail(std::istream& in);
// Skips white space and reads a decimal 32-bit integer; fails the stream on
// anything else, including a number out of range.
bool ReadInt32(std::istream& in, int32_t& value);
// Skips white space and reads a floating-point number (also "nan", "inf").
bool ReadDouble(std::istream& in, double& value);
// Skips white space and takes the run of characters up to the next white
// space, leaving that in the stream. A run longer than maxLength fails.
bool ReadToken(std::istream& in, std::string& token, size_t maxLength);
// How a brace list "{ … }" begins.
enum class ListStart { Failed, Empty, Values };
// Reads the opening brace and tells whether the list is empty (its closing
// brace is then read too) or has values. Anything but "{" fails the stream.
ListStart OpenList(std::istream& in);
// After OpenList answered Values: reads "v, v, … }" calling readValue(p) for
// each position p below count; values beyond count are skipped up to the
// closing brace. A separator other than "," or "}" fails the stream.
void ReadListValues(std::istream& in, int count, const std::function<void(int)>& readValue);
// Writes a number as the C library's %g does: 6 significant digits.
void WriteDouble(std::ostream& out, double value);
std::string FormatDouble(double value);

}  // namespace tg::textio
