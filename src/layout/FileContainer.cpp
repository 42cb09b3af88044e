// The container's tree: roots, directories, imported entries, removal,
// renaming and the running totals.

#include "orlet/FileContainer.h"

#include <vector>

#include "layout/ChildIndex.h"
#include "layout/ContainerCall.h"
#include "layout/FileNameChecker.h"
#include "layout/StoredNode.h"
#include "orlet/MediaBurningResult.h"

namespace Orlet {

namespace {

using Node = FileContainer::Node;

// Blocks that a directory made under ImageFileSystemUdf adds to the totals.
constexpr uint32_t kUdfDirectoryBlocks = 2;

const wchar_t kNewDirName[] = L"NewDir";

// Adds (or, with subtract, takes away) the totals of node to every ancestor
// from first up to the root.
void ApplyTotals(Node* first, const Node& node, bool subtract) {
  for (Node* ancestor = first; ancestor != nullptr; ancestor = ancestor->parent) {
    if (subtract) {
      ancestor->dirCount -= node.dirCount;
      ancestor->fileCount -= node.fileCount;
      ancestor->blockCount -= node.blockCount;
      ancestor->size -= node.size;
    } else {
      ancestor->dirCount += node.dirCount;
      ancestor->fileCount += node.fileCount;
      ancestor->blockCount += node.blockCount;
      ancestor->size += node.size;
    }
  }
}

bool IsDirectory(const Node& node) { return node.type == FileContainer::NodeDirectory; }

}  // namespace

FileContainer::FileContainer() : childIndex(std::make_unique<ChildIndex>()) {}

FileContainer::~FileContainer() {
  if (root != nullptr) FreeTree(root, false);
}

void FileContainer::FreeTree(Node* node, bool forget) {
  // Iterative, so that a tree of any depth is freed without deep recursion.
  std::vector<Node*> pending{node};
  while (!pending.empty()) {
    Node* current = pending.back();
    pending.pop_back();
    if (forget) childIndex->Forget(current);
    pending.insert(pending.end(), current->children.begin(), current->children.end());
    delete &StoredNode::Of(*current);  // every node is made as one
  }
}

void FileContainer::Attach(Node* node, Node* parent, Node** newNode) {
  node->parent = parent;
  ApplyTotals(parent, *node, false);
  childIndex->Append(node);
  if (newNode != nullptr) *newNode = node;
}

uint64_t FileContainer::GetTotalSize() {
  return root == nullptr ? 0 : static_cast<uint64_t>(root->blockCount) * 2048;
}

uint32_t FileContainer::GetDirCounts() { return root == nullptr ? 0 : root->dirCount; }

uint32_t FileContainer::GetFileCounts() { return root == nullptr ? 0 : root->fileCount; }

FileContainer::Node* FileContainer::AddRoot(std::wstring name, wchar_t driveLetter) {
  if (root != nullptr) {
    childIndex->Clear();
    FreeTree(root, false);
    root = nullptr;
  }
  auto* node = new StoredNode;
  node->type = NodeDirectory;
  node->name = std::move(name);
  node->sourcePath = {driveLetter, L':', L'\\'};
  root = node;
  return root;
}

FileContainer::Node* FileContainer::GetRoot() const { return root; }

int FileContainer::CreateDir(const std::wstring& name, Node* parent, Node** newNode) {
  const ContainerCall call(childIndex.get());
  if (parent == nullptr || name.empty()) return ResultInvalidArgument;
  const int restriction = CheckDirRestrictions(name, parent);
  if (restriction != ResultOk) return restriction;
  if (childIndex->First(parent, FileNameChecker(name)) != nullptr) return ResultAlreadyExists;
  return CreateDirInternal(name, parent, newNode);
}

int FileContainer::CreateDirInternal(const std::wstring& name, Node* parent, Node** newNode) {
  if (newNode != nullptr) *newNode = nullptr;
  if (parent == nullptr) return ResultInvalidArgument;
  auto* node = new StoredNode;
  node->type = NodeDirectory;
  node->name = name;
  node->dirCount = 1;
  node->blockCount = imageFileSystem == ImageFileSystemUdf ? kUdfDirectoryBlocks : 0;
  Attach(node, parent, newNode);
  return ResultOk;
}

int FileContainer::NewDir(Node* parent, Node** newNode) {
  const ContainerCall call(childIndex.get());
  if (parent == nullptr) return ResultInvalidArgument;
  if (imageFileSystem < ImageFileSystemIso9660 || imageFileSystem > ImageFileSystemJoliet) {
    return ResultNotSupported;
  }
  // "NewDir", then "NewDir2", "NewDir3", ...: the lowest name that no
  // directory in parent carries (files do not count).
  FileNameChecker candidate{kNewDirName};
  for (unsigned number = 2; childIndex->First(parent, candidate, IsDirectory) != nullptr;
       ++number) {
    candidate.name = kNewDirName + std::to_wstring(number);
  }
  return CreateDirInternal(candidate.name, parent, newNode);
}

int FileContainer::ImportFile(const std::wstring& sourcePath, const std::wstring& name,
                              unsigned long long size, Node* parent, Node** newNode) {
  const ContainerCall call(childIndex.get());
  if (parent == nullptr || name.empty()) return ResultInvalidArgument;
  if (childIndex->First(parent, FileNameChecker(name)) != nullptr) return ResultAlreadyExists;
  auto* node = new StoredNode;
  node->type = NodeFile;
  node->imported = 1;
  node->fileCount = 1;
  node->size = size;
  node->name = name;
  node->sourcePath = sourcePath;
  Attach(node, parent, newNode);
  return ResultOk;
}

void FileContainer::RemoveItem(Node*& node) {
  if (node == nullptr) return;
  if (node == root) {
    RemoveAll();
    return;
  }
  ApplyTotals(node->parent, *node, true);
  childIndex->Detach(node);
  FreeTree(node, true);
  node = nullptr;
}

void FileContainer::RemoveAll() {
  if (root == nullptr) return;
  childIndex->Clear();
  for (Node* child : root->children) FreeTree(child, false);
  root->children.clear();
  root->dirCount = 0;
  root->fileCount = 0;
  root->blockCount = 0;
  root->size = 0;
}

int FileContainer::FindNodeFromName(const std::wstring& /*name*/, std::list<Node*>& /*found*/,
                                    Node* /*start*/) {
  return ResultFailed;
}

void FileContainer::SetImageFileSystem(ImageFileSystem value) { imageFileSystem = value; }

ImageFileSystem FileContainer::GetImageFileSystem() { return imageFileSystem; }

int FileContainer::RenameItem(Node* node, const std::wstring& name) {
  const ContainerCall call(childIndex.get());
  if (node == nullptr) return 0;
  if (node == root) return RenameRoot(name);
  return RenameItemInternal(node, name);
}

int FileContainer::RenameRoot(const std::wstring& name) {
  if (root == nullptr || name.empty()) return 0;
  root->name = name;
  return 1;
}

int FileContainer::RenameItemInternal(Node* node, const std::wstring& name) {
  const ContainerCall call(childIndex.get());
  if (node == nullptr || node->parent == nullptr || name.empty()) return 0;
  const auto sameTypeSibling = [node](const Node& other) {
    return &other != node && other.type == node->type;
  };
  if (childIndex->First(node->parent, FileNameChecker(name), sameTypeSibling) != nullptr) return 0;
  childIndex->Rename(node, name);
  return 1;
}

}  // namespace Orlet
