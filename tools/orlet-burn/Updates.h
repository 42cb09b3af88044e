#pragma once

#include <orlet/FileContainer.h>

#include <cstdint>
#include <string>
#include <unordered_map>

#include "Omissions.h"

namespace orletburn {

// --update: the paths of a burn laid over the files the disc already holds.
// An entry whose name the disc's earlier session holds in the same folder is
// not refused as a clash: a folder on both sides is merged entry by entry; a
// file of the same size and modification time as the disc's is left as the
// disc has it; any other entry replaces the disc's one in the new session
// (the earlier sessions still hold it, as they are never written again).
// A file that cannot be read keeps the disc's version and is named as an
// entry that cannot be read.
//
// One object per fill, used on the burn job's thread inside OnFillContainer;
// the container and its nodes are borrowed for each call.
class Updates {
 public:
  using Node = Orlet::FileContainer::Node;
  // The disc's files by their path below its root ("folder/file", the
  // visible names joined by '/'): their recording times, seconds since 1970.
  using DiscTimes = std::unordered_map<std::string, int64_t>;

  // Reads the files' times of the last session of the disc in the drive
  // named deviceName; false with error set when it cannot be read.
  static bool ReadDisc(const std::string& deviceName, DiscTimes* times, std::string* error);

  // times: borrowed, read through the object's life.
  explicit Updates(const DiscTimes& times) : times(times) {}

  // Adds path under parent: through omissions.Add when the disc holds no
  // entry of its name there, else as above. Answers the first refusal, or
  // ResultOk.
  int Add(Orlet::FileContainer& container, Omissions& omissions, const std::string& path,
          Node* parent);

  unsigned Unchanged() const { return unchanged; }
  unsigned Replaced() const { return replaced; }

 private:
  // The imported child of parent named name, or null.
  Node* OnDisc(Node* parent, const std::wstring& name);
  bool SameAsOnDisc(const Node* node, uint64_t size, int64_t modified) const;

  const DiscTimes& times;
  // The imported children of each directory looked into, by name.
  std::unordered_map<const Node*, std::unordered_map<std::wstring, Node*>> importedByName;
  unsigned unchanged = 0;
  unsigned replaced = 0;
};

}  // namespace orletburn
