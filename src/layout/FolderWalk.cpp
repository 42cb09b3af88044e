#include "layout/FolderWalk.h"

#include "layout/SourcePath.h"
#include "layout/StoredNode.h"
#include "orlet/MediaBurningResult.h"
#include "orlet/Observers.h"
#include "platform/OrletBases.h"

namespace Orlet {

namespace {

// The element a source path names: its last one, not counting separators and
// "." elements at its end ("/photos/" and "/photos/." name "photos"; the path's
// own last element would be ".").
SourcePath NamedElement(SourcePath path) {
  while (path.has_parent_path() && (path.filename() == "." || path.filename().empty())) {
    path = path.parent_path();
  }
  return path.filename();
}

// Every name of a folder ("*.*" matches names without a dot as well).
const wchar_t kEveryEntry[] = L"*.*";

// The separator that path joins put between a folder and its entries: the
// system's own, so that a host on Windows sees "C:\photos\a.jpg". A folder
// path that already ends in one of the system's separators gets none.
constexpr wchar_t kSeparator = static_cast<wchar_t>(SourcePath::preferred_separator);
bool IsSeparator(wchar_t c) { return c == L'/' || c == kSeparator; }

bool IsDotEntry(const std::wstring& name) { return name == L"." || name == L".."; }

}  // namespace

FolderWalk::FolderWalk(FileContainer& container, FileContainerObserver* observer)
    : container(container), observer(observer) {}

int FolderWalk::AddItem(const std::wstring& sourcePath, Node* parent, Node** newNode) {
  const SourcePath path = ToSourcePath(sourcePath);
  return AddItemAt(Source{sourcePath, path}, nullptr, QueryFileStatus(path.native()), parent,
                   newNode, nullptr);
}

int FolderWalk::AddDir(const std::wstring& sourcePath, const std::wstring& name, Node* parent,
                       Node** newNode) {
  const SourcePath path = ToSourcePath(sourcePath);
  const FileStatus status = QueryFileStatus(path.native());
  return AddDirAt(Source{sourcePath, path}, Identity{status.device, status.inode}, name, parent,
                  newNode, nullptr);
}

int FolderWalk::AddItemAt(const Source& source, const std::wstring* name, const FileStatus& status,
                          Node* parent, Node** newNode, const Level* up) {
  if (parent == nullptr || parent->type == FileContainer::NodeFile) return ResultInvalidArgument;
  if (observer != nullptr && observer->OnAddItem() == 0) return ResultCancelled;
  // One status query (status) decides whether the path exists, what it is
  // and a file's size, so a path that changes meanwhile is never taken for
  // what it is not, and nothing is asked twice.
  if (status.kind == FileStatus::kMissing || status.kind == FileStatus::kUnknown) {
    return ResultSourceNotFound;
  }
  const std::wstring ownName = name == nullptr ? FromSourcePath(NamedElement(source.path)) : L"";
  const std::wstring& itemName = name == nullptr ? ownName : *name;
  if (status.kind == FileStatus::kDirectory) {
    return AddDirAt(source, Identity{status.device, status.inode}, itemName, parent, newNode, up);
  }
  // What GetFileSizeInternal would read, without opening the file: a file
  // this process cannot open counts 0 bytes; pipes, sockets and devices count
  // 0 too (opening a pipe for reading would wait for a writer).
  const bool readableFile = status.kind == FileStatus::kRegularFile && status.readable;
  Node* added = nullptr;
  const int result = container.AddFileOfSize(source.text, readableFile ? status.size : 0, itemName,
                                             parent, &added);
  if (result != ResultOk) {
    if (observer != nullptr) observer->OnAddFileFailed(source.text, result);
    return result;
  }
  // The time that goes with the size, so the recording can take both as the
  // file's without asking the file system again.
  if (readableFile) StoredNode::Of(*added).modified = status.modified;
  if (newNode != nullptr) *newNode = added;
  return result;
}

int FolderWalk::AddDirAt(const Source& source, const Identity& identity, const std::wstring& name,
                         Node* parent, Node** newNode, const Level* up) {
  const unsigned depth = up == nullptr ? 1 : up->depth + 1;
  if (depth > FileContainer::kMaxImportDepth) return ResultPathTooDeep;
  // A folder that is one of those the walk is inside (reached again through a
  // symbolic link or a bind mount) would be walked without end: it is left
  // out like a folder that cannot be added.
  for (const Level* level = up; level != nullptr; level = level->up) {
    if (level->identity.device == identity.device && level->identity.inode == identity.inode) {
      return ResultFailed;
    }
  }
  Node* directory = nullptr;
  const int created = container.CreateDir(name, parent, &directory);
  if (created != ResultOk) return created;

  const Level here{identity, up, depth};
  FileFind find;
  if (find.FindFirst(source.text, kEveryEntry) != 0) {
    do {
      const std::wstring entry = find.GetFileName();
      if (IsDotEntry(entry)) continue;
      SourcePath entryPath = source.path;
      entryPath /= ToSourcePath(entry);
      // The same join in wide text, so the long path is not converted back:
      // a separator unless the folder's path already ends in one.
      std::wstring entryText;
      entryText.reserve(source.text.size() + 1 + entry.size());
      entryText = source.text;
      if (!entryText.empty() && !IsSeparator(entryText.back())) entryText += kSeparator;
      entryText += entry;
      Node* added = nullptr;
      // Entries that fail are left out; a cancellation undoes this folder.
      if (AddItemAt(Source{entryText, entryPath}, &entry, find.GetFileStatus(), directory, &added,
                    &here) == ResultCancelled) {
        container.RemoveItem(directory);
        return ResultCancelled;
      }
    } while (find.FindNext() != 0);
  }
  if (newNode != nullptr) *newNode = directory;
  return ResultOk;
}

}  // namespace Orlet
