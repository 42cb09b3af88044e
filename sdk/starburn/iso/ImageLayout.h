#pragma once

// Where every block of an image goes, and the bytes of its metadata. A layout
// starts at a session's start address, so a first session and a later one
// (whose imported files keep their extents) are laid out by one code path:
//
//   start + 0..15   system area (zeros)
//   start + 16..    primary descriptor, Joliet descriptor, terminator
//   path tables     ISO 9660 L and M, then Joliet L and M
//   directories     ISO 9660 tree, then Joliet tree, in path-table order
//   file data       new files in the order they were added
//   padding         the zero blocks the caller asked for
//
// A layout is computed from the tree in memory that grows with the number of
// entries; metadata blocks are rendered on demand, one segment at a time.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "iso/FileTree.h"
#include "starburn/StarBurn.h"

namespace starburn {
namespace iso {

struct ImageOptions {
  uint32_t startAddress = 0;
  uint32_t padBlocks = 0;
  bool recordTimes = true;   // each file's own modification time; else the creation time
  std::string volumeLabel;   // UTF-8
  std::string publisher;     // UTF-8
  std::string application;   // UTF-8
  int64_t creationTime = 0;  // seconds since 1970
};

// All but the last extent of a file of 4 GiB or more hold this many bytes:
// the largest multiple of the block size a 32-bit data length can hold.
constexpr uint32_t kMaxExtentBytes = 0xFFFFF800;

class ImageLayout {
 public:
  struct Segment {
    enum class Kind { kZeros, kDescriptor, kTerminator, kPathTable, kDirectory, kFile };
    Kind kind = Kind::kZeros;
    bool joliet = false;     // descriptors, path tables, directories: which tree
    bool bigEndian = false;  // path tables: the M table
    // A directory's node; for file data, the first of the new files, which
    // follow one another in the order they were added, each in whole blocks.
    uint32_t node = 0;
    uint32_t block = 0;  // first block on the disc
    uint64_t blocks = 0;
  };

  // Places every block of the tree's image and records the placement in its
  // nodes. Fails with STARBURN_STATUS_INVALID_ARGUMENT when the start address
  // lies inside data the tree imported, STARBURN_STATUS_LIMIT_EXCEEDED when
  // the image would pass the last 32-bit block address.
  static StarBurnStatus Lay(FileTree& tree, const ImageOptions& options,
                            std::shared_ptr<const ImageLayout>* layout, std::string* error);

  const std::vector<Segment>& Segments() const { return segments; }
  uint32_t StartAddress() const { return options.startAddress; }
  const ImageOptions& Options() const { return options; }
  // Blocks of the image from its start address.
  uint64_t BlockCount() const { return blockCount; }

  // The bytes (segment.blocks × 2048) of a descriptor, path-table or
  // directory segment.
  void Render(const FileTree& tree, const Segment& segment, std::vector<uint8_t>* out) const;

  // The extents of a new file placed at its data block.
  static void NewFileExtents(const Node& node, std::vector<Extent>* extents);

 private:
  ImageLayout() = default;
  void RenderDescriptor(const FileTree& tree, bool joliet, uint8_t* block) const;
  void RenderPathTable(const FileTree& tree, bool joliet, bool bigEndian, uint8_t* out) const;
  void RenderDirectory(const FileTree& tree, uint32_t index, bool joliet, uint8_t* out) const;
  void RecordTime(const Node& node, uint8_t* time) const;

  ImageOptions options;
  std::vector<Segment> segments;
  uint64_t blockCount = 0;
  uint32_t emptyFileBlock = 0;  // where zero-length files point
  struct Tree {
    std::vector<uint32_t> directories;  // path-table order
    uint32_t pathTableBytes = 0;
    uint32_t lPathTable = 0;
    uint32_t mPathTable = 0;
  };
  Tree isoTree;
  Tree jolietTree;
};

}  // namespace iso
}  // namespace starburn
