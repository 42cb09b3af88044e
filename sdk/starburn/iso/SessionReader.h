#pragma once

// Reads the file tree of one session through a BlockReader. The blocks are
// untrusted: every field is checked before it is used, every loop is bounded,
// and what the reader keeps is bounded by the budgets below. A malformed
// session gives STARBURN_STATUS_BAD_FILE_SYSTEM, a session past a budget
// STARBURN_STATUS_LIMIT_EXCEEDED, both with the reason; failed reads pass
// their status through.

#include <cstdint>
#include <string>
#include <vector>

#include "common/BlockIo.h"
#include "iso/Ecma119.h"
#include "iso/FileTree.h"

namespace starburn {
namespace iso {

// Descriptors looked at from block 16 of a session: real sets hold a handful
// (primary, supplementary, boot record, terminator, UDF's recognition
// sequence); more is not a descriptor set.
constexpr uint32_t kMaxDescriptors = 64;
// Directory nesting: ISO 9660 paths are at most 255 characters, which cannot
// name more than 128 levels of one-character directories.
constexpr uint32_t kMaxDirectoryDepth = 128;
// Entries one import keeps (about 200 bytes each in memory while the session
// is read): four times a backup of a million files, which a BD-R holds, and
// well below what would exhaust memory.
constexpr uint32_t kMaxImportEntries = 1u << 22;
// Directory blocks one import reads, across both trees: enough for the
// largest entry budget at the longest records (about eight Joliet records a
// block), and a stop for entries that lead to the same blocks over and over.
constexpr uint64_t kMaxDirectoryBlocks = 1u << 20;
// Joliet identifiers longer than this (bytes) are not believed: writers stop
// at 103 UCS-2 units plus a version suffix; 110 units leave room for both.
constexpr std::size_t kMaxJolietIdentifierBytes = 220;

// What the volume descriptors of a session hold.
struct VolumeSet {
  bool terminated = false;       // the set ends with a terminator
  bool hasPrimary = false;       // the first primary descriptor, kept
  bool hasJoliet = false;        // the first Joliet descriptor, kept
  bool otherFileSystem = false;  // UDF's volume recognition sequence, or another's
  std::vector<uint8_t> primary;
  std::vector<uint8_t> joliet;
};

// Reads the descriptors from block sessionStart + 16 on. Fails only on read
// errors and on a malformed primary or Joliet descriptor; a missing
// terminator is reported through `terminated`.
StarBurnStatus ReadVolumeSet(BlockReader& reader, uint32_t sessionStart, VolumeSet* set,
                             std::string* error);

// An entry of the session's tree, in breadth-first order: entry 0 is the
// root and every entry comes after its parent.
struct ImportedEntry {
  uint32_t parent = 0;
  bool directory = false;
  std::u16string name;  // the identifier without version suffix (and ISO 9660's lone dot)
  uint64_t size = 0;
  std::vector<Extent> extents;
  uint8_t time[kRecordTimeSize] = {};
};

// Reads the tree of the session at sessionStart: the Joliet tree when joliet
// is true and the session has one (the two trees are then checked to agree),
// else the ISO 9660 tree.
StarBurnStatus ReadSession(BlockReader& reader, uint32_t sessionStart, bool joliet,
                           std::vector<ImportedEntry>* entries, std::string* error);

}  // namespace iso
}  // namespace starburn
