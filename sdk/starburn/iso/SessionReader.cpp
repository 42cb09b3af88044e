#include "iso/SessionReader.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <unordered_set>
#include <utility>

namespace starburn {
namespace iso {

namespace {

// Volume descriptors start 16 blocks into a session (the system area before).
constexpr uint32_t kDescriptorOffset = 16;

bool IsRecognitionSequence(const uint8_t* block) {
  static const char* const kIds[] = {"BEA01", "NSR02", "NSR03", "TEA01", "BOOT2"};
  return std::any_of(std::begin(kIds), std::end(kIds),
                     [&](const char* id) { return std::memcmp(block + 1, id, 5) == 0; });
}

StarBurnStatus Malformed(const std::string& why, std::string* error) {
  *error = why;
  return STARBURN_STATUS_BAD_FILE_SYSTEM;
}

StarBurnStatus OverBudget(const std::string& why, std::string* error) {
  *error = why;
  return STARBURN_STATUS_LIMIT_EXCEEDED;
}

std::u16string DecodeName(const RecordFields& record, bool joliet, bool directory) {
  std::u16string name;
  if (joliet) {
    for (std::size_t i = 0; i + 1 < record.identifierLength; i += 2) {
      name.push_back(static_cast<char16_t>((record.identifier[i] << 8) | record.identifier[i + 1]));
    }
  } else {
    // d-characters; bytes a lax writer put beyond them are read as Latin-1.
    for (std::size_t i = 0; i < record.identifierLength; ++i) name.push_back(record.identifier[i]);
  }
  if (!directory) {
    const std::size_t semicolon = name.rfind(u';');
    if (semicolon != std::u16string::npos) name.resize(semicolon);
    if (!joliet && !name.empty() && name.back() == u'.') name.pop_back();
  }
  return name;
}

// Walks one tree breadth first, sharing the directory-block budget.
class TreeWalk {
 public:
  TreeWalk(BlockReader& reader, uint64_t volumeEnd, bool joliet, uint64_t* blocksRead)
      : reader(reader), volumeEnd(volumeEnd), joliet(joliet), blocksRead(blocksRead) {}

  StarBurnStatus Run(const RecordFields& root, std::vector<ImportedEntry>* entries,
                     std::string* error) {
    entries->clear();
    ImportedEntry top;
    top.directory = true;
    entries->push_back(top);
    visited.insert(root.extent);
    pending.push_back(Directory{0, root.extent, root.dataLength, 0});
    std::vector<uint8_t> block(kBlockSize);
    while (!pending.empty()) {
      const Directory directory = pending.front();
      pending.pop_front();
      const StarBurnStatus status = ReadDirectory(directory, &block, entries, error);
      if (status != STARBURN_OK) return status;
    }
    return STARBURN_OK;
  }

 private:
  struct Directory {
    uint32_t entry;
    uint32_t extent;
    uint32_t bytes;
    uint32_t depth;
  };

  StarBurnStatus ReadDirectory(const Directory& directory, std::vector<uint8_t>* block,
                               std::vector<ImportedEntry>* entries, std::string* error) {
    const uint64_t blocks = (uint64_t{directory.bytes} + kBlockSize - 1) / kBlockSize;
    if (blocks == 0) return Malformed("a directory has a data length of 0", error);
    if (uint64_t{directory.extent} + blocks > volumeEnd) {
      return Malformed("a directory extent lies beyond the end of the volume", error);
    }
    if (*blocksRead + blocks > kMaxDirectoryBlocks) {
      return OverBudget("the session's directories exceed the reader's budget of " +
                            std::to_string(kMaxDirectoryBlocks) + " blocks",
                        error);
    }
    *blocksRead += blocks;
    ImportedEntry chain;  // a multi-extent file whose last record is still to come
    bool chaining = false;
    for (uint64_t b = 0; b < blocks; ++b) {
      const StarBurnStatus status =
          reader.ReadBlocks(static_cast<uint32_t>(directory.extent + b), 1, block->data());
      if (status != STARBURN_OK) {
        *error = "cannot read a directory block";
        return status;
      }
      const std::size_t end = static_cast<std::size_t>(
          std::min<uint64_t>(kBlockSize, directory.bytes - b * kBlockSize));
      std::size_t at = 0;
      while (at < end) {
        RecordFields record;
        std::size_t length = 0;
        std::string why;
        if (!DecodeDirectoryRecord(block->data() + at, end - at, &record, &length, &why)) {
          return Malformed(why, error);
        }
        if (length == 0) break;  // the rest of this sector is unused
        at += length;
        const StarBurnStatus status =
            TakeRecord(directory, record, &chain, &chaining, entries, error);
        if (status != STARBURN_OK) return status;
      }
    }
    if (chaining) return Malformed("a multi-extent file's last extent is missing", error);
    return STARBURN_OK;
  }

  StarBurnStatus TakeRecord(const Directory& directory, const RecordFields& record,
                            ImportedEntry* chain, bool* chaining,
                            std::vector<ImportedEntry>* entries, std::string* error) {
    if (record.identifierLength == 1 &&
        (record.identifier[0] == kSelfIdentifier || record.identifier[0] == kParentIdentifier)) {
      if (*chaining) return Malformed("a multi-extent chain is broken", error);
      return STARBURN_OK;  // "." and ".."
    }
    const bool isDirectory = (record.flags & kFlagDirectory) != 0;
    const bool more = (record.flags & kFlagMultiExtent) != 0;
    if (joliet &&
        (record.identifierLength % 2 != 0 || record.identifierLength > kMaxJolietIdentifierBytes)) {
      return Malformed("a Joliet identifier has an odd or excessive length", error);
    }
    const std::u16string name = DecodeName(record, joliet, isDirectory);
    if (*chaining && (isDirectory || name != chain->name)) {
      return Malformed("a multi-extent chain is broken", error);
    }
    if (isDirectory) {
      if (more) return Malformed("a directory record claims several extents", error);
      if (directory.depth + 1 > kMaxDirectoryDepth) {
        return OverBudget(
            "directories nest deeper than " + std::to_string(kMaxDirectoryDepth) + " levels",
            error);
      }
      // Every directory has an extent of its own; one reached twice is a
      // loop (itself, an ancestor) or a forged share.
      if (!visited.insert(record.extent).second) {
        return Malformed("a directory extent is reached twice (a loop in the tree)", error);
      }
    } else if (record.dataLength > 0 &&
               uint64_t{record.extent} +
                       (uint64_t{record.dataLength} + kBlockSize - 1) / kBlockSize >
                   volumeEnd) {
      return Malformed("a file extent lies beyond the end of the volume", error);
    }
    if (!*chaining) {
      *chain = ImportedEntry();
      chain->parent = directory.entry;
      chain->directory = isDirectory;
      chain->name = name;
      std::memcpy(chain->time, record.time, kRecordTimeSize);
    } else if (chain->size % kBlockSize != 0) {
      return Malformed("a multi-extent file has an extent that does not fill its blocks", error);
    }
    chain->size += record.dataLength;
    if (!isDirectory) chain->extents.push_back(Extent{record.extent, record.dataLength});
    *chaining = more;
    if (more) return STARBURN_OK;
    if (entries->size() >= kMaxImportEntries) {
      return OverBudget(
          "the session holds more than " + std::to_string(kMaxImportEntries) + " entries", error);
    }
    entries->push_back(std::move(*chain));
    if (isDirectory) {
      pending.push_back(Directory{static_cast<uint32_t>(entries->size() - 1), record.extent,
                                  record.dataLength, directory.depth + 1});
    }
    return STARBURN_OK;
  }

  BlockReader& reader;
  uint64_t volumeEnd;
  bool joliet;
  uint64_t* blocksRead;
  std::deque<Directory> pending;
  std::unordered_set<uint32_t> visited;
};

// The files of a tree as (first extent, size), for comparing two trees.
std::vector<std::pair<uint32_t, uint64_t>> FileKeys(const std::vector<ImportedEntry>& entries) {
  std::vector<std::pair<uint32_t, uint64_t>> keys;
  for (const ImportedEntry& entry : entries) {
    if (!entry.directory && entry.size > 0) {
      keys.emplace_back(entry.extents.front().block, entry.size);
    }
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

}  // namespace

StarBurnStatus ReadVolumeSet(BlockReader& reader, uint32_t sessionStart, VolumeSet* set,
                             std::string* error) {
  *set = VolumeSet();
  std::vector<uint8_t> block(kBlockSize);
  for (uint32_t i = 0; i < kMaxDescriptors; ++i) {
    const uint64_t lba = uint64_t{sessionStart} + kDescriptorOffset + i;
    if (lba >= reader.BlockCount() || lba > UINT32_MAX) break;
    const StarBurnStatus status = reader.ReadBlocks(static_cast<uint32_t>(lba), 1, block.data());
    if (status != STARBURN_OK) {
      *error = "cannot read the volume descriptors";
      return status;
    }
    if (IsIsoDescriptor(block.data())) {
      if (set->terminated) continue;  // a second set is not read
      DecodedVolume volume;
      std::string why;
      const uint8_t type = block[0];
      if (type == kDescriptorPrimary && !set->hasPrimary) {
        if (!DecodeVolumeDescriptor(block.data(), &volume, &why)) return Malformed(why, error);
        set->hasPrimary = true;
        set->primary = block;
      } else if (type == kDescriptorSupplementary && HasJolietEscape(block.data()) &&
                 !set->hasJoliet) {
        if (!DecodeVolumeDescriptor(block.data(), &volume, &why)) {
          return Malformed("Joliet descriptor: " + why, error);
        }
        set->hasJoliet = true;
        set->joliet = block;
      } else if (type == kDescriptorTerminator) {
        set->terminated = true;
      }
    } else if (IsRecognitionSequence(block.data())) {
      set->otherFileSystem = true;  // UDF's recognition sequence, after the ISO 9660 set
    } else {
      break;
    }
  }
  return STARBURN_OK;
}

StarBurnStatus ReadSession(BlockReader& reader, uint32_t sessionStart, bool joliet,
                           std::vector<ImportedEntry>* entries, std::string* error) {
  entries->clear();
  VolumeSet set;
  StarBurnStatus status = ReadVolumeSet(reader, sessionStart, &set, error);
  if (status != STARBURN_OK) return status;
  if (!set.hasPrimary) return Malformed("the session has no primary volume descriptor", error);
  if (!set.terminated) return Malformed("the volume descriptor set has no terminator", error);
  DecodedVolume primary;
  DecodedVolume supplementary;
  std::string why;
  DecodeVolumeDescriptor(set.primary.data(), &primary, &why);
  const bool readJoliet = joliet && set.hasJoliet;
  if (readJoliet) DecodeVolumeDescriptor(set.joliet.data(), &supplementary, &why);
  const DecodedVolume& chosen = readJoliet ? supplementary : primary;
  // Extents must lie on the disc: within the blocks the reader has. The
  // volume space size is no bound: writers of later sessions disagree on
  // whether it counts from block 0 or from the session's start.
  const uint64_t volumeEnd = reader.BlockCount();

  uint64_t blocksRead = 0;
  status = TreeWalk(reader, volumeEnd, readJoliet, &blocksRead).Run(chosen.root, entries, error);
  if (status != STARBURN_OK || !readJoliet) return status;

  // The Joliet tree is what is imported; the primary tree must describe the
  // same files, or one of them is damaged.
  std::vector<ImportedEntry> isoEntries;
  status = TreeWalk(reader, volumeEnd, false, &blocksRead).Run(primary.root, &isoEntries, error);
  if (status != STARBURN_OK) {
    *error = "ISO 9660 tree: " + *error;
    return status;
  }
  // Directories are not compared: a Rock Ridge writer relocates deep ones
  // into an extra directory of the ISO 9660 tree only.
  if (FileKeys(*entries) != FileKeys(isoEntries)) {
    entries->clear();
    return Malformed("the ISO 9660 and Joliet trees of the session disagree", error);
  }
  return STARBURN_OK;
}

}  // namespace iso
}  // namespace starburn
