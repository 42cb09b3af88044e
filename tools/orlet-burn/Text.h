#pragma once

#include <string>

namespace orletburn {

// UTF-8 (command line, console) and the library's wide text. Bytes that are
// not UTF-8 stand as U+FFFD in wide text.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// "1.5 GB", "700.0 MB", "12 KB": a size for people.
std::string Size(unsigned long long bytes);

}  // namespace orletburn
