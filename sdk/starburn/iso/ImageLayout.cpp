#include "iso/ImageLayout.h"

#include <algorithm>
#include <cstring>

#include "common/BlockIo.h"
#include "iso/Utf.h"

namespace starburn {
namespace iso {

namespace {

// The system area: the first 16 blocks of a session, left to zeros.
constexpr uint32_t kSystemAreaBlocks = 16;
// Identifier room of the descriptors: volume 32 bytes, publisher and
// application 128 bytes (16 and 64 UCS-2 units in the Joliet descriptor).
constexpr std::size_t kVolumeIdBytes = 32;
constexpr std::size_t kLongIdBytes = 128;

uint64_t BlocksOf(uint64_t bytes) { return (bytes + kBlockSize - 1) / kBlockSize; }

// A directory's kids in record order, and the directory's size in bytes:
// identifiers made once each, sorted, then the records walked as they fall
// into blocks (a record never crosses a block end).
uint64_t SortKids(const FileTree& tree, const std::vector<uint32_t>& kids, bool joliet,
                  std::vector<uint32_t>* order) {
  std::vector<std::pair<std::u16string, uint32_t>> keyed;
  keyed.reserve(kids.size());
  for (uint32_t kid : kids) keyed.emplace_back(tree.Identifier(kid, joliet), kid);
  std::sort(keyed.begin(), keyed.end(),
            [](const auto& a, const auto& b) { return NamePolicy::Less(a.first, b.first); });
  order->clear();
  order->reserve(keyed.size());
  uint64_t blocks = 0;
  std::size_t used = 0;
  auto place = [&](std::size_t length) {
    if (used + length > kBlockSize) {
      ++blocks;
      used = 0;
    }
    used += length;
  };
  place(DirectoryRecordLength(1));  // "."
  place(DirectoryRecordLength(1));  // ".."
  for (const auto& [identifier, kid] : keyed) {
    order->push_back(kid);
    const Node& node = tree.Nodes()[kid];
    const std::size_t length =
        DirectoryRecordLength(FileTree::RecordIdentifierSize(identifier, joliet, node.directory));
    std::size_t records = 1;
    if (!node.directory) {
      records = node.imported             ? std::max<std::size_t>(1, node.Extents().size())
                : node.size <= UINT32_MAX ? 1
                                          : (node.size + kMaxExtentBytes - 1) / kMaxExtentBytes;
    }
    for (std::size_t i = 0; i < records; ++i) place(length);
  }
  return (blocks + 1) * kBlockSize;
}

std::string DCharacters(const std::string& text, std::size_t room, bool aCharacters) {
  static const char kExtraACharacters[] = " !\"%&'()*+,-./:;<=>?";
  std::string out;
  for (char c : text) {
    if (out.size() == room) break;
    if (static_cast<unsigned char>(c) >= 0x80 && (static_cast<unsigned char>(c) & 0xC0) == 0x80) {
      continue;  // a continuation byte: one replacement per character
    }
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const bool d = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    const bool a = aCharacters && c != '\0' && std::strchr(kExtraACharacters, c) != nullptr;
    out.push_back(d || a ? c : '_');
  }
  return out;
}

std::string Ucs2(const std::string& utf8, std::size_t room) {
  std::u16string text = Utf8ToUtf16(utf8);
  std::size_t units = std::min(text.size(), room / 2);
  if (units > 0 && units < text.size() && text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF) {
    --units;  // never split a surrogate pair
  }
  std::string bytes;
  for (std::size_t i = 0; i < units; ++i) {
    bytes.push_back(static_cast<char>(text[i] >> 8));
    bytes.push_back(static_cast<char>(text[i] & 0xFF));
  }
  return bytes;
}

}  // namespace

void ImageLayout::NewFileExtents(const Node& node, std::vector<Extent>* extents) {
  extents->clear();
  uint64_t remaining = node.size;
  uint64_t block = node.dataBlock;
  // A file that a 32-bit data length can hold takes one extent.
  const uint64_t most = node.size <= UINT32_MAX ? UINT32_MAX : kMaxExtentBytes;
  do {
    const auto bytes = static_cast<uint32_t>(std::min<uint64_t>(remaining, most));
    extents->push_back(Extent{static_cast<uint32_t>(block), bytes});
    remaining -= bytes;
    block += BlocksOf(bytes);
  } while (remaining > 0);
}

StarBurnStatus ImageLayout::Lay(FileTree& tree, const ImageOptions& options,
                                std::shared_ptr<const ImageLayout>* layout, std::string* error) {
  std::shared_ptr<ImageLayout> made(new ImageLayout());
  made->options = options;
  std::deque<Node>& nodes = tree.Nodes();

  // Imported data must lie before the new session.
  for (const Node& node : nodes) {
    for (const Extent& extent : node.Extents()) {
      if (extent.bytes > 0 &&
          uint64_t{extent.block} + BlocksOf(extent.bytes) > options.startAddress) {
        *error = "the start address lies inside the imported session's data";
        return STARBURN_STATUS_INVALID_ARGUMENT;
      }
    }
  }

  // Record order of every directory, per tree.
  const bool joliet = tree.HasJoliet();
  for (Node& node : nodes) {
    if (!node.directory) continue;
    NodeLists& lists = node.Lists();
    lists.isoBytes = static_cast<uint32_t>(SortKids(tree, lists.kids, false, &lists.isoOrder));
    lists.jolietOrder.clear();
    if (joliet) {
      lists.jolietBytes =
          static_cast<uint32_t>(SortKids(tree, lists.kids, true, &lists.jolietOrder));
    }
  }

  uint64_t next = uint64_t{options.startAddress};
  auto add = [&](Segment segment) {
    segment.block = static_cast<uint32_t>(std::min<uint64_t>(next, UINT32_MAX));
    next += segment.blocks;
    made->segments.push_back(segment);
  };
  auto addBlocks = [&](Segment::Kind kind, uint64_t blocks, bool space) {
    Segment segment;
    segment.kind = kind;
    segment.blocks = blocks;
    segment.joliet = space;
    add(segment);
  };
  addBlocks(Segment::Kind::kZeros, kSystemAreaBlocks, false);
  addBlocks(Segment::Kind::kDescriptor, 1, false);
  if (joliet) addBlocks(Segment::Kind::kDescriptor, 1, true);
  addBlocks(Segment::Kind::kTerminator, 1, false);

  // Path-table order: level by level, each directory's subdirectories in
  // record order, so parents are numbered before their children.
  for (bool space : {false, true}) {
    if (space && !joliet) continue;
    Tree& placed = space ? made->jolietTree : made->isoTree;
    placed.directories.push_back(FileTree::kRoot);
    uint64_t bytes = PathTableRecordLength(1);
    for (std::size_t i = 0; i < placed.directories.size(); ++i) {
      NodeLists& directory = nodes[placed.directories[i]].Lists();
      (space ? directory.jolietNumber : directory.isoNumber) = static_cast<uint16_t>(i + 1);
      for (uint32_t kid : space ? directory.jolietOrder : directory.isoOrder) {
        if (!nodes[kid].directory) continue;
        placed.directories.push_back(kid);
        bytes += PathTableRecordLength(tree.RecordIdentifier(kid, space).size());
      }
    }
    placed.pathTableBytes = static_cast<uint32_t>(bytes);
    Segment table;
    table.kind = Segment::Kind::kPathTable;
    table.joliet = space;
    table.blocks = BlocksOf(bytes);
    placed.lPathTable = static_cast<uint32_t>(next);
    add(table);
    table.bigEndian = true;
    placed.mPathTable = static_cast<uint32_t>(next);
    add(table);
  }

  for (bool space : {false, true}) {
    if (space && !joliet) continue;
    for (uint32_t index : (space ? made->jolietTree : made->isoTree).directories) {
      NodeLists& directory = nodes[index].Lists();
      const uint64_t bytes = space ? directory.jolietBytes : directory.isoBytes;
      (space ? directory.jolietBlock : directory.isoBlock) = static_cast<uint32_t>(next);
      Segment segment;
      segment.kind = Segment::Kind::kDirectory;
      segment.joliet = space;
      segment.node = index;
      segment.blocks = BlocksOf(bytes);
      add(segment);
    }
  }

  made->emptyFileBlock = static_cast<uint32_t>(std::min<uint64_t>(next, UINT32_MAX));
  // New files follow each other without gaps: one segment holds them all,
  // whatever their number, and the stream finds each file's blocks from its
  // size.
  for (std::size_t index = 0; index < nodes.size(); ++index) {
    Node& node = nodes[index];
    if (node.directory || node.imported) continue;
    node.dataBlock = made->emptyFileBlock;
    if (node.size == 0) continue;
    node.dataBlock = static_cast<uint32_t>(std::min<uint64_t>(next, UINT32_MAX));
    if (made->segments.back().kind != Segment::Kind::kFile) {
      Segment run;
      run.kind = Segment::Kind::kFile;
      run.node = static_cast<uint32_t>(index);
      add(run);
    }
    const uint64_t blocks = BlocksOf(node.size);
    made->segments.back().blocks += blocks;
    next += blocks;
  }
  if (options.padBlocks > 0) {
    Segment pad;
    pad.blocks = options.padBlocks;
    add(pad);
  }
  if (next > UINT32_MAX) {
    *error = "the image would end past the last block address a disc can have";
    return STARBURN_STATUS_LIMIT_EXCEEDED;
  }
  made->blockCount = next - options.startAddress;
  *layout = std::move(made);
  return STARBURN_OK;
}

void ImageLayout::RecordTime(const Node& node, uint8_t* time) const {
  if (node.imported) {
    std::memcpy(time, node.Placed().importedTime, kRecordTimeSize);
    if (options.recordTimes) return;
  }
  const bool own = options.recordTimes && !node.directory && !node.imported;
  PutRecordTime(time, own ? node.modified : options.creationTime);
}

void ImageLayout::Render(const FileTree& tree, const Segment& segment,
                         std::vector<uint8_t>* out) const {
  out->assign(segment.blocks * kBlockSize, 0);
  switch (segment.kind) {
    case Segment::Kind::kDescriptor:
      RenderDescriptor(tree, segment.joliet, out->data());
      break;
    case Segment::Kind::kTerminator:
      EncodeTerminator(out->data());
      break;
    case Segment::Kind::kPathTable:
      RenderPathTable(tree, segment.joliet, segment.bigEndian, out->data());
      break;
    case Segment::Kind::kDirectory:
      RenderDirectory(tree, segment.node, segment.joliet, out->data());
      break;
    case Segment::Kind::kZeros:
    case Segment::Kind::kFile:
      break;
  }
}

void ImageLayout::RenderDescriptor(const FileTree& tree, bool joliet, uint8_t* block) const {
  const Tree& placed = joliet ? jolietTree : isoTree;
  const NodeLists& root = tree.Nodes()[FileTree::kRoot].Placed();
  VolumeFields fields;
  fields.joliet = joliet;
  if (joliet) {
    fields.volumeId = Ucs2(options.volumeLabel, kVolumeIdBytes);
    fields.publisherId = Ucs2(options.publisher, kLongIdBytes);
    fields.applicationId = Ucs2(options.application, kLongIdBytes);
  } else {
    fields.volumeId = DCharacters(options.volumeLabel, kVolumeIdBytes, false);
    fields.publisherId = DCharacters(options.publisher, kLongIdBytes, true);
    fields.applicationId = DCharacters(options.application, kLongIdBytes, true);
  }
  fields.volumeSpaceSize = static_cast<uint32_t>(options.startAddress + blockCount);
  fields.pathTableSize = placed.pathTableBytes;
  fields.lPathTable = placed.lPathTable;
  fields.mPathTable = placed.mPathTable;
  fields.rootExtent = joliet ? root.jolietBlock : root.isoBlock;
  fields.rootLength = joliet ? root.jolietBytes : root.isoBytes;
  fields.creationTime = options.creationTime;
  EncodeVolumeDescriptor(block, fields);
}

void ImageLayout::RenderPathTable(const FileTree& tree, bool joliet, bool bigEndian,
                                  uint8_t* out) const {
  const std::deque<Node>& nodes = tree.Nodes();
  std::size_t at = 0;
  for (uint32_t index : (joliet ? jolietTree : isoTree).directories) {
    const NodeLists& directory = nodes[index].Placed();
    const NodeLists& parent = nodes[nodes[index].parent].Placed();
    const uint16_t parentNumber = joliet ? parent.jolietNumber : parent.isoNumber;
    const uint32_t extent = joliet ? directory.jolietBlock : directory.isoBlock;
    std::string identifier =
        index == FileTree::kRoot ? std::string(1, '\0') : tree.RecordIdentifier(index, joliet);
    EncodePathTableRecord(out + at, bigEndian, extent, parentNumber,
                          reinterpret_cast<const uint8_t*>(identifier.data()), identifier.size());
    at += PathTableRecordLength(identifier.size());
  }
}

void ImageLayout::RenderDirectory(const FileTree& tree, uint32_t index, bool joliet,
                                  uint8_t* out) const {
  const std::deque<Node>& nodes = tree.Nodes();
  const Node& directory = nodes[index];
  std::size_t at = 0;
  auto put = [&](RecordFields& fields) {
    const std::size_t length = DirectoryRecordLength(fields.identifierLength);
    if (at % kBlockSize + length > kBlockSize) at += kBlockSize - at % kBlockSize;
    EncodeDirectoryRecord(out + at, fields);
    at += length;
  };
  auto directoryRecord = [&](const Node& node, const uint8_t* identifier, std::size_t length) {
    RecordFields fields;
    fields.extent = joliet ? node.Placed().jolietBlock : node.Placed().isoBlock;
    fields.dataLength = joliet ? node.Placed().jolietBytes : node.Placed().isoBytes;
    RecordTime(node, fields.time);
    fields.flags = kFlagDirectory;
    fields.identifier = identifier;
    fields.identifierLength = length;
    put(fields);
  };
  const uint8_t self = kSelfIdentifier;
  const uint8_t parent = kParentIdentifier;
  directoryRecord(directory, &self, 1);
  directoryRecord(nodes[directory.parent], &parent, 1);
  std::vector<Extent> extents;
  for (uint32_t kid : joliet ? directory.JolietOrder() : directory.IsoOrder()) {
    const Node& node = nodes[kid];
    const std::string identifier = tree.RecordIdentifier(kid, joliet);
    const auto* bytes = reinterpret_cast<const uint8_t*>(identifier.data());
    if (node.directory) {
      directoryRecord(node, bytes, identifier.size());
      continue;
    }
    if (node.imported) {
      extents = node.Extents();
      if (extents.empty()) extents.push_back(Extent{emptyFileBlock, 0});
    } else {
      NewFileExtents(node, &extents);
    }
    for (std::size_t i = 0; i < extents.size(); ++i) {
      RecordFields fields;
      fields.extent = extents[i].block;
      fields.dataLength = extents[i].bytes;
      RecordTime(node, fields.time);
      fields.flags = i + 1 < extents.size() ? kFlagMultiExtent : 0;
      fields.identifier = bytes;
      fields.identifierLength = identifier.size();
      put(fields);
    }
  }
}

}  // namespace iso
}  // namespace starburn
