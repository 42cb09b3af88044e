#include <algorithm>
#include <cctype>
#include <cwchar>
#include <type_traits>

#include "platform/OrletBases.h"

namespace Orlet {

namespace {

// Undecodable bytes are carried as U+DC80..U+DCFF (the byte plus 0xDC00) so
// that they turn back into the same bytes.
constexpr wchar_t kEscapeBase = 0xDC00;
constexpr wchar_t kEscapeFirst = 0xDC80;
constexpr wchar_t kEscapeLast = 0xDCFF;
constexpr wchar_t kMaxCodePoint = 0x10FFFF;
constexpr char kUnmappable = '?';

bool IsUtf8Locale(const std::locale& locale) {
  std::string name = locale.name();
  if (name == "C" || name == "POSIX" || name == "*") return true;
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name.find("utf-8") != std::string::npos || name.find("utf8") != std::string::npos;
}

bool IsSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

std::wstring DecodeUtf8(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = bytes[i];
    std::size_t length = 0;
    uint32_t value = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, value = lead & 0x07, minimum = 0x10000;
    }
    bool valid = length != 0 && i + length <= size;
    for (std::size_t k = 1; valid && k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) valid = false;
      value = (value << 6) | (bytes[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (valid && (value < minimum || value > kMaxCodePoint || IsSurrogate(value))) valid = false;
    if (!valid) {
      out.push_back(static_cast<wchar_t>(kEscapeBase + lead));
      ++i;
      continue;
    }
    out.push_back(static_cast<wchar_t>(value));
    i += length;
  }
  return out;
}

std::string EncodeUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    const auto c = static_cast<uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(wc));
    if (wc >= kEscapeFirst && wc <= kEscapeLast) {
      out.push_back(static_cast<char>(c - kEscapeBase));
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (IsSurrogate(c) || c > kMaxCodePoint) {
      out.push_back(kUnmappable);
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

using Codecvt = std::codecvt<wchar_t, char, std::mbstate_t>;

std::wstring DecodeWithLocale(const std::string& text, const std::locale& locale) {
  const auto& facet = std::use_facet<Codecvt>(locale);
  std::wstring out;
  const char* next = text.data();
  const char* end = text.data() + text.size();
  std::wstring chunk(text.size() + 1, L'\0');
  while (next < end) {
    std::mbstate_t state{};
    const char* stopped = next;
    wchar_t* written = chunk.data();
    auto result =
        facet.in(state, next, end, stopped, chunk.data(), chunk.data() + chunk.size(), written);
    out.append(chunk.data(), written);
    next = stopped;
    if (result == Codecvt::ok || result == Codecvt::noconv) {
      if (result == Codecvt::noconv) {
        for (; next < end; ++next) out.push_back(static_cast<unsigned char>(*next));
      }
      break;
    }
    if (next < end) {  // error or partial: carry the byte and go on
      out.push_back(static_cast<wchar_t>(kEscapeBase + static_cast<unsigned char>(*next)));
      ++next;
    }
  }
  return out;
}

std::string EncodeWithLocale(const std::wstring& text, const std::locale& locale) {
  const auto& facet = std::use_facet<Codecvt>(locale);
  std::string out;
  char buffer[16];
  for (wchar_t wc : text) {
    if (wc >= kEscapeFirst && wc <= kEscapeLast) {
      out.push_back(static_cast<char>(wc - kEscapeBase));
      continue;
    }
    std::mbstate_t state{};
    const wchar_t* from = &wc;
    const wchar_t* stopped = from;
    char* written = buffer;
    auto result =
        facet.out(state, from, from + 1, stopped, buffer, buffer + sizeof buffer, written);
    if (result == Codecvt::noconv) {
      out.push_back(static_cast<char>(wc));
    } else if (result == Codecvt::ok && stopped == from + 1) {
      out.append(buffer, written);
    } else {
      out.push_back(kUnmappable);
    }
  }
  return out;
}

}  // namespace

std::wstring mbs_to_tcs(const std::string& text, const std::locale& locale) {
  return IsUtf8Locale(locale) ? DecodeUtf8(text) : DecodeWithLocale(text, locale);
}

std::string tcs_to_mbs(const std::wstring& text, const std::locale& locale) {
  return IsUtf8Locale(locale) ? EncodeUtf8(text) : EncodeWithLocale(text, locale);
}

std::wstring tcs_to_wcs(const std::wstring& text, const std::locale& /*locale*/) { return text; }

}  // namespace Orlet
