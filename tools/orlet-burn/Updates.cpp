#include "Updates.h"

#include <orlet/MediaBurningResult.h>

#include <cstring>
#include <functional>
#include <vector>

#include "DiscReader.h"
#include "System.h"
#include "Text.h"

namespace orletburn {

namespace {

constexpr char kSeparator = '/';

// node's path below the container's root, names joined by '/'.
std::string PathBelowRoot(const Orlet::FileContainer::Node* node) {
  std::vector<std::string> names;
  for (; node->parent != nullptr; node = node->parent) names.push_back(Utf8(node->name));
  std::string path;
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    if (!path.empty()) path += kSeparator;
    path += *name;
  }
  return path;
}

}  // namespace

bool Updates::ReadDisc(const std::string& deviceName, DiscTimes* times, std::string* error) {
  DiscReader disc;
  if (!disc.Open(deviceName)) {
    *error = disc.error;
    return false;
  }
  const std::function<void(void*, const std::string&)> walk = [&](void* folder,
                                                                  const std::string& prefix) {
    for (const auto& [name, kid] : disc.Kids(folder)) {
      int64_t time = 0;
      if (disc.IsDirectory(kid)) {
        walk(kid, prefix + name + kSeparator);
      } else if (disc.TimeOf(kid, &time)) {
        times->emplace(prefix + name, time);
      }
    }
  };
  walk(disc.Root(), "");
  return true;
}

Updates::Node* Updates::OnDisc(Node* parent, const std::wstring& name) {
  auto known = importedByName.find(parent);
  if (known == importedByName.end()) {
    known = importedByName.emplace(parent, std::unordered_map<std::wstring, Node*>{}).first;
    for (Node* child : parent->children) {
      if (child->imported != 0) known->second.emplace(child->name, child);
    }
  }
  const auto found = known->second.find(name);
  return found == known->second.end() ? nullptr : found->second;
}

bool Updates::SameAsOnDisc(const Node* node, uint64_t size, int64_t modified) const {
  if (node->size != size) return false;
  const auto time = times.find(PathBelowRoot(node));
  return time != times.end() && time->second == modified;
}

int Updates::Add(Orlet::FileContainer& container, Omissions& omissions, const std::string& path,
                 Node* parent) {
  const std::string name = LastElement(path);
  Node* earlier = name == "." || name == ".." ? nullptr : OnDisc(parent, Wide(name));
  const EntryStatus status = earlier == nullptr ? EntryStatus{} : StatusOf(path);
  if (earlier == nullptr || status.error != 0) {
    return omissions.Add(container, path, parent);  // it names what cannot be read
  }
  const bool folder = status.kind == EntryStatus::kFolder;
  if (folder && earlier->type == Orlet::FileContainer::NodeDirectory) {
    int first = Orlet::ResultOk;
    std::vector<std::string> names;
    const int listed = ListFolder(path, &names);
    if (listed != 0) omissions.Record(path, ErrorWords(listed, false), true);
    for (const std::string& entry : names) {
      const int code = Add(container, omissions, JoinPath(path, entry), earlier);
      if (first == Orlet::ResultOk) first = code;
    }
    return first;
  }
  if (status.kind == EntryStatus::kFile && earlier->type == Orlet::FileContainer::NodeFile) {
    if (SameAsOnDisc(earlier, status.size, status.modified)) {
      ++unchanged;
      return Orlet::ResultOk;
    }
    // The disc's version goes only once the new one can be read.
    const int error = TryOpenForReading(path);
    if (error != 0) {
      omissions.Record(path, ErrorWords(error, false) + " (the disc keeps its earlier version)",
                       true);
      return Orlet::ResultOk;
    }
  }
  container.RemoveItem(earlier);
  importedByName[parent].erase(Wide(name));
  ++replaced;
  return omissions.Add(container, path, parent);
}

}  // namespace orletburn
