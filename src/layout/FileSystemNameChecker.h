#pragma once

#include <cstddef>
#include <cstdint>

namespace Orlet {

// Room of the rejected-name record that the recording SDK hands to the image
// tree's call-back: 544 bytes from the record's second byte, which hold 544
// 8-bit or 272 16-bit characters, the terminating zero included.
constexpr std::size_t kShortNameRoom = 544;
constexpr std::size_t kLongNameRoom = 272;

// Rewrites a disc name that clashes with another one in the image tree into a
// new name, in place. Names are split into a base and a tail: the tail is a
// version suffix (";1") and an extension of up to three characters before it
// (".TXT;1"); a name shorter than two characters is first padded with the
// digit 0.
//
// Both rewrites stay inside the caller's buffer of room characters (the
// terminating zero included). They read the name up to its terminator or to
// room - 1 characters, whichever comes first; when the new name would not fit,
// the base is cut so that the added number or time text and the tail survive
// whole. The name may sit at any byte address (the rejected-name record puts
// it at an odd one): it is read and written byte by byte.
//
// Threads: an object is used by one thread at a time.
class FileSystemNameChecker {
 public:
  explicit FileSystemNameChecker(uint32_t counter);
  virtual ~FileSystemNameChecker();

  // An ISO 9660 name (8-bit): the base (cut to 7 characters when longer than
  // 8), then counter in decimal, then the tail; counter then grows by 1.
  // README.TXT;1 becomes README1.TXT;1 and VERYLONGNAME.DOC;1 VERYLON1.DOC;1.
  void MakeShortNameUnique(char* name, std::size_t room = kShortNameRoom);
  // A Joliet name (UTF-16): the whole base, "_", the current local time as
  // "Wed_Jan_02_02_03_55_1980", then the tail, with spaces, control
  // characters and colons after the base turned into "_" (Photo.jpg;1 becomes
  // Photo_Wed_Jan_02_02_03_55_1980_.jpg;1). counter is not used.
  void MakeLongNameUnique(char16_t* name, std::size_t room = kLongNameRoom);

  uint32_t counter;  // the number the next short-name rewrite appends
};

}  // namespace Orlet
