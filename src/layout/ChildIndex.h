#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>

#include "layout/FileNameChecker.h"
#include "orlet/FileContainer.h"

namespace Orlet {

// The children of every directory of one container, by name, so that a name
// look-up costs the same however many siblings there are. The container
// appends, detaches and renames children only through this index, which
// keeps each parent's children list in step: a child is appended at the end
// of the list and keeps its place until it is removed, and a look-up answers
// the first match in list order, exactly as a scan of the list would.
//
// One table per directory (so that a folder's look-ups stay in memory that
// the folder's own import has just touched), keyed by a hash of the name; the
// nodes themselves are the truth, and FileNameChecker decides every match.
// Owned by its container and used on the container's thread only.
class ChildIndex {
 public:
  using Node = FileContainer::Node;

  // Appends child, whose parent is set, at the end of its parent's children.
  void Append(Node* child);
  // Takes child out of its parent's children and out of the index.
  void Detach(Node* child);
  // Drops the table of directory's children: they are freed with it.
  void DropChildren(const Node* directory);
  // Gives child a new name; its place among its siblings stays.
  void Rename(Node* child, const std::wstring& name);
  // Forgets every node (the tree below the root is freed as a whole).
  void Clear();

  // The first child of parent, in children order, that checker matches and
  // accept(const Node&) accepts; null when none.
  template <typename Accept>
  Node* First(const Node* parent, const FileNameChecker& checker, Accept accept) const {
    const auto table = directories.find(parent);
    if (table == directories.end()) return nullptr;
    const Entry* first = nullptr;
    const auto range = table->second.equal_range(Key(checker.name));
    for (auto it = range.first; it != range.second; ++it) {
      const Entry& entry = it->second;
      if (!checker(*entry.node) || !accept(*entry.node)) continue;
      if (first == nullptr || entry.order < first->order) first = &entry;
    }
    return first == nullptr ? nullptr : first->node;
  }

  Node* First(const Node* parent, const FileNameChecker& checker) const {
    return First(parent, checker, [](const Node&) { return true; });
  }

 private:
  struct Entry {
    uint64_t order;                       // rank of the append: list order among siblings
    Node* node;                           // the child
    std::list<Node*>::iterator position;  // its place in the parent's children
  };
  // One directory's children by the hash of their names.
  using Table = std::unordered_multimap<std::size_t, Entry>;

  static std::size_t Key(const std::wstring& name);
  // The entry of child in its parent's table; null when it is not indexed.
  Table::iterator Find(Table& table, const Node* child);

  std::unordered_map<const Node*, Table> directories;
  uint64_t appended = 0;  // appends so far; the next child's order
};

}  // namespace Orlet
