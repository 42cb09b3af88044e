#pragma once

// The built image as a pulled block stream: metadata rendered one segment at
// a time, file data read from the source files in the order the layout placed
// them. Nothing of the image is held beyond one metadata segment and the
// caller's buffer.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/BlockIo.h"
#include "common/SystemFile.h"
#include "iso/ImageLayout.h"
#include "iso/SourceLookup.h"

namespace starburn {
namespace iso {

// The state a tree handle shares with its open streams. A stream keeps it
// alive, and refuses to go on once the tree has changed since the layout it
// streams (generation differs).
struct TreeState {
  TreeState(bool level2, bool joliet) : tree(level2, joliet) {}
  FileTree tree;
  std::shared_ptr<const ImageLayout> layout;  // the last successful layout, or null
  uint64_t generation = 0;                    // grows with every change of the tree
  uint64_t layoutGeneration = 0;              // the generation the layout was made at
};

class ImageStream : public BlockSource {
 public:
  ImageStream(std::shared_ptr<TreeState> state, std::shared_ptr<const ImageLayout> layout);
  ~ImageStream() override;

  uint32_t StartAddress() const override { return layout->StartAddress(); }
  uint64_t BlockCount() const override { return layout->BlockCount(); }
  // Source files are opened when their data is reached and checked on the
  // open handle then and at their end: a file that cannot be opened or read
  // fails the stream with STARBURN_STATUS_IO_ERROR, one whose size or
  // modification time is no longer what it was when it was added with
  // STARBURN_STATUS_SOURCE_CHANGED. Pulling past the
  // end fails with STARBURN_STATUS_INVALID_ARGUMENT.
  StarBurnStatus Pull(uint8_t* out, uint32_t count, std::string* error) override;

 private:
  StarBurnStatus Fail(StarBurnStatus status, const std::string& message, std::string* error);
  // The next blocks of a segment of file data, from the position offset.
  StarBurnStatus PullFiles(const ImageLayout::Segment& segment, uint64_t blocks, uint8_t* out,
                           std::string* error);
  // The next blocks of one file, opened when its first block is pulled.
  StarBurnStatus PullFile(const Node& node, uint64_t blocks, uint8_t* out, std::string* error);
  void CloseFile();

  std::shared_ptr<TreeState> state;
  std::shared_ptr<const ImageLayout> layout;
  uint64_t generation;
  std::size_t segment = 0;        // the segment being pulled
  uint64_t offset = 0;            // blocks of it already pulled
  std::vector<uint8_t> rendered;  // the current metadata segment
  bool renderedValid = false;
  std::size_t runFile = 0;     // in a segment of file data: the current file's node
  uint64_t runFileBlocks = 0;  // and its blocks already pulled
  SystemFile file;             // the current source file
  SourceLookup sources;        // holds the folder of the last file opened
  uint64_t fileDone = 0;       // its bytes already read
  StarBurnStatus failed = STARBURN_OK;
  std::string failure;
};

}  // namespace iso
}  // namespace starburn
