#pragma once

#include <orlet/FileContainer.h>
#include <orlet/Observers.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace orletburn {

// One source entry that is not in the container, or not whole.
struct Omission {
  // The path as the user gave it, then the entry's part below it: the bytes
  // of the path on disk, as the container's walk joined them.
  std::string path;
  std::string reason;  // in words: "permission denied", "dangling link", ...
  // The entry could not be read (permissions, a link that leads nowhere or in
  // a circle, a path too deep): --skip-unreadable accepts leaving it out. An
  // entry the disc cannot hold (a file above 4 GiB, a name already taken) is
  // not: no option accepts that.
  bool unreadable = false;
};

class Updates;

// folder's path joined with an entry's name, as the container's walk joins
// them: a separator unless the folder's path already ends in one.
std::string JoinPath(const std::string& folder, const std::string& name);
// The last element of a path as the user typed it ("a/b/" names "b").
std::string LastElement(std::string path);
// A failed status query, open or listing, in words ("permission denied",
// ...). symbolicLink: the path itself is a symbolic link (its target is what
// is missing).
std::string ErrorWords(int error, bool symbolicLink);

// Why path cannot be reached, following links as the container's walk does,
// in words ("permission denied", "dangling link", "link loop", "path too
// deep ...", "no such file or folder"); empty when its status can be read.
std::string Unreachable(const std::string& path);

// Adds the paths of a burn to the container and finds every source entry that
// did not reach it whole. FileContainer::AddItem reports only the files that
// its checks refuse (OnAddFileFailed); inside a folder it leaves out, without
// a word, an entry whose status cannot be read (permission denied, a dangling
// link, a link loop, a path longer than the system takes), a folder it meets
// again through a link and a folder deeper than kMaxImportDepth levels; it
// adds a folder it cannot list as an empty folder, and a file it cannot open
// as 0 bytes. So after each AddItem this walks the source again, itself, and
// compares every folder's listing with the children the call made, by name;
// a file that was added with 0 bytes is opened to see that it can be read.
// The walk follows links as AddItem's does, and tells a link to a folder it
// is inside by the folder's device and inode, as AddItem's tells it by
// equivalence; it goes only where AddItem made a folder, so it is as deep as
// AddItem's.
//
// One object per fill, used on one thread (the burn job's, inside
// OnFillContainer; it is also the observer of its AddItem calls). The
// container and its nodes are borrowed for each call.
class Omissions : public Orlet::FileContainerObserver {
 public:
  using Node = Orlet::FileContainer::Node;

  // Adds the file or folder at path (as the user typed it) under parent and
  // records what of it did not reach the container. Answers AddItem's result;
  // a refusal of the whole path is recorded too.
  int Add(Orlet::FileContainer& container, const std::string& path, Node* parent);
  // A folder's path ending in '/': its entries under parent, each by Add, in
  // the byte order of their names (as rsync and cp take "dir/"); any other
  // path, or a folder that cannot be listed, by Add itself. With updates
  // (--update, may be null) each goes through updates->Add instead. Answers
  // the first refusal, or ResultOk.
  int AddPath(Orlet::FileContainer& container, const std::string& path, Node* parent,
              Updates* updates);
  // Takes the files that were added with 0 bytes but cannot be opened out of
  // the container again, so that no file reaches the disc emptier than it is.
  // Call once, after the last Add; the omissions stay recorded.
  void RemoveUnopenedFiles(Orlet::FileContainer& container);

  // In the order the walk met them: each path's entries in the byte order of
  // their names, a folder's contents after the folder.
  const std::vector<Omission>& List() const { return list; }
  // Whether there are omissions and every one is an unreadable entry.
  bool AllUnreadable() const;
  // The entries AddItem looked at (its OnAddItem calls).
  unsigned Entries() const { return entries; }

  // Records an omission (see Omission).
  void Record(const std::string& path, std::string reason, bool unreadable);

  int OnAddItem() override;
  void OnAddFileFailed(const std::wstring& sourcePath, int code) override;

 private:
  // A folder the walk is inside, with the folders around it.
  struct Folder {
    uint64_t device;
    uint64_t inode;
    const Folder* up;  // null for the path the user gave
    unsigned depth;    // 1 for the path the user gave, as AddItem counts
  };

  // Compares the folder at path with node, the directory AddItem made of it.
  void CheckFolder(const std::string& path, const Node* node, const Folder* up);
  // A file node of 0 bytes: can its source be opened?
  void CheckEmptyFile(const std::string& path, Node* node);
  // An entry of a folder that AddItem did not add: says why.
  void CheckAbsent(const std::string& path, const Folder& folder);

  std::vector<Omission> list;
  std::vector<Node*> unopened;  // file nodes whose source cannot be opened
  // The files AddItem refused, by path on disk, with the result code; taken
  // out as the walk names them.
  std::unordered_map<std::string, int> refusedFiles;
  unsigned entries = 0;
};

}  // namespace orletburn
