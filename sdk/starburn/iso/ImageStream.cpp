#include "iso/ImageStream.h"

#include <algorithm>
#include <cstring>

namespace starburn {
namespace iso {

namespace {

// Files from this size on are read with a sequential read-ahead hint. For
// smaller ones the kernel's default read-ahead already covers the file, and
// the hint would cost one more call per file.
constexpr uint64_t kSequentialHintBytes = 1 << 20;

}  // namespace

ImageStream::ImageStream(std::shared_ptr<TreeState> state,
                         std::shared_ptr<const ImageLayout> layout)
    : state(std::move(state)), layout(std::move(layout)), generation(this->state->generation) {}

ImageStream::~ImageStream() { CloseFile(); }

void ImageStream::CloseFile() {
  file.Close();
  fileDone = 0;
}

StarBurnStatus ImageStream::Fail(StarBurnStatus status, const std::string& message,
                                 std::string* error) {
  failed = status;
  failure = message;
  CloseFile();
  if (error != nullptr) *error = message;
  return status;
}

StarBurnStatus ImageStream::Pull(uint8_t* out, uint32_t count, std::string* error) {
  if (failed != STARBURN_OK) {
    if (error != nullptr) *error = failure;
    return failed;
  }
  if (state->generation != generation) {
    return Fail(STARBURN_STATUS_WRONG_STATE, "the tree changed after its image was built", error);
  }
  const auto& segments = layout->Segments();
  uint64_t left = count;
  while (left > 0) {
    if (segment >= segments.size()) {
      return Fail(STARBURN_STATUS_INVALID_ARGUMENT, "pulled past the end of the image", error);
    }
    const ImageLayout::Segment& current = segments[segment];
    const uint64_t blocks = std::min(left, current.blocks - offset);
    switch (current.kind) {
      case ImageLayout::Segment::Kind::kZeros:
        std::memset(out, 0, blocks * kBlockSize);
        break;
      case ImageLayout::Segment::Kind::kFile: {
        const StarBurnStatus status = PullFiles(current, blocks, out, error);
        if (status != STARBURN_OK) return status;
        break;
      }
      default:
        if (!renderedValid) {
          layout->Render(state->tree, current, &rendered);
          renderedValid = true;
        }
        std::memcpy(out, rendered.data() + offset * kBlockSize, blocks * kBlockSize);
        break;
    }
    out += blocks * kBlockSize;
    left -= blocks;
    offset += blocks;
    if (offset == current.blocks) {
      ++segment;
      offset = 0;
      renderedValid = false;
      rendered.clear();
    }
  }
  return STARBURN_OK;
}

StarBurnStatus ImageStream::PullFiles(const ImageLayout::Segment& segment, uint64_t blocks,
                                      uint8_t* out, std::string* error) {
  const auto& nodes = state->tree.Nodes();
  if (offset == 0) {
    runFile = segment.node;
    runFileBlocks = 0;
  }
  while (blocks > 0) {
    const uint64_t fileBlocks = (nodes[runFile].size + kBlockSize - 1) / kBlockSize;
    const uint64_t take = std::min(blocks, fileBlocks - runFileBlocks);
    const StarBurnStatus status = PullFile(nodes[runFile], take, out, error);
    if (status != STARBURN_OK) return status;
    out += take * kBlockSize;
    blocks -= take;
    runFileBlocks += take;
    if (runFileBlocks == fileBlocks) {
      // On to the next new file that has data, as the layout placed them.
      runFileBlocks = 0;
      do {
        ++runFile;
      } while (runFile < nodes.size() &&
               (nodes[runFile].directory || nodes[runFile].imported || nodes[runFile].size == 0));
    }
  }
  return STARBURN_OK;
}

StarBurnStatus ImageStream::PullFile(const Node& node, uint64_t blocks, uint8_t* out,
                                     std::string* error) {
  const FileTree& tree = state->tree;
  auto changed = [&] {
    return Fail(STARBURN_STATUS_SOURCE_CHANGED, tree.Source(node) + " changed after it was added",
                error);
  };
  FileStatus info;
  int code = 0;
  bool openedNow = false;
  if (!file.IsOpen()) {
    // Opened by its name in its folder, as the build checked it.
    if (!sources.Open(tree, node, &file, &code)) {
      return Fail(STARBURN_STATUS_IO_ERROR,
                  "cannot open " + tree.Source(node) + ": " + SystemErrorText(code), error);
    }
    // The handle is checked, not the path again: this is the file that is read.
    if (!file.Status(&info, &code) || info.size != node.size || info.modified != node.modified) {
      return changed();
    }
    if (node.size >= kSequentialHintBytes) file.ExpectSequentialReads();
    openedNow = true;
  }
  const uint64_t room = blocks * kBlockSize;
  const uint64_t wanted = std::min<uint64_t>(room, node.size - fileDone);
  // Where the last block's tail leaves room, the read asks for one byte past
  // the file's end: a file that grew shows it in the same call.
  const bool probeEnd = fileDone + wanted == node.size && wanted < room;
  const uint64_t asked = probeEnd ? wanted + 1 : wanted;
  uint64_t got = 0;
  while (got < wanted) {
    std::size_t n = 0;
    if (!file.Read(out + got, asked - got, &n, &code)) {
      return Fail(STARBURN_STATUS_IO_ERROR,
                  "cannot read " + tree.Source(node) + ": " + SystemErrorText(code), error);
    }
    if (n == 0) return changed();  // shorter than when it was added
    got += n;
  }
  if (got > wanted) return changed();     // longer
  std::memset(out + got, 0, room - got);  // the last block's tail
  fileDone += got;
  if (fileDone == node.size) {
    // A file read whole right after its check, its end probed, needs no
    // second look; one read across several pulls is checked again at its end.
    if (!(openedNow && probeEnd) && (!file.Status(&info, &code) || info.size != node.size)) {
      return changed();
    }
    CloseFile();
  }
  return STARBURN_OK;
}

}  // namespace iso
}  // namespace starburn
