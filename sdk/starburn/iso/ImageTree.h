#pragma once

// An image-tree handle: the logical tree, the host's call-back for name
// notifications, the last layout, and the streams over it.
//
// Threads: one thread at a time uses a tree and the streams it opened; the
// call-back is called on that thread, inside Add.

#include <cstdint>
#include <memory>
#include <string>

#include "common/BlockIo.h"
#include "common/ErrorOut.h"
#include "iso/ImageLayout.h"
#include "iso/ImageStream.h"

namespace starburn {
namespace iso {

class ImageTree : public ImageProvider {
 public:
  ImageTree(StarBurnCallback callback, void* context, bool level2, bool joliet);

  const FileTree& Tree() const { return state->tree; }

  // Adds a file (STARBURN_ADD_FILE, from source) or a directory
  // (STARBURN_ADD_DIRECTORY) named name (UTF-8) under parent. Clashing
  // identifiers are offered to the call-back (notification 3) and then made
  // unique; on success the call-back hears notification 0 with the file's
  // source path or notification 2 with the new directory's path in the image.
  StarBurnStatus Add(const char* source, const char* name, uint32_t kind, uint32_t parent,
                     uint32_t* added, const ErrorOut& out);
  // Adds a file as Add does, with the size and modification time the caller
  // read from source's status (a regular file the process may read): source
  // is not looked at until Build checks it.
  StarBurnStatus AddFile(const char* source, const char* name, uint64_t size, int64_t modified,
                         uint32_t parent, uint32_t* added, const ErrorOut& out);

  // Takes the imported entry index out of the tree (FileTree::RemoveImported).
  // STARBURN_STATUS_INVALID_ARGUMENT for the root, STARBURN_STATUS_WRONG_STATE
  // for an entry added from disk or one already removed.
  StarBurnStatus RemoveImported(uint32_t index, const ErrorOut& out);

  // Imports the tree of the session at sessionStart into an empty tree. On
  // failure the tree stays as it was.
  StarBurnStatus Import(BlockReader& reader, uint32_t sessionStart, bool joliet,
                        const ErrorOut& out);

  // Lays the image out; the sources of new files are checked to be there
  // with the sizes and modification times they had when added.
  StarBurnStatus Build(const ImageOptions& options, const ErrorOut& out);

  StarBurnStatus OpenImage(std::unique_ptr<BlockSource>* stream, std::string* error) override;
  StarBurnStatus Relocate(uint32_t startAddress, std::string* error) override;

  // Streams the built image into a file: at byte startAddress × 2048 when
  // atStartAddress (what comes before stays, so a later session lands after
  // the earlier ones of an image file), else from byte 0. Zero blocks are
  // left as holes.
  StarBurnStatus Save(const char* path, bool atStartAddress, const ErrorOut& out);

 private:
  // The checks every new entry passes: a name other than "." or "..", and a
  // parent that is a directory still in the tree.
  StarBurnStatus CheckEntry(const char* name, uint32_t parent, const ErrorOut& out) const;
  // Files (source not null) and directories alike, once they passed their
  // checks: the identifiers chosen, the node inserted, the call-back told.
  StarBurnStatus Place(Node node, const char* source, const char* name, uint32_t* added,
                       const ErrorOut& out);
  bool AskRewrite(bool joliet, bool directory, std::u16string* name);
  // Whether every new file's source is still there with the size and time
  // it was added with; else why not, and the system's code. Reads only the
  // nodes' sources, sizes and times: safe beside a layout of the same tree.
  StarBurnStatus CheckSources(std::string* error, uint32_t* systemError) const;
  std::string ImagePath(uint32_t index) const;
  void Notify(uint32_t notification, const std::string& text);

  StarBurnCallback callback;
  void* context;
  bool level2;
  bool joliet;
  bool imported = false;
  std::shared_ptr<TreeState> state;
};

}  // namespace iso
}  // namespace starburn
