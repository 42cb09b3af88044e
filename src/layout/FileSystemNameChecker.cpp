#include "layout/FileSystemNameChecker.h"

#include <cstring>
#include <string>

#include "platform/Win32.h"

namespace Orlet {

namespace {

// A name is padded with the digit 0 to at least this many characters.
constexpr std::size_t kShortestName = 2;
// Positions searched for an extension's dot, from the end of the name without
// its version suffix backwards: an 8.3 name's extension has up to three
// characters, so its dot stands at most four places before the end.
constexpr std::size_t kDotPositions = 5;
// ISO 9660 level-1 base names have up to 8 characters; a longer base is cut to
// 7 to leave room for the number.
constexpr std::size_t kShortBaseLength = 8;
constexpr std::size_t kCutShortBaseLength = 7;
// What the time text reads when the clock cannot be formatted: the same
// 24-character form and line feed as the runtime's text.
const char kUnknownTimeText[] = "Thu Jan 01 00:00:00 1970\n";

// The name in buffer, up to its terminator or room - 1 units.
template <typename Unit>
std::basic_string<Unit> ReadName(const void* buffer, std::size_t room) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::basic_string<Unit> name;
  for (std::size_t i = 0; i + 1 < room; ++i) {
    Unit unit{};
    std::memcpy(&unit, bytes + i * sizeof(Unit), sizeof(Unit));
    if (unit == 0) break;
    name.push_back(unit);
  }
  return name;
}

template <typename Unit>
void WriteName(void* buffer, const std::basic_string<Unit>& name) {
  std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(Unit));
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Cuts text to at most length units, never between the two halves of a
// UTF-16 surrogate pair.
template <typename Unit>
void CutTo(std::basic_string<Unit>& text, std::size_t length) {
  if (text.size() <= length) return;
  text.resize(length);
  if constexpr (sizeof(Unit) == sizeof(char16_t)) {
    if (!text.empty() && IsHighSurrogate(text.back())) text.pop_back();
  }
}

// Pads name and answers the split position: the start of the tail.
template <typename Unit>
std::size_t SplitPosition(std::basic_string<Unit>& name) {
  while (name.size() < kShortestName) name.push_back(static_cast<Unit>('0'));
  std::size_t end = name.size();
  if (name[end - 2] == static_cast<Unit>(';')) end -= 2;  // a one-character version suffix
  for (std::size_t back = 0; back < kDotPositions && back <= end; ++back) {
    const std::size_t at = end - back;
    if (at < name.size() && name[at] == static_cast<Unit>('.')) return at;
  }
  return end;
}

// base + added + tail, the base cut to fit in limit units. Should added and
// tail alone not fit (a buffer of a few characters), the whole is cut.
template <typename Unit>
std::basic_string<Unit> Compose(std::basic_string<Unit> base, const std::basic_string<Unit>& added,
                                const std::basic_string<Unit>& tail, std::size_t limit) {
  const std::size_t kept = added.size() + tail.size();
  CutTo(base, kept <= limit ? limit - kept : 0);
  std::basic_string<Unit> result = base + added + tail;
  CutTo(result, limit);
  return result;
}

template <typename Unit>
std::basic_string<Unit> Widen(const char* text) {
  std::basic_string<Unit> wide;
  for (; *text != '\0'; ++text)
    wide.push_back(static_cast<Unit>(static_cast<unsigned char>(*text)));
  return wide;
}

// Spaces and control characters (0x20 and below).
bool IsBlank(char16_t unit) { return unit <= 0x20; }

}  // namespace

FileSystemNameChecker::FileSystemNameChecker(uint32_t counter) : counter(counter) {}

FileSystemNameChecker::~FileSystemNameChecker() = default;

void FileSystemNameChecker::MakeShortNameUnique(char* name, std::size_t room) {
  if (name == nullptr || room == 0) return;
  std::string text = ReadName<char>(name, room);
  const std::size_t split = SplitPosition(text);
  const std::string base = text.substr(0, split <= kShortBaseLength ? split : kCutShortBaseLength);
  const std::string number = std::to_string(counter);
  ++counter;
  WriteName(name, Compose(base, number, text.substr(split), room - 1));
}

void FileSystemNameChecker::MakeLongNameUnique(char16_t* name, std::size_t room) {
  if (name == nullptr || room == 0) return;
  std::u16string text = ReadName<char16_t>(name, room);
  const std::size_t split = SplitPosition(text);

  win32::__time64_t now = 0;
  win32::_time64(&now);
  const char* timeText = win32::_ctime64(&now);
  std::u16string added = u"_" + Widen<char16_t>(timeText != nullptr ? timeText : kUnknownTimeText) +
                         text.substr(split);
  // Trailing blanks go (the time text's line feed when there is no tail);
  // the rest of what follows the base gets "_" for blanks and colons. The
  // added part starts with "_", so this never reaches into the base.
  while (IsBlank(added.back())) added.pop_back();
  for (char16_t& unit : added) {
    if (IsBlank(unit) || unit == u':') unit = u'_';
  }
  WriteName(name, Compose(text.substr(0, split), added, std::u16string(), room - 1));
}

}  // namespace Orlet
