#pragma once

// The logical tree of an image: directories and files with one identifier per
// name space, kept unique among siblings. Memory grows with the number of
// entries only; file data stays in the source files.
//
// Not thread-safe: the owning image-tree handle is used by one thread at a
// time.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "iso/Ecma119.h"
#include "iso/NameIndex.h"
#include "iso/NamePolicy.h"
#include "iso/TextArena.h"
#include "starburn/StarBurn.h"

namespace starburn {
namespace iso {

// A run of blocks holding part of a file.
struct Extent {
  uint32_t block = 0;
  uint32_t bytes = 0;
};

// What only some nodes need: a directory's kids, record orders and placement,
// an imported entry's extents and date. Kept apart, so that a new file (most
// nodes of any tree) carries one null pointer instead.
struct NodeLists {
  std::vector<uint32_t> kids;  // in the order they were added
  // Placement by the last layout (see ImageLayout).
  std::vector<uint32_t> isoOrder;  // a directory's kids in record order
  std::vector<uint32_t> jolietOrder;
  uint32_t isoBlock = 0;  // a directory's extent in the ISO 9660 tree
  uint32_t isoBytes = 0;
  uint32_t jolietBlock = 0;  // and in the Joliet tree
  uint32_t jolietBytes = 0;
  uint16_t isoNumber = 0;  // a directory's number in the path tables
  uint16_t jolietNumber = 0;
  std::vector<Extent> extents;                 // an imported file's extents
  uint8_t importedTime[kRecordTimeSize] = {};  // an imported entry's recording date
  // A directory's next number to try for a clashing kid's name, per space
  // (ISO 9660, Joliet).
  std::array<uint32_t, 2> nextNumber = {1, 1};
};

// One entry of the tree. Its name is kept once, as given, in the tree's name
// arena; its identifiers in the ISO 9660 and Joliet spaces are the policies'
// mappings of that name, made when they are needed, except where a clash made
// them differ (then the tree keeps them apart, see FileTree::Identifier).
struct Node {
  uint32_t parent = 0;  // the root is its own parent
  uint32_t name = 0;    // offset of the name (UTF-8, zero-ended) in the name arena
  // A new file's source path, split after its last '/' (FileTree::Source
  // joins it): the folder part, kept once for all files of that folder, and
  // the offset of the rest in the name arena.
  uint32_t sourceFolder = 0;
  uint32_t sourceName = 0;
  uint64_t size = 0;       // a file's size in bytes
  int64_t modified = 0;    // a new file's modification time (seconds since 1970)
  uint32_t slot = 0;       // this node's place in its parent's kids
  uint32_t dataBlock = 0;  // a new file's first block, placed by the last layout
  // 0: the identifier is the policy's mapping of the name; else 1 + its
  // index among the tree's kept identifiers.
  uint32_t isoKept = 0;
  uint32_t jolietKept = 0;
  bool directory = false;
  bool imported = false;  // read from an earlier session: its data stays where it is
  bool removed = false;   // an imported entry taken out of the tree (FileTree::RemoveImported)

  std::unique_ptr<NodeLists> lists;  // directories and imported entries only

  const std::vector<uint32_t>& Kids() const { return lists ? lists->kids : kNoKids; }
  const std::vector<uint32_t>& IsoOrder() const { return lists ? lists->isoOrder : kNoKids; }
  const std::vector<uint32_t>& JolietOrder() const { return lists ? lists->jolietOrder : kNoKids; }
  const std::vector<Extent>& Extents() const { return lists ? lists->extents : kNoExtents; }
  // The lists, made on first use.
  NodeLists& Lists() {
    if (!lists) lists = std::make_unique<NodeLists>();
    return *lists;
  }
  // A directory's lists (every directory has them).
  const NodeLists& Placed() const { return *lists; }

 private:
  static const std::vector<uint32_t> kNoKids;
  static const std::vector<Extent> kNoExtents;
};

class FileTree {
 public:
  // The root is node 0.
  static constexpr uint32_t kRoot = 0;
  // Path tables number directories with 16 bits.
  static constexpr std::size_t kMaxDirectories = 65535;
  // How often a host is asked to rewrite one clashing name before the tree
  // makes it unique itself: a rewrite that still clashes (or no longer fits)
  // gets this many more chances, so a host that always answers the same way
  // cannot make the tree loop.
  static constexpr int kMaxRewriteRounds = 4;

  FileTree(bool level2, bool joliet);

  bool HasJoliet() const { return joliet != nullptr; }
  const NamePolicy& IsoPolicy() const { return iso; }
  const NamePolicy* JolietPolicy() const { return joliet.get(); }

  std::deque<Node>& Nodes() { return nodes; }
  const std::deque<Node>& Nodes() const { return nodes; }
  bool IsNode(uint64_t index) const { return index < nodes.size(); }
  std::size_t DirectoryCount() const { return directories; }
  // True when only the root exists.
  bool IsEmpty() const { return nodes.size() == 1; }

  // Asks the host to rewrite identifier (ISO 9660 when joliet is false);
  // answers true with the host's name in place when it did.
  using RewriteQuestion = std::function<bool(bool joliet, std::u16string* name)>;

  // An identifier chosen for a new child; mapped when it is the policy's
  // mapping of the child's name (no clash was resolved), so that Insert need
  // not map the name again to know whether to keep it.
  struct Choice {
    std::u16string identifier;
    bool mapped = false;
  };

  // Chooses the identifier of a new child `name` of parent in one space:
  // the policy's mapping; on a clash with a sibling the host is asked
  // (ask may be empty) up to kMaxRewriteRounds times, each answer mapped and
  // checked again; then the tree numbers the name itself.
  // STARBURN_STATUS_NAME_CLASH only when no number is free.
  StarBurnStatus ChooseIdentifier(bool jolietSpace, uint32_t parent, const std::u16string& name,
                                  bool directory, const RewriteQuestion& ask, Choice* chosen);

  // Appends node named name under its parent with the identifiers chosen by
  // ChooseIdentifier (jolietChoice is ignored without Joliet). Answers its
  // index, or kNoIndex when the name arena, addressed with 32 bits, is full.
  uint32_t Insert(Node node, const std::u16string& name, const Choice& isoChoice,
                  const Choice& jolietChoice);
  static constexpr uint32_t kNoIndex = UINT32_MAX;

  // Takes an imported node, with what lies below it, out of its parent's kids:
  // the new session no longer holds it, and its identifiers are free again.
  // Its data stays where it is on the disc, for the earlier sessions. The
  // node keeps its index (handles stay valid) but is no longer a kid.
  void RemoveImported(uint32_t index);

  // A node's identifier in one space (ISO 9660 without version suffix).
  std::u16string Identifier(uint32_t index, bool jolietSpace) const;
  // The bytes of a node's identifier in one tree's records: ISO 9660 with
  // ";1" for files, Joliet in big-endian UCS-2.
  std::string RecordIdentifier(uint32_t index, bool jolietSpace) const;
  // The size of those bytes for a node's identifier, without making them.
  static std::size_t RecordIdentifierSize(const std::u16string& identifier, bool jolietSpace,
                                          bool directory);

  // Records node's source path (a new file's). False when the tree's name
  // arena, addressed with 32 bits, is full.
  bool SetSource(Node& node, const char* path);
  // A new file's source path as it was added.
  std::string Source(const Node& node) const;
  // Its two parts: the folder, with its separator (the same string for every
  // file of that folder), and the name in it.
  const std::string& SourceFolder(const Node& node) const {
    return sourceFolders[node.sourceFolder];
  }
  const char* SourceName(const Node& node) const { return arena.At(node.sourceName); }

  // The display name: the Joliet identifier where the tree has Joliet, else
  // the ISO 9660 one without its separator dot.
  std::u16string DisplayName(uint32_t index) const;
  // The identity among siblings: the ISO 9660 identifier with ";1" for files.
  std::string FirstName(uint32_t index) const;

 private:
  std::u16string Name(const Node& node) const;
  bool Taken(bool jolietSpace, uint32_t parent, const std::u16string& identifier) const;
  // The identifier as siblings compare it: an ISO 9660 file's separator dot
  // left out, so that "A." (a file) and "A" (a directory) clash.
  static std::u16string_view Bare(bool jolietSpace, std::u16string_view identifier);
  static uint64_t Hash(uint32_t parent, std::u16string_view bare);

  NamePolicy iso;
  std::unique_ptr<NamePolicy> joliet;
  // Identifiers that are not the mapping of their node's name (a clash was
  // resolved), per space.
  std::vector<std::u16string> isoKept;
  std::vector<std::u16string> jolietKept;
  // Source folders, each once (a deque: the strings never move, so the index
  // may view them), and the rest of every source path, each ended by a zero.
  std::deque<std::string> sourceFolders;
  std::unordered_map<std::string_view, uint32_t> sourceFolderIndex;
  // Names and the rest of source paths.
  TextArena arena;
  std::deque<Node> nodes;
  std::size_t directories = 1;
  // Every node by the hash of its parent and bare identifier, per space; a
  // hit is confirmed against the node itself, so the index holds no names.
  NameIndex isoTaken;
  NameIndex jolietTaken;
};

}  // namespace iso
}  // namespace starburn
