#include "layout/FolderWalk.h"

#include <boost/filesystem/operations.hpp>
#include <boost/system/error_code.hpp>

#include "layout/SourcePath.h"
#include "orlet/MediaBurningResult.h"
#include "orlet/Observers.h"
#include "platform/OrletBases.h"

namespace Orlet {

namespace fs = boost::filesystem;

namespace {

// Every name of a folder ("*.*" matches names without a dot as well).
const wchar_t kEveryEntry[] = L"*.*";

// The separator that path joins put between a folder and its entries.
constexpr wchar_t kSeparator = L'/';

bool IsDotEntry(const std::wstring& name) { return name == L"." || name == L".."; }

// Pipes, sockets and devices. Opening a pipe for reading waits for a writer,
// so their size is not read (they have none) and they count 0 bytes.
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

FolderWalk::FolderWalk(FileContainer& container, FileContainerObserver* observer)
    : container(container), observer(observer) {}

int FolderWalk::AddItem(const std::wstring& sourcePath, Node* parent, Node** newNode) {
  const fs::path path = ToSourcePath(sourcePath);
  return AddItemAt(Source{sourcePath, path}, nullptr, parent, newNode, nullptr);
}

int FolderWalk::AddDir(const std::wstring& sourcePath, const std::wstring& name, Node* parent,
                       Node** newNode) {
  const fs::path path = ToSourcePath(sourcePath);
  return AddDirAt(Source{sourcePath, path}, name, parent, newNode, nullptr);
}

int FolderWalk::AddItemAt(const Source& source, const std::wstring* name, Node* parent,
                          Node** newNode, const Level* up) {
  if (parent == nullptr || parent->type == FileContainer::NodeFile) return ResultInvalidArgument;
  if (observer != nullptr && observer->OnAddItem() == 0) return ResultCancelled;
  // One status query (the error-code form: a failure is a type, never an
  // exception) decides both whether the path exists and what it is, so a
  // path that changes meanwhile is never taken for what it is not.
  boost::system::error_code error;
  const fs::file_status status = fs::status(source.path, error);
  if (status.type() == fs::status_error || status.type() == fs::file_not_found) {
    return ResultSourceNotFound;
  }
  const std::wstring ownName = name == nullptr ? FromSourcePath(source.path.filename()) : L"";
  const std::wstring& itemName = name == nullptr ? ownName : *name;
  if (status.type() == fs::directory_file) {
    return AddDirAt(source, itemName, parent, newNode, up);
  }
  const uint64_t size = IsSpecialFile(status) ? 0 : container.GetFileSizeInternal(source.text);
  const int result = container.AddFileOfSize(source.text, size, itemName, parent, newNode);
  if (result != ResultOk && observer != nullptr) observer->OnAddFileFailed(source.text, result);
  return result;
}

int FolderWalk::AddDirAt(const Source& source, const std::wstring& name, Node* parent,
                         Node** newNode, const Level* up) {
  const unsigned depth = up == nullptr ? 1 : up->depth + 1;
  if (depth > FileContainer::kMaxImportDepth) return ResultPathTooDeep;
  // A folder that is one of those the walk is inside (reached again through a
  // symbolic link or a bind mount) would be walked without end: it is left
  // out like a folder that cannot be added.
  for (const Level* level = up; level != nullptr; level = level->up) {
    boost::system::error_code error;
    if (fs::equivalent(source.path, level->path, error)) return ResultFailed;
  }
  Node* directory = nullptr;
  const int created = container.CreateDir(name, parent, &directory);
  if (created != ResultOk) return created;

  const Level here{source.path, up, depth};
  FileFind find;
  if (find.FindFirst(source.text, kEveryEntry) != 0) {
    do {
      const std::wstring entry = find.GetFileName();
      if (IsDotEntry(entry)) continue;
      fs::path entryPath = source.path;
      entryPath /= ToSourcePath(entry);
      // The same join in wide text, so the long path is not converted back:
      // a separator unless the folder's path already ends in one.
      std::wstring entryText;
      entryText.reserve(source.text.size() + 1 + entry.size());
      entryText = source.text;
      if (!entryText.empty() && entryText.back() != kSeparator) entryText += kSeparator;
      entryText += entry;
      Node* added = nullptr;
      // Entries that fail are left out; a cancellation undoes this folder.
      if (AddItemAt(Source{entryText, entryPath}, &entry, directory, &added, &here) ==
          ResultCancelled) {
        container.RemoveItem(directory);
        return ResultCancelled;
      }
    } while (find.FindNext() != 0);
  }
  if (newNode != nullptr) *newNode = directory;
  return ResultOk;
}

}  // namespace Orlet
