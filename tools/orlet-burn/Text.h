#pragma once

#include <string>

namespace orletburn {

// 8-bit text (command line, file names, console) and the library's wide
// text, by the base services' mapping (orlet/TextConversion.h): bytes that are
// not UTF-8 survive the round trip.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// text with its control characters (bytes below 20h, and 7Fh) written as
// \xNN, so that a file name cannot move the cursor or end a line.
std::string Printable(const std::string& text);

// "1.5 GB", "700.0 MB", "12 KB": a size for people.
std::string Size(unsigned long long bytes);

}  // namespace orletburn
