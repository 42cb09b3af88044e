#include "iso/NamePolicy.h"

#include <algorithm>
#include <string_view>

namespace starburn {
namespace iso {

namespace {

// ISO 9660 level 1: an 8-character name and a 3-character extension.
constexpr std::size_t kLevel1Base = 8;
constexpr std::size_t kLevel1Extension = 3;
// Level 2 keeps extensions of up to 8 characters whole; a longer one is cut so
// that at least 22 characters remain for the name.
constexpr std::size_t kLevel2Extension = 8;
// Joliet keeps an extension of up to 16 units when it shortens a name; a
// longer "extension" is treated as part of the name.
constexpr std::size_t kJolietExtension = 16;

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The first `length` units of text, one less when that would split a
// surrogate pair.
std::u16string_view Prefix(std::u16string_view text, std::size_t length) {
  if (length >= text.size()) return text;
  if (length > 0 && IsHigh(text[length - 1]) && IsLow(text[length])) --length;
  return text.substr(0, length);
}

bool IsDCharacter(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') || (unit >= u'0' && unit <= u'9') || unit == u'_';
}

bool IsJolietForbidden(char16_t unit) {
  return unit < 0x20 || unit == u'*' || unit == u'/' || unit == u':' || unit == u';' ||
         unit == u'?' || unit == u'\\';
}

// Compares two texts as if the shorter were padded with spaces.
int ComparePadded(std::u16string_view a, std::u16string_view b) {
  const std::size_t length = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < length; ++i) {
    const char16_t x = i < a.size() ? a[i] : u' ';
    const char16_t y = i < b.size() ? b[i] : u' ';
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// A trailing version suffix (";" and digits), which hosts may leave in a
// rewritten name.
std::u16string_view WithoutVersion(std::u16string_view name) {
  const std::size_t semicolon = name.rfind(u';');
  if (semicolon == std::u16string_view::npos || semicolon + 1 == name.size()) return name;
  for (std::size_t i = semicolon + 1; i < name.size(); ++i) {
    if (name[i] < u'0' || name[i] > u'9') return name;
  }
  return name.substr(0, semicolon);
}

}  // namespace

NamePolicy::NamePolicy(Space space) : kind(space) {}

NamePolicy::Parts NamePolicy::Split(std::u16string_view identifier, bool directory) const {
  Parts parts;
  const std::size_t dot = identifier.rfind(u'.');
  if (directory || dot == std::u16string_view::npos ||
      (IsJoliet() && (dot == 0 || identifier.size() - dot - 1 > kJolietExtension))) {
    parts.base = identifier;
    return parts;
  }
  parts.base = identifier.substr(0, dot);
  parts.extension = identifier.substr(dot + 1);
  parts.dotted = true;
  return parts;
}

std::u16string NamePolicy::Join(const Parts& parts, bool directory) const {
  // ISO 9660 file identifiers always carry the separator; Joliet only when
  // there is an extension.
  const bool dot = !directory && (!IsJoliet() || parts.dotted);
  std::u16string joined;
  joined.reserve(parts.base.size() + (dot ? 1 + parts.extension.size() : 0));
  joined.append(parts.base);
  if (dot) {
    joined.push_back(u'.');
    joined.append(parts.extension);
  }
  return joined;
}

std::u16string NamePolicy::MapCharacters(std::u16string_view name, bool directory) const {
  // Written in place: a mapping never makes a name longer.
  std::u16string out(name.size(), u'_');
  std::size_t length = 0;
  if (IsJoliet()) {
    for (std::size_t i = 0; i < name.size(); ++i) {
      const char16_t unit = name[i];
      if (IsHigh(unit) && i + 1 < name.size() && IsLow(name[i + 1])) {  // a pair stays whole
        out[length++] = unit;
        out[length++] = name[++i];
        continue;
      }
      out[length++] = IsJolietForbidden(unit) || IsHigh(unit) || IsLow(unit) ? u'_' : unit;
    }
    out.resize(length);
    return out;
  }
  // The dot that separates an ISO 9660 file's extension is the last one.
  const std::size_t separator = directory ? std::u16string_view::npos : name.rfind(u'.');
  for (std::size_t i = 0; i < name.size(); ++i) {
    char16_t unit = name[i];
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
    if (i == separator) {
      out[length++] = u'.';
    } else {
      out[length++] = IsDCharacter(unit) ? unit : u'_';
    }
    // A character beyond the Basic Multilingual Plane is one "_".
    if (IsHigh(name[i]) && i + 1 < name.size() && IsLow(name[i + 1])) ++i;
  }
  out.resize(length);
  return out;
}

std::size_t NamePolicy::ExtensionRoom() const {
  switch (kind) {
    case Space::kIsoLevel1:
      return kLevel1Extension;
    case Space::kIsoLevel2:
      return kLevel2Extension;
    case Space::kJoliet:
      return kJolietExtension;
  }
  return 0;
}

std::size_t NamePolicy::BaseRoom(const Parts& parts, bool directory) const {
  if (kind == Space::kIsoLevel1) return kLevel1Base;
  const std::size_t total = IsJoliet() ? kJolietMaxUnits : kLevel2MaxChars;
  if (directory) return total;
  const bool dot = !IsJoliet() || parts.dotted;
  return total - (dot ? 1 : 0) - parts.extension.size();
}

bool NamePolicy::Fits(const Parts& parts, bool directory) const {
  return parts.extension.size() <= ExtensionRoom() &&
         parts.base.size() <= BaseRoom(parts, directory);
}

std::u16string NamePolicy::Map(const std::u16string& name, bool directory) const {
  const std::u16string mapped = MapCharacters(name, directory);
  Parts parts = Split(mapped, directory);
  if (!IsJoliet() && parts.base.empty() && parts.extension.empty()) parts.base = u"_";
  if (IsJoliet() && parts.base.empty() && !parts.dotted) parts.base = u"_";
  parts.extension = Prefix(parts.extension, ExtensionRoom());
  parts.base = Prefix(parts.base, BaseRoom(parts, directory));
  return Join(parts, directory);
}

std::u16string NamePolicy::MapRewritten(const std::u16string& offered,
                                        const std::u16string& rewritten, bool directory) const {
  const std::u16string mapped = MapCharacters(WithoutVersion(rewritten), directory);
  if (mapped.empty()) return std::u16string();
  Parts parts = Split(mapped, directory);
  if (Fits(parts, directory) && !(parts.base.empty() && parts.extension.empty())) {
    return Join(parts, directory);
  }
  if (parts.extension.size() > ExtensionRoom()) return std::u16string();
  // Keep what the host inserted after the part both names share.
  const std::u16string_view before = Split(offered, directory).base;
  std::size_t common = 0;
  while (common < before.size() && common < parts.base.size() &&
         before[common] == parts.base[common]) {
    ++common;
  }
  const std::u16string_view inserted = parts.base.substr(common);
  const std::size_t room = BaseRoom(parts, directory);
  if (inserted.empty() || inserted.size() >= room) return std::u16string();
  std::u16string base(Prefix(parts.base.substr(0, common), room - inserted.size()));
  base.append(inserted);
  parts.base = base;
  return Join(parts, directory);
}

std::u16string NamePolicy::Numbered(const std::u16string& identifier, uint32_t n,
                                    bool directory) const {
  Parts parts = Split(identifier, directory);
  std::u16string suffix = u"_";
  for (char digit : std::to_string(n)) suffix.push_back(static_cast<char16_t>(digit));
  const std::size_t room = BaseRoom(parts, directory);
  std::u16string base(Prefix(parts.base, room > suffix.size() ? room - suffix.size() : 0));
  base += suffix;
  parts.base = base;
  return Join(parts, directory);
}

bool NamePolicy::Less(const std::u16string& a, const std::u16string& b) {
  // Views, not copies: directories are sorted with this, name by name.
  const std::u16string_view viewA = a;
  const std::u16string_view viewB = b;
  const std::size_t dotA = std::min(viewA.rfind(u'.'), viewA.size());
  const std::size_t dotB = std::min(viewB.rfind(u'.'), viewB.size());
  int order = ComparePadded(viewA.substr(0, dotA), viewB.substr(0, dotB));
  if (order == 0) {
    order = ComparePadded(dotA < viewA.size() ? viewA.substr(dotA + 1) : std::u16string_view(),
                          dotB < viewB.size() ? viewB.substr(dotB + 1) : std::u16string_view());
  }
  if (order == 0) return a < b;
  return order < 0;
}

std::u16string NamePolicy::Display(const std::u16string& identifier, bool directory) const {
  if (!IsJoliet() && !directory && !identifier.empty() && identifier.back() == u'.') {
    return identifier.substr(0, identifier.size() - 1);
  }
  return identifier;
}

}  // namespace iso
}  // namespace starburn
