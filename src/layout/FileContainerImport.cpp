// The container's side that reads the disk: AddItem and its folder step (see
// FolderWalk), the file step, and FindNode.

#include <vector>

#include "layout/ChildIndex.h"
#include "layout/ContainerCall.h"
#include "layout/FileNameChecker.h"
#include "layout/FolderWalk.h"
#include "layout/SourcePath.h"
#include "layout/StoredNode.h"
#include "orlet/FileContainer.h"
#include "orlet/MediaBurningResult.h"
#include "platform/OrletBases.h"

namespace Orlet {

namespace {

// Bytes per block of new data on the disc.
constexpr uint64_t kBlockSize = 2048;

}  // namespace

int FileContainer::AddItem(const std::wstring& sourcePath, Node* parent, Node** newNode,
                           FileContainerObserver* observer) {
  const ContainerCall call(childIndex.get());
  return FolderWalk(*this, observer).AddItem(sourcePath, parent, newNode);
}

int FileContainer::AddDirInternal(const std::wstring& sourcePath, const std::wstring& name,
                                  Node* parent, Node** newNode, FileContainerObserver* observer) {
  const ContainerCall call(childIndex.get());
  return FolderWalk(*this, observer).AddDir(sourcePath, name, parent, newNode);
}

int FileContainer::AddFileInternal(const std::wstring& sourcePath, const std::wstring& name,
                                   Node* parent, Node** newNode) {
  const ContainerCall call(childIndex.get());
  return AddFileOfSize(sourcePath, GetFileSizeInternal(sourcePath), name, parent, newNode);
}

int FileContainer::AddFileOfSize(const std::wstring& sourcePath, uint64_t size,
                                 const std::wstring& name, Node* parent, Node** newNode) {
  if (parent == nullptr || name.empty()) return ResultInvalidArgument;
  const int restriction = CheckFileRestriction(size);
  if (restriction != ResultOk) return restriction;
  if (childIndex->First(parent, FileNameChecker(name)) != nullptr) return ResultAlreadyExists;
  auto* node = new StoredNode;
  node->type = NodeFile;
  node->fileCount = 1;
  node->size = size;
  node->blockCount = static_cast<uint32_t>((size + kBlockSize - 1) / kBlockSize);
  node->name = name;
  node->sourcePath = sourcePath;
  Attach(node, parent, newNode);
  return ResultOk;
}

uint64_t FileContainer::GetFileSizeInternal(const std::wstring& path) {
  FileIo file;
  if (file.Open(path, kGenericRead, kShareRead, kOpenExisting) == 0) return 0;
  return file.GetFileSize();
}

FileContainer::Node* FileContainer::FindNode(const std::wstring& path, Node* start) {
  const ContainerCall call(childIndex.get());
  if (root == nullptr) return nullptr;
  SourcePath current = ToSourcePath(path);
  if (!SourceExists(current)) return nullptr;
  if (start == nullptr) start = root;
  // Climb from the last element to the one that carries start's name.
  std::vector<std::wstring> elements;  // last element first
  for (;;) {
    std::wstring element = FromSourcePath(current.filename());
    if (element.empty()) return nullptr;
    const bool atStart = element == start->name;
    elements.push_back(std::move(element));
    if (atStart) break;
    SourcePath up = ParentOf(current);
    if (up.empty()) return nullptr;
    current = std::move(up);
  }
  // Then walk down from start, one child per element.
  Node* node = start;
  for (auto element = elements.rbegin() + 1; element != elements.rend(); ++element) {
    node = childIndex->First(node, FileNameChecker(*element));
    if (node == nullptr) return nullptr;
  }
  return node;
}

}  // namespace Orlet
