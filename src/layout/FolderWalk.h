#pragma once

#include <boost/filesystem/path.hpp>
#include <string>

#include "orlet/FileContainer.h"

namespace Orlet {

// One AddItem (or AddDirInternal) call of a container: the item and, for a
// folder, the walk through everything below it. The walk carries each entry's
// path in both forms (wide for the tree, bytes for the file system) so that
// no name is converted twice, and it knows the folders it is inside, so that
// it neither loops through links nor goes deeper than kMaxImportDepth.
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
    const boost::filesystem::path& path;
  };
  // A folder the walk is inside, with the folders around it.
  struct Level {
    const boost::filesystem::path& path;
    const Level* up;  // null for the folder the call started with
    unsigned depth;   // 1 for the folder the call started with
  };

  // name: the entry's name as its folder lists it; null to take the path's
  // last element.
  int AddItemAt(const Source& source, const std::wstring* name, Node* parent, Node** newNode,
                const Level* up);
  int AddDirAt(const Source& source, const std::wstring& name, Node* parent, Node** newNode,
               const Level* up);

  FileContainer& container;
  FileContainerObserver* observer;
};

}  // namespace Orlet
