#include "layout/ChildIndex.h"

#include <cassert>
#include <functional>
#include <string_view>

namespace Orlet {

std::size_t ChildIndex::Key(const Node* parent, const std::wstring& name) {
  // The golden-ratio multiplier spreads the pointer's bits (nodes are aligned
  // heap blocks) before they are mixed with the name's hash.
  constexpr uint64_t kSpread = 0x9E3779B97F4A7C15ULL;
  const auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(parent));
  return std::hash<std::wstring_view>{}(name) ^ static_cast<std::size_t>(address * kSpread);
}

ChildIndex::Entries::iterator ChildIndex::Find(const Node* node) {
  const auto range = entries.equal_range(Key(node->parent, node->name));
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second.node == node) return it;
  }
  assert(false && "node is not indexed: changed outside the container's operations");
  return entries.end();
}

void ChildIndex::Append(Node* child) {
  std::list<Node*>& siblings = child->parent->children;
  siblings.push_back(child);
  entries.emplace(Key(child->parent, child->name),
                  Entry{appended++, child, std::prev(siblings.end())});
}

void ChildIndex::Detach(Node* child) {
  const auto it = Find(child);
  if (it == entries.end()) {
    child->parent->children.remove(child);  // never leave a freed node in the list
    return;
  }
  child->parent->children.erase(it->second.position);
  entries.erase(it);
}

void ChildIndex::Forget(const Node* node) {
  const auto it = Find(node);
  if (it != entries.end()) entries.erase(it);
}

void ChildIndex::Rename(Node* child, const std::wstring& name) {
  const auto it = Find(child);
  if (it == entries.end()) {
    child->name = name;
    return;
  }
  const Entry entry = it->second;
  entries.erase(it);
  child->name = name;
  entries.emplace(Key(child->parent, child->name), entry);
}

void ChildIndex::Clear() { entries.clear(); }

}  // namespace Orlet
