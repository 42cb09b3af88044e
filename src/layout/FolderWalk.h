#pragma once

#include <string>

#include "layout/SourcePath.h"
#include "orlet/FileContainer.h"
#include "platform/OrletBases.h"

namespace Orlet {

// One AddItem (or AddDirInternal) call of a container: the item and, for a
// folder, the walk through everything below it. The walk carries each entry's
// path in both forms (wide for the tree, bytes for the file system), joining
// each with the entry's name, so no whole path is converted back and forth;
// and it knows the folders it is inside, so it neither loops through links
// nor goes deeper than kMaxImportDepth. Each entry costs one status query,
// which gives its kind, size and identity; no file is opened.
//
// Lives for one call, on the calling thread; the observer may be null.
class FolderWalk {
 public:
  using Node = FileContainer::Node;

  FolderWalk(FileContainer& container, FileContainerObserver* observer);

  // FileContainer::AddItem.
  int AddItem(const std::wstring& sourcePath, Node* parent, Node** newNode);
  // FileContainer::AddDirInternal: a walk that starts with this folder.
  int AddDir(const std::wstring& sourcePath, const std::wstring& name, Node* parent,
             Node** newNode);

 private:
  // A path on disk in its two forms.
  struct Source {
    const std::wstring& text;
    const SourcePath& path;
  };
  // A folder's identity on disk, from the status query that found it.
  struct Identity {
    uint64_t device;
    uint64_t inode;
  };
  // A folder the walk is inside, with the folders around it.
  struct Level {
    Identity identity;
    const Level* up;  // null for the folder the call started with
    unsigned depth;   // 1 for the folder the call started with
  };

  // name: the entry's name as its folder lists it; null to take the path's
  // last element. status: the one status query of the source.
  int AddItemAt(const Source& source, const std::wstring* name, const FileStatus& status,
                Node* parent, Node** newNode, const Level* up);
  int AddDirAt(const Source& source, const Identity& identity, const std::wstring& name,
               Node* parent, Node** newNode, const Level* up);

  FileContainer& container;
  FileContainerObserver* observer;
};

}  // namespace Orlet
