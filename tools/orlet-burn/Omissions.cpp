#include "Omissions.h"

#include <orlet/MediaBurningResult.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

#include "System.h"
#include "Text.h"
#include "Updates.h"

namespace orletburn {

namespace {

// What a source entry that is neither a file nor a folder is, in words.
std::string SpecialWords(EntryStatus::Kind kind) {
  const char* what = kind == EntryStatus::kPipe              ? "a named pipe (FIFO)"
                     : kind == EntryStatus::kSocket          ? "a socket"
                     : kind == EntryStatus::kCharacterDevice ? "a character device"
                     : kind == EntryStatus::kBlockDevice     ? "a block device"
                                                             : "neither a file nor a folder";
  return std::string(what) + ": only files and folders go on a disc";
}

// The separator the container's walk puts between a folder and its entries.
constexpr char kSeparator = '/';

// The base services carry a byte that is not UTF-8 in a name as U+DC80 to
// U+DCFF (the byte plus 0xDC00), so that it turns back into the same byte;
// the rest of the text is UTF-8 (orlet-burn keeps the "C" global locale,
// which they read as UTF-8).
constexpr wchar_t kEscapeBase = 0xDC00;
constexpr wchar_t kEscapeFirst = 0xDC80;
constexpr wchar_t kEscapeLast = 0xDCFF;

// The bytes of a name or path on disk, from the container's wide text.
std::string SourceBytes(const std::wstring& text) {
  std::string out;
  std::wstring run;  // characters that are not escapes, converted together
  for (wchar_t c : text) {
    if (c < kEscapeFirst || c > kEscapeLast) {
      run.push_back(c);
      continue;
    }
    out += Utf8(run);
    run.clear();
    out.push_back(static_cast<char>(c - kEscapeBase));
  }
  return out + Utf8(run);
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (!path.empty() && !IsSeparator(path.back())) path += kSeparator;
  return path + name;
}

std::string LastElement(std::string path) {
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
  std::size_t cut = path.size();
  while (cut > 0 && !IsSeparator(path[cut - 1])) --cut;
  return path.substr(cut);
}

std::string ErrorWords(int error, bool symbolicLink) {
  switch (error) {
    case EACCES:
    case EPERM:
      return "permission denied";
    case ELOOP:  // a link that leads to itself, or more links in a row than the system follows
      return "link loop";
    case ENAMETOOLONG:
      return "path too deep (longer than the system's " + std::to_string(PATH_MAX) + "-byte limit)";
    case ENOENT:
    case ENOTDIR:
      return symbolicLink ? "dangling link" : "no such file or folder";
    default:
      return std::error_code(error, std::generic_category()).message();
  }
}

namespace {

// Why AddItem refused an entry (its result code), in words.
std::string RefusalWords(int code) {
  std::string words;
  switch (code) {
    case Orlet::ResultFailed:  // the only refusal of a file's size
      words = "larger than 4 GiB, the most one file on the disc can hold";
      break;
    case Orlet::ResultAlreadyExists:
      words = "an entry of that name is already on the disc or among the paths given";
      break;
    case Orlet::ResultSourceNotFound:
      words = "no such file or folder";
      break;
    case Orlet::ResultPathTooDeep:
      words = "the folder nesting is too deep for the image";
      break;
    default:
      words = "could not be added";
      break;
  }
  return words + " (code " + std::to_string(code) + ")";
}

// Reads path's status, following links as the container's walk does; empty
// when it can be read, else why not in words.
std::string ReadStatus(const std::string& path, EntryStatus* status) {
  *status = StatusOf(path);
  return status->error == 0 ? "" : ErrorWords(status->error, IsSymbolicLink(path));
}

}  // namespace

std::string Unreachable(const std::string& path) {
  EntryStatus status;
  return ReadStatus(path, &status);
}

int Omissions::AddPath(Orlet::FileContainer& container, const std::string& path, Node* parent,
                       Updates* updates) {
  const auto add = [&](const std::string& entry) {
    return updates != nullptr ? updates->Add(container, *this, entry, parent)
                              : Add(container, entry, parent);
  };
  std::vector<std::string> names;
  if (path.empty() || !IsSeparator(path.back()) || StatusOf(path).kind != EntryStatus::kFolder ||
      ListFolder(path, &names) != 0) {
    return add(path);
  }
  int first = Orlet::ResultOk;
  for (const std::string& name : names) {
    const int code = add(path + name);
    if (first == Orlet::ResultOk) first = code;
  }
  return first;
}

int Omissions::Add(Orlet::FileContainer& container, const std::string& path, Node* parent) {
  Node* added = nullptr;
  const int code = container.AddItem(Wide(path), parent, &added, this);
  if (code != Orlet::ResultOk) {
    // The whole path is refused before any walk: a file by the checks (then
    // also reported to OnAddFileFailed), a folder by its name or its status.
    refusedFiles.clear();
    Record(path, RefusalWords(code), false);
  } else if (added->type == Orlet::FileContainer::NodeDirectory) {
    CheckFolder(path, added, nullptr);
  } else if (added->size == 0) {
    CheckEmptyFile(path, added);
  }
  // A refused file the walk did not meet (its folder's listing changed in
  // between, or its name did not come back as the same bytes) is named all
  // the same.
  std::vector<std::pair<std::string, int>> rest(refusedFiles.begin(), refusedFiles.end());
  std::sort(rest.begin(), rest.end());
  for (const auto& [file, refusal] : rest) {
    Record(file, RefusalWords(refusal), false);
  }
  refusedFiles.clear();
  return code;
}

void Omissions::CheckFolder(const std::string& path, const Node* node, const Folder* up) {
  const EntryStatus status = StatusOf(path);
  if (status.error != 0) {
    // AddItem made the folder and left it empty.
    Record(path, ErrorWords(status.error, false) + " (the folder's contents cannot be listed)",
           true);
    return;
  }
  const Folder here{status.device, status.inode, up, up == nullptr ? 1 : up->depth + 1};
  std::vector<std::string> names;
  const int listingError = ListFolder(path, &names);
  if (listingError != 0 && names.empty()) {
    Record(path, ErrorWords(listingError, false) + " (the folder's contents cannot be listed)",
           true);
    return;
  }
  if (listingError != 0) {
    Record(path, ErrorWords(listingError, false) + " (the folder could not be listed whole)", true);
  }

  std::unordered_multimap<std::string, Node*> children;
  children.reserve(node->children.size());
  for (Node* child : node->children) children.emplace(SourceBytes(child->name), child);
  for (const std::string& name : names) {
    const std::string entryPath = JoinPath(path, name);
    const auto child = children.find(name);
    if (child == children.end()) {
      CheckAbsent(entryPath, here);
      continue;
    }
    Node* added = child->second;
    children.erase(child);
    if (added->type == Orlet::FileContainer::NodeDirectory) {
      CheckFolder(entryPath, added, &here);
    } else if (added->size == 0) {
      CheckEmptyFile(entryPath, added);
    }
  }
}

void Omissions::CheckEmptyFile(const std::string& path, Node* node) {
  EntryStatus status;
  std::string unreachable = ReadStatus(path, &status);
  if (!unreachable.empty()) {
    Record(path, std::move(unreachable), true);
    unopened.push_back(node);
    return;
  }
  // Pipes, sockets and devices are added as 0 bytes (opening a pipe would
  // wait for a writer), but an ISO 9660 image holds only files and folders:
  // such an entry is named and left off, as an entry that cannot be read.
  if (status.kind != EntryStatus::kFile) {
    Record(path, SpecialWords(status.kind), true);
    unopened.push_back(node);
    return;
  }
  const int error = TryOpenForReading(path);
  if (error != 0) {
    Record(path, ErrorWords(error, false), true);
    unopened.push_back(node);
  }
}

void Omissions::CheckAbsent(const std::string& path, const Folder& folder) {
  EntryStatus status;
  std::string unreachable = ReadStatus(path, &status);
  if (!unreachable.empty()) {
    Record(path, std::move(unreachable), true);
    return;
  }
  if (status.kind == EntryStatus::kFolder) {
    for (const Folder* level = &folder; level != nullptr; level = level->up) {
      if (level->device == status.device && level->inode == status.inode) {
        Record(path, "link loop (it leads back to a folder that holds it)", true);
        return;
      }
    }
    if (folder.depth + 1 > Orlet::FileContainer::kMaxImportDepth) {
      Record(path,
             "path too deep (more than " + std::to_string(Orlet::FileContainer::kMaxImportDepth) +
                 " folder levels)",
             true);
      return;
    }
    Record(path, "the folder could not be added", false);
    return;
  }
  const auto refused = refusedFiles.find(path);
  if (refused == refusedFiles.end()) {
    Record(path, "could not be added", false);
    return;
  }
  Record(path, RefusalWords(refused->second), false);
  refusedFiles.erase(refused);
}

void Omissions::Record(const std::string& path, std::string reason, bool unreadable) {
  list.push_back(Omission{path, std::move(reason), unreadable});
}

void Omissions::RemoveUnopenedFiles(Orlet::FileContainer& container) {
  for (Node* node : unopened) container.RemoveItem(node);
  unopened.clear();
}

bool Omissions::AllUnreadable() const {
  return !list.empty() && std::all_of(list.begin(), list.end(),
                                      [](const Omission& omission) { return omission.unreadable; });
}

int Omissions::OnAddItem() {
  ++entries;
  return 1;
}

void Omissions::OnAddFileFailed(const std::wstring& sourcePath, int code) {
  refusedFiles.emplace(SourceBytes(sourcePath), code);
}

}  // namespace orletburn
