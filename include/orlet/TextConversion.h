#pragma once

/// @file
/// The one mapping between file-system bytes and the library's wide text,
/// from the base-services library (OrletBases). The library turns every wide
/// source path back into bytes with tcs_to_mbs, so a host that makes its wide
/// paths with mbs_to_tcs reaches every file, whatever bytes its name holds.

#include <locale>
#include <string>

#if defined(_WIN32) && defined(ORLET_BASES_BUILD)
#define ORLET_BASES_API __declspec(dllexport)
#elif defined(_WIN32)
#define ORLET_BASES_API __declspec(dllimport)
#elif defined(ORLET_BASES_BUILD)
#define ORLET_BASES_API __attribute__((visibility("default")))
#else
#define ORLET_BASES_API
#endif

namespace Orlet {

/// 8-bit text (file names, command lines) to wide text under a locale
/// (default: the process's global one). Under the "C" or "POSIX" locale 8-bit
/// text is UTF-8, so non-ASCII names work in a host that never calls
/// setlocale. Bytes that do not decode become U+DC80 to U+DCFF and turn back
/// into the same bytes, so any file name survives a round trip. On Windows
/// 8-bit text is in the process's ANSI code page and locale is not read (a
/// program whose manifest makes UTF-8 its ANSI code page reaches every name).
/// Any thread.
ORLET_BASES_API std::wstring mbs_to_tcs(const std::string& text,
                                        const std::locale& locale = std::locale());
/// Wide text to 8-bit text under a locale, the reverse of mbs_to_tcs; a
/// character that the 8-bit encoding cannot hold becomes '?' (nothing is ever
/// dropped or cut). Any thread.
ORLET_BASES_API std::string tcs_to_mbs(const std::wstring& text,
                                       const std::locale& locale = std::locale());

}  // namespace Orlet
