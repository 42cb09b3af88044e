#include "layout/ChildIndex.h"

#include <cassert>
#include <functional>
#include <string_view>

namespace Orlet {

std::size_t ChildIndex::Key(const std::wstring& name) {
  return std::hash<std::wstring_view>{}(name);
}

ChildIndex::Table::iterator ChildIndex::Find(Table& table, const Node* child) {
  const auto range = table.equal_range(Key(child->name));
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second.node == child) return it;
  }
  assert(false && "child is not indexed: changed outside the container's operations");
  return table.end();
}

void ChildIndex::Append(Node* child) {
  std::list<Node*>& siblings = child->parent->children;
  siblings.push_back(child);
  directories[child->parent].emplace(Key(child->name),
                                     Entry{appended++, child, std::prev(siblings.end())});
}

void ChildIndex::Detach(Node* child) {
  Table& table = directories[child->parent];
  const auto it = Find(table, child);
  if (it == table.end()) {
    child->parent->children.remove(child);  // never leave a freed node in the list
    return;
  }
  child->parent->children.erase(it->second.position);
  table.erase(it);
}

void ChildIndex::DropChildren(const Node* directory) { directories.erase(directory); }

void ChildIndex::Rename(Node* child, const std::wstring& name) {
  Table& table = directories[child->parent];
  const auto it = Find(table, child);
  child->name = name;
  if (it == table.end()) return;
  const Entry entry = it->second;
  table.erase(it);
  table.emplace(Key(child->name), entry);
}

void ChildIndex::Clear() { directories.clear(); }

}  // namespace Orlet
