#include "layout/ChildIndex.h"

#include <functional>
#include <string_view>

namespace Orlet {

std::size_t ChildIndex::Key(const std::wstring& name) {
  return std::hash<std::wstring_view>{}(name);
}

ChildIndex::Table* ChildIndex::CurrentTable(const Node* directory) {
  const uint64_t epoch = ContainerCall::Epoch();
  // Tables of an earlier call are never trusted again: all go at once.
  if (epoch != 0 && epoch != tablesEpoch) {
    Clear();
    tablesEpoch = epoch;
  }
  const auto found = tables.find(directory);
  if (found != tables.end()) {
    if (epoch != 0 && found->second.epoch == epoch) return &found->second;
    DropTable(directory);  // an earlier call's: the host may have written since
  }
  // Only a directory without children starts a table: every child it gets
  // from here on in this call passes through Append.
  if (epoch == 0 || !directory->children.empty()) return nullptr;
  return &tables.emplace(directory, Table{epoch, Names(&arena)}).first->second;
}

void ChildIndex::DropTable(const Node* directory) {
  const auto found = tables.find(directory);
  if (found == tables.end()) return;
  for (const auto& [key, entry] : found->second.names) filings.erase(entry.node);
  tables.erase(found);
}

void ChildIndex::Unfile(const Node* child) {
  const auto filing = filings.find(child);
  if (filing == filings.end()) return;
  const auto table = tables.find(filing->second.directory);
  if (table != tables.end()) {
    auto& names = table->second.names;
    const auto range = names.equal_range(filing->second.key);
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second.node == child) {
        names.erase(it);
        break;
      }
    }
  }
  filings.erase(filing);
}

void ChildIndex::Append(Node* child) {
  Node* parent = child->parent;
  Table* table = CurrentTable(parent);
  parent->children.push_back(child);
  if (table == nullptr) return;
  Unfile(child);
  const std::size_t key = Key(child->name);
  table->names.emplace(key, Entry{appended++, child});
  filings[child] = Filing{parent, key};
}

void ChildIndex::Detach(Node* child) {
  child->parent->children.remove(child);
  Unfile(child);
}

void ChildIndex::Forget(const Node* node) {
  Unfile(node);
  DropTable(node);
}

void ChildIndex::Rename(Node* child, const std::wstring& name) {
  const auto filing = filings.find(child);
  const auto table = filing == filings.end() ? tables.end() : tables.find(filing->second.directory);
  child->name = name;
  if (table == tables.end()) return;
  auto& names = table->second.names;
  const auto range = names.equal_range(filing->second.key);
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second.node != child) continue;
    const Entry entry = it->second;
    names.erase(it);
    filing->second.key = Key(name);
    names.emplace(filing->second.key, entry);
    return;
  }
}

void ChildIndex::Clear() {
  tables.clear();
  // The filings' buckets live on the arena too: an empty map, which holds
  // none, takes their place before the arena lets go.
  {
    decltype(filings) empty(&arena);
    filings.swap(empty);
  }
  arena.release();
}

}  // namespace Orlet
