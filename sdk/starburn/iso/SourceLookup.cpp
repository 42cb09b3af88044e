#include "iso/SourceLookup.h"

namespace starburn {
namespace iso {

bool SourceLookup::Enter(const FileTree& tree, const Node& node) {
  const std::string& nodeFolder = tree.SourceFolder(node);
  if (folderPath != &nodeFolder) {
    folderPath = &nodeFolder;
    int code = 0;
    if (!folder.Open(nodeFolder, &code)) folder.Close();
  }
  return folder.IsOpen();
}

bool SourceLookup::Status(const FileTree& tree, const Node& node, FileStatus* out, int* code) {
  return Enter(tree, node) ? folder.StatusOf(tree.SourceName(node), out, code)
                           : StatusOf(tree.Source(node), out, code);
}

bool SourceLookup::Open(const FileTree& tree, const Node& node, SystemFile* file, int* code) {
  return Enter(tree, node)
             ? file->OpenIn(folder, tree.SourceName(node), SystemFile::Mode::kRead, code)
             : file->Open(tree.Source(node), SystemFile::Mode::kRead, code);
}

}  // namespace iso
}  // namespace starburn
