#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <string>
#include <unordered_map>

#include "layout/ContainerCall.h"
#include "layout/FileNameChecker.h"
#include "orlet/FileContainer.h"

namespace Orlet {

// The children of directories by name, so that the name checks of one
// container call cost the same however many siblings there are: a folder of
// twenty thousand files is imported, or an earlier session of that many
// entries mirrored, in time that grows with the entries alone.
//
// The nodes and their children lists are the truth, and hosts write them
// directly; a look-up always answers what a scan of the parent's children
// would (the first match in list order). So the index keeps a directory's
// table only while it knows that table is exact: from a point in one
// container call (ContainerCall) at which the directory has no children,
// through every child the container appends, detaches or renames in that
// call. Any other directory is scanned. Between calls a host may have
// written any node, so every table of an earlier call is dropped when next
// met. (Host code that runs inside a call, a FileContainerObserver asked
// during a folder walk, is the one writer a table does not see: what it
// writes counts from the next call on.)
//
// The index holds no reference that a host's write can invalidate: entries
// are keyed by a hash of the name as it was filed (data of its own, never the
// node's string), hold no iterators into children lists, and are found by
// node through filings of their own, so the container takes every node it
// frees out of the index, whatever the host made of the node's name, parent
// or list.
//
// Owned by its container and used on the container's thread only.
class ChildIndex {
 public:
  using Node = FileContainer::Node;

  // Appends child, whose parent is set, at the end of its parent's children.
  void Append(Node* child);
  // Takes child out of its parent's children (every entry that is child) and
  // out of the index.
  void Detach(Node* child);
  // node is about to be freed: the index lets go of it and of its children.
  void Forget(const Node* node);
  // Gives child a new name; its place among its siblings stays.
  void Rename(Node* child, const std::wstring& name);
  // Forgets every node (the tree below the root is freed as a whole).
  void Clear();

  // The first child of parent, in children order, that checker matches and
  // accept(const Node&) accepts; null when none.
  template <typename Accept>
  Node* First(const Node* parent, const FileNameChecker& checker, Accept accept) {
    if (const Table* table = CurrentTable(parent)) {
      const Entry* first = nullptr;
      const auto range = table->names.equal_range(Key(checker.name));
      for (auto it = range.first; it != range.second; ++it) {
        const Entry& entry = it->second;
        if (checker(*entry.node) && accept(*entry.node) &&
            (first == nullptr || entry.rank < first->rank)) {
          first = &entry;
        }
      }
      return first == nullptr ? nullptr : first->node;
    }
    for (Node* child : parent->children) {
      if (checker(*child) && accept(*child)) return child;
    }
    return nullptr;
  }

  Node* First(const Node* parent, const FileNameChecker& checker) {
    return First(parent, checker, [](const Node&) { return true; });
  }

 private:
  struct Entry {
    uint64_t rank;  // rank of the append: list order among siblings
    Node* node;     // the child
  };
  using Names = std::pmr::unordered_multimap<std::size_t, Entry>;
  // One directory's children by the hash of the name each had when filed.
  struct Table {
    uint64_t epoch;  // the call that made the table
    Names names;     // on the arena
  };
  // Where a child is filed: its directory's table and its key there.
  struct Filing {
    const Node* directory;
    std::size_t key;
  };

  static std::size_t Key(const std::wstring& name);
  // The table of directory that is exact in the current call, made now when
  // directory has no children; null when there is none (then scan).
  Table* CurrentTable(const Node* directory);
  void DropTable(const Node* directory);
  void Unfile(const Node* child);

  // Every entry of the tables and filings, given back whole when the index is
  // cleared: a million entries are a few large blocks that return to the
  // system at once, not a million small ones left among the tree's nodes.
  std::pmr::monotonic_buffer_resource arena;
  std::unordered_map<const Node*, Table> tables;  // by directory
  std::pmr::unordered_map<const Node*, Filing> filings{
      &arena};               // by child: every entry of every table
  uint64_t appended = 0;     // appends filed so far; the next rank
  uint64_t tablesEpoch = 0;  // the call the tables belong to
};

}  // namespace Orlet
