// The container's side that reads the disk: AddItem with its folder walk,
// FindNode, and the file step.

#include <boost/filesystem/operations.hpp>
#include <boost/system/error_code.hpp>
#include <vector>

#include "layout/ChildIndex.h"
#include "layout/FileNameChecker.h"
#include "layout/SourcePath.h"
#include "orlet/FileContainer.h"
#include "orlet/MediaBurningResult.h"
#include "orlet/Observers.h"
#include "platform/OrletBases.h"

namespace Orlet {

namespace fs = boost::filesystem;

// One folder that a walk is inside, with the folders around it.
struct FileContainer::WalkLevel {
  const fs::path& directory;
  const WalkLevel* up;  // null for the folder named in the host's call
  unsigned depth;       // 1 for the folder named in the host's call
};

namespace {

// Bytes per block of new data on the disc.
constexpr uint64_t kBlockSize = 2048;

// Every name of a folder ("*.*" matches names without a dot as well).
const wchar_t kEveryEntry[] = L"*.*";

bool IsDotEntry(const std::wstring& name) { return name == L"." || name == L".."; }

// The status of path, the error-code form: a failure is a status_error type,
// never an exception.
fs::file_status StatusOf(const fs::path& path) {
  boost::system::error_code error;
  return fs::status(path, error);
}

bool IsMissing(const fs::file_status& status) {
  return status.type() == fs::status_error || status.type() == fs::file_not_found;
}

// Pipes, sockets and devices: opening a pipe for reading waits for a writer,
// so their size is not read (they have none to read) and they count 0 bytes.
bool IsSpecialFile(const fs::file_status& status) {
  switch (status.type()) {
    case fs::block_file:
    case fs::character_file:
    case fs::fifo_file:
    case fs::socket_file:
      return true;
    default:
      return false;
  }
}

}  // namespace

int FileContainer::AddItem(const std::wstring& sourcePath, Node* parent, Node** newNode,
                           FileContainerObserver* observer) {
  return AddItemWalk(sourcePath, parent, newNode, observer, nullptr);
}

int FileContainer::AddItemWalk(const std::wstring& sourcePath, Node* parent, Node** newNode,
                               FileContainerObserver* observer, const WalkLevel* up) {
  if (parent == nullptr || parent->type == NodeFile) return ResultInvalidArgument;
  if (observer != nullptr && observer->OnAddItem() == 0) return ResultCancelled;
  const fs::path path = ToSourcePath(sourcePath);
  // One status query decides both whether the path exists and what it is, so
  // a path that changes meanwhile is never taken for what it is not.
  const fs::file_status status = StatusOf(path);
  if (IsMissing(status)) return ResultSourceNotFound;
  const std::wstring name = FromSourcePath(path.filename());
  if (status.type() == fs::directory_file) {
    return AddDirWalk(sourcePath, name, parent, newNode, observer, up);
  }
  const uint64_t size = IsSpecialFile(status) ? 0 : GetFileSizeInternal(sourcePath);
  const int result = AddFileOfSize(sourcePath, size, name, parent, newNode);
  if (result != ResultOk && observer != nullptr) observer->OnAddFileFailed(sourcePath, result);
  return result;
}

int FileContainer::AddDirInternal(const std::wstring& sourcePath, const std::wstring& name,
                                  Node* parent, Node** newNode, FileContainerObserver* observer) {
  return AddDirWalk(sourcePath, name, parent, newNode, observer, nullptr);
}

int FileContainer::AddDirWalk(const std::wstring& sourcePath, const std::wstring& name,
                              Node* parent, Node** newNode, FileContainerObserver* observer,
                              const WalkLevel* up) {
  const fs::path path = ToSourcePath(sourcePath);
  const unsigned depth = up == nullptr ? 1 : up->depth + 1;
  if (depth > kMaxImportDepth) return ResultPathTooDeep;
  // A folder that is one of the folders the walk is inside (reached again
  // through a symbolic link or a bind mount) would be walked without end: it
  // is left out like a folder that cannot be added.
  for (const WalkLevel* level = up; level != nullptr; level = level->up) {
    boost::system::error_code error;
    if (fs::equivalent(path, level->directory, error)) return ResultFailed;
  }
  Node* directory = nullptr;
  const int created = CreateDir(name, parent, &directory);
  if (created != ResultOk) return created;

  const WalkLevel here{path, up, depth};
  FileFind find;
  if (find.FindFirst(sourcePath, kEveryEntry) != 0) {
    do {
      const std::wstring entry = find.GetFileName();
      if (IsDotEntry(entry)) continue;
      fs::path entryPath = path;
      entryPath /= ToSourcePath(entry);
      Node* added = nullptr;
      // Entries that fail are left out; a cancellation undoes this folder.
      if (AddItemWalk(FromSourcePath(entryPath), directory, &added, observer, &here) ==
          ResultCancelled) {
        RemoveItem(directory);
        return ResultCancelled;
      }
    } while (find.FindNext() != 0);
  }
  if (newNode != nullptr) *newNode = directory;
  return ResultOk;
}

int FileContainer::AddFileInternal(const std::wstring& sourcePath, const std::wstring& name,
                                   Node* parent, Node** newNode) {
  return AddFileOfSize(sourcePath, GetFileSizeInternal(sourcePath), name, parent, newNode);
}

int FileContainer::AddFileOfSize(const std::wstring& sourcePath, uint64_t size,
                                 const std::wstring& name, Node* parent, Node** newNode) {
  if (parent == nullptr || name.empty()) return ResultInvalidArgument;
  const int restriction = CheckFileRestriction(size);
  if (restriction != ResultOk) return restriction;
  if (childIndex->First(parent, FileNameChecker(name)) != nullptr) return ResultAlreadyExists;
  auto* node = new Node;
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
  if (root == nullptr) return nullptr;
  fs::path current = ToSourcePath(path);
  if (IsMissing(StatusOf(current))) return nullptr;
  if (start == nullptr) start = root;
  // Climb from the last element to the one that carries start's name.
  std::vector<std::wstring> elements;  // last element first
  for (;;) {
    std::wstring element = FromSourcePath(current.filename());
    if (element.empty()) return nullptr;
    const bool atStart = element == start->name;
    elements.push_back(std::move(element));
    if (atStart) break;
    fs::path up = current.parent_path();
    if (up == current) return nullptr;  // a root that is its own parent
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
