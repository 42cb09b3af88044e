#pragma once

// Finds new files' sources by their name in their folder. The last folder
// stays open while its files follow one another, as a walk adds them, so a
// lookup walks one path element instead of the whole path.

#include <string>

#include "common/SystemFile.h"
#include "iso/FileTree.h"

namespace starburn {
namespace iso {

// One per thread: it holds the folder it last opened. A folder that cannot be
// opened (gone, or no descriptor left) leaves its files to a lookup by the
// whole path, which then says what is wrong; a file is never taken for
// missing because its folder could not be held.
class SourceLookup {
 public:
  // The status of node's source, following links; the tree must be the one
  // node belongs to, and must outlive the lookups that name it.
  bool Status(const FileTree& tree, const Node& node, FileStatus* out, int* code);
  // Opens node's source into file, for reading.
  bool Open(const FileTree& tree, const Node& node, SystemFile* file, int* code);

 private:
  // Opens node's folder when it is not the one held; true when it is held.
  bool Enter(const FileTree& tree, const Node& node);

  SystemFolder folder;
  // The folder string (owned by the tree) of the last lookup, or null.
  const std::string* folderPath = nullptr;
};

}  // namespace iso
}  // namespace starburn
