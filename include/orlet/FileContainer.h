#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "orlet/Export.h"
#include "orlet/ImageFileSystem.h"
#include "orlet/MediaBurningResult.h"

namespace Orlet {

class FileContainerObserver;
class ChildIndex;
class FolderWalk;

/// The tree of files and directories that one recording puts on a disc. The
/// root stands for the volume (its name is the volume label); below it are
/// directory and file nodes. Every node keeps running totals for its subtree,
/// so the counts and the size of the whole layout cost one field read.
///
/// Ownership: the container owns the root and, through it, every node; a node
/// pointer stays valid until that node, one of its ancestors or the whole tree
/// is removed (RemoveItem, RemoveAll, AddRoot, destruction).
///
/// Hosts read nodes directly, and some write them (a rename through name, a
/// node moved to another children list by hand): whatever a host wrote, every
/// answer that depends on the names in a directory (a name already taken,
/// NewDir's choice, a refused rename, FindNode) is the one a scan of that
/// directory's children gives, and a node the container frees leaves nothing
/// behind that could be read. Ownership follows the children lists: a node is
/// freed with the directory whose list holds it. Within one operation the
/// container finds names through an index of the directories that operation
/// fills, so importing a folder of twenty thousand files costs the same per
/// file as one of two; an operation's first look-up in any other directory
/// reads that directory's children, since the host may have written them
/// since the last operation. What a FileContainerObserver writes into nodes
/// while AddItem asks it is seen from the container's next operation on.
///
/// Threads: no lock. One container is used by one thread at a time (in a burn
/// job: the job's thread, including the host's OnFillContainer).
///
/// Results are the codes of MediaBurningResult. No operation throws, except
/// that a failed memory allocation raises std::bad_alloc.
class ORLET_API FileContainer {
 public:
  /// Node::type values.
  enum NodeType : uint32_t {
    NodeFile = 0,
    NodeDirectory = 1,  ///< the root is a directory
  };

  /// One entry of the tree. The host reads these records directly, so the
  /// order and width of the fields are part of the library's interface: never
  /// move, resize or insert a field. Nodes are made and freed by the container
  /// only.
  struct Node {
    uint32_t type = NodeFile;  ///< NodeType
    uint32_t reserved = 0;     ///< 0; never read or changed by the library
    uint32_t imported = 0;     ///< 1: already on the disc from an earlier session
    /// Directories below and including this node; the root does not count itself.
    uint32_t dirCount = 0;
    uint32_t fileCount = 0;     ///< file nodes in the subtree; a file holds 1
    uint32_t blockCount = 0;    ///< 2048-byte blocks of new data in the subtree
    uint64_t size = 0;          ///< bytes of file data in the subtree
    Node* parent = nullptr;     ///< null for the root
    std::list<Node*> children;  ///< in the order they were added
    std::wstring name;          ///< the name on the disc; the volume label for the root
    /// A file added from disk: its full source path. The root: "D:\" (its drive
    /// letter). A directory made by name: empty. An imported entry: its name
    /// in the earlier session's file tree.
    std::wstring sourcePath;
  };

  /// An empty container: image file system ImageFileSystemNone, no root.
  FileContainer();
  /// Copies would share one tree and free it twice.
  FileContainer(const FileContainer&) = delete;
  FileContainer& operator=(const FileContainer&) = delete;
  /// Frees the whole tree.
  virtual ~FileContainer();

  /// Bytes of new file data the tree will take, in whole 2048-byte blocks (the
  /// root's blockCount * 2048); 0 without a root. File-system structures such
  /// as directory records are not counted.
  uint64_t GetTotalSize();
  /// The root's dirCount and fileCount; 0 without a root.
  uint32_t GetDirCounts();
  uint32_t GetFileCounts();

  /// Frees any existing tree and makes a new root named name whose sourcePath
  /// is driveLetter followed by ":\". The image file system is kept.
  Node* AddRoot(std::wstring name, wchar_t driveLetter);
  Node* GetRoot() const;

  /// Makes the directory name under parent (whose type is not checked).
  /// ResultInvalidArgument: no parent or empty name. ResultFailed: no image
  /// file system chosen. ResultPathTooDeep: the name holds more path elements
  /// than ISO 9660 allows (ImageFileSystemIso9660 only). ResultAlreadyExists:
  /// a file or directory of that name is in parent.
  int CreateDir(const std::wstring& name, Node* parent, Node** newNode);
  /// Makes a directory named "NewDir", or "NewDir<n>" with the lowest n from 2
  /// up that no directory in parent carries (files do not count).
  /// ResultInvalidArgument: no parent; ResultNotSupported: the image file
  /// system is not 1, 2 or 3. Applies no nesting rule.
  int NewDir(Node* parent, Node** newNode);
  /// Adds the file or the whole folder at sourcePath (a path on disk) under
  /// parent, asking observer (may be null) before every entry; a folder's
  /// entries come in byte order of their names. The node's name is the path's
  /// last element. Results: ResultOk; ResultInvalidArgument (no parent, or
  /// parent is a file; the observer is not asked); ResultCancelled (the
  /// observer answered 0: everything this call added is removed again);
  /// ResultSourceNotFound (the path is missing or its status unreadable); and
  /// the refusals of CreateDir for a folder or of the file checks for a file
  /// (ResultInvalidArgument, ResultNotSupported, ResultFailed above 4 GiB,
  /// ResultAlreadyExists), a failed file also being reported to
  /// OnAddFileFailed. Inside a folder, entries that fail are left out and the
  /// walk goes on; a folder met again through a link (the same directory as one
  /// it is already inside) is left out, as is anything deeper than
  /// kMaxImportDepth levels. A file that cannot be opened is added with size 0.
  int AddItem(const std::wstring& sourcePath, Node* parent, Node** newNode,
              FileContainerObserver* observer);
  /// Adds an entry that an earlier recording session already put on the disc:
  /// a file of size bytes that adds to the counts and sizes but needs no new
  /// blocks. No image file system check and no size limit.
  /// ResultInvalidArgument: no parent or empty name; ResultAlreadyExists: the
  /// name is taken in parent.
  int ImportFile(const std::wstring& sourcePath, const std::wstring& name, unsigned long long size,
                 Node* parent, Node** newNode);
  /// Removes node with its subtree and sets node to null. On the root: does
  /// what RemoveAll does and leaves node unchanged. A null node does nothing.
  void RemoveItem(Node*& node);
  /// The node made from path (an existing file or directory on disk): path's
  /// elements are matched from the one equal to start's name (start null: the
  /// root) down through the children. Null when there is no root, the path is
  /// missing, no element equals start's name or an element has no child.
  Node* FindNode(const std::wstring& path, Node* start);
  /// Not supported: always ResultFailed; found is not touched.
  int FindNodeFromName(const std::wstring& name, std::list<Node*>& found, Node* start);
  /// Removes every node below the root and zeroes the root's totals; the
  /// root's name and source path stay. Without a root, nothing happens.
  void RemoveAll();
  /// Stored unchecked; see ImageFileSystem for what each value does.
  void SetImageFileSystem(ImageFileSystem value);
  ImageFileSystem GetImageFileSystem();
  /// 1: renamed; 0: empty name, or another child of node's parent has node's
  /// type and that name. The root takes any non-empty name. A file and a
  /// directory in one parent may share a name. Name rules are not applied.
  int RenameItem(Node* node, const std::wstring& name);

  /// Deepest folder level AddItem walks into (the folder named in the call is
  /// level 1). ISO 9660 allows eight directory levels and paths of up to 255
  /// characters, and the relaxed trees that disc readers accept stay far from
  /// this depth; a deeper walk is a link loop that the same-folder test cannot
  /// see (a bind mount) or a generated tree. The walk recurses once per level
  /// with a folder listing at each, so the cap also bounds its stack on any
  /// thread.
  static constexpr unsigned kMaxImportDepth = 256;

 protected:
  /// 1: renamed (non-empty name); 0 otherwise or without a root.
  int RenameRoot(const std::wstring& name);
  /// RenameItem for a node other than the root: 0 for a node without parent.
  int RenameItemInternal(Node* node, const std::wstring& name);
  /// AddItem's folder step: CreateDir with name and parent, then AddItem for
  /// every entry of the folder sourcePath. Entries that fail are left out;
  /// ResultCancelled removes the new directory again and leaves newNode as it
  /// was.
  int AddDirInternal(const std::wstring& sourcePath, const std::wstring& name, Node* parent,
                     Node** newNode, FileContainerObserver* observer);
  /// AddItem's file step: reads the size, then checks, in order: empty name or
  /// no parent ResultInvalidArgument, CheckFileRestriction, name taken
  /// ResultAlreadyExists; then adds the file with ceil(size / 2048) blocks.
  int AddFileInternal(const std::wstring& sourcePath, const std::wstring& name, Node* parent,
                      Node** newNode);
  /// The size of the file at path; 0 when it cannot be opened for reading.
  uint64_t GetFileSizeInternal(const std::wstring& path);
  /// Makes the directory without any check (ResultInvalidArgument for a null
  /// parent only); newNode is set to null first.
  int CreateDirInternal(const std::wstring& name, Node* parent, Node** newNode);

  /// 1 if name is not empty, else 0.
  int CheckValidName(const std::wstring& name);
  /// ResultOk if name is not empty, else ResultInvalidArgument.
  int CheckValidRootName(const std::wstring& name);
  /// The nesting rule for a directory name: ResultFailed without an image file
  /// system; under ImageFileSystemIso9660, ResultPathTooDeep for a name of
  /// more than kIso9660MaxDirectoryLevels path elements. parent is not
  /// consulted: the depth of the tree does not count.
  int CheckDirRestrictions(const std::wstring& name, Node* parent);
  /// ResultNotSupported unless the image file system is 1, 2 or 3; then
  /// ResultFailed above kMaxFileSize bytes.
  int CheckFileRestriction(unsigned long long size);

  /// ISO 9660 allows eight directory levels below the root.
  static constexpr unsigned kIso9660MaxDirectoryLevels = 8;
  /// Largest file accepted: 4 GiB, inclusive. ISO 9660 gives a file section a
  /// 32-bit length, so a larger file needs several sections, which the
  /// recording does not write.
  static constexpr uint64_t kMaxFileSize = 0x100000000ULL;

  ImageFileSystem imageFileSystem = ImageFileSystemNone;
  Node* root = nullptr;  ///< owned, with the whole tree

 private:
  friend class FolderWalk;

  /// The file step once the size is known: the checks and the new node.
  int AddFileOfSize(const std::wstring& sourcePath, uint64_t size, const std::wstring& name,
                    Node* parent, Node** newNode);
  /// Links node under parent (appended last), indexes it and adds its totals
  /// to every ancestor.
  void Attach(Node* node, Node* parent, Node** newNode);
  /// Frees node (already detached) and its subtree, as the children lists
  /// hold it; forget: take every freed node out of the index too (not needed
  /// when the index is cleared as a whole).
  void FreeTree(Node* node, bool forget);

  std::unique_ptr<ChildIndex> childIndex;  ///< children by name, for one operation's look-ups
};

}  // namespace Orlet
