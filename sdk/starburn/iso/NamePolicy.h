#pragma once

// How a name becomes an identifier in one name space of the image: ISO 9660
// level 1 (8.3 d-characters), ISO 9660 level 2 (31 d-characters) or Joliet
// (UCS-2, surrogate pairs kept). One policy per space; the tree projects every
// node's name through the policies of the spaces the image has.
//
// Identifiers are kept without the version suffix (";1"); ISO 9660 file
// identifiers always hold their separator dot ("README." for a name without
// extension), as the standard writes them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace starburn {
namespace iso {

class NamePolicy {
 public:
  enum class Space { kIsoLevel1, kIsoLevel2, kJoliet };

  explicit NamePolicy(Space space);

  Space space() const { return kind; }
  bool IsJoliet() const { return kind == Space::kJoliet; }

  // The identifier of a name in this space: characters the space forbids are
  // replaced by "_", lower case is raised for ISO 9660, and a name that is
  // too long is shortened keeping its extension. Never empty.
  std::u16string Map(const std::u16string& name, bool directory) const;

  // The identifier of a name that a host rewrote from the identifier
  // `offered`: mapped like Map, but when it must be shortened the characters
  // the host inserted (the part after the common beginning of the two base
  // names) are kept and the common part is cut instead. Empty when even that
  // cannot fit.
  std::u16string MapRewritten(const std::u16string& offered, const std::u16string& rewritten,
                              bool directory) const;

  // The identifier made distinct with number n: "_n" after a base cut short
  // enough that the number and the extension always fit whole.
  std::u16string Numbered(const std::u16string& identifier, uint32_t n, bool directory) const;

  // The order of identifiers in directories and path tables: base names
  // compared as if padded with spaces, then extensions likewise.
  static bool Less(const std::u16string& a, const std::u16string& b);

  // The display form of an identifier: ISO 9660's separator dot of a name
  // without extension removed.
  std::u16string Display(const std::u16string& identifier, bool directory) const;

  // Joliet's limit: names of up to 103 UCS-2 units, the long-name limit that
  // common writers offer and that xorriso, isoinfo, 7z and pycdlib all read.
  static constexpr std::size_t kJolietMaxUnits = 103;
  // ISO 9660 level 2: file name, dot and extension, or a directory name, of
  // up to 31 characters.
  static constexpr std::size_t kLevel2MaxChars = 31;

 private:
  // Views into the identifier that was split (or into texts the caller
  // keeps alive), so that mapping a name makes one string, not one per part.
  struct Parts {
    std::u16string_view base;
    std::u16string_view extension;
    bool dotted = false;  // the identifier has a separator dot
  };
  Parts Split(std::u16string_view identifier, bool directory) const;
  std::u16string Join(const Parts& parts, bool directory) const;
  std::u16string MapCharacters(std::u16string_view name, bool directory) const;
  // The longest base that fits beside this extension.
  std::size_t BaseRoom(const Parts& parts, bool directory) const;
  std::size_t ExtensionRoom() const;
  bool Fits(const Parts& parts, bool directory) const;

  Space kind;
};

}  // namespace iso
}  // namespace starburn
