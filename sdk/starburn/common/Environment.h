#pragma once

// The process's environment, read as UTF-8 text on every platform (Windows
// keeps it in UTF-16: a path in it reaches the SDK whatever the ANSI code
// page). posix/Environment.cpp and windows/Environment.cpp.
// Threads: any thread, as long as no thread changes the environment.

#include <string>

namespace starburn {

// The value of the variable name (ASCII); false when it is not set.
bool ReadEnvironment(const char* name, std::string* value);

}  // namespace starburn
