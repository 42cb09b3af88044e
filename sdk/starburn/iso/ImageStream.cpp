#include "iso/ImageStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace starburn {
namespace iso {

ImageStream::ImageStream(std::shared_ptr<TreeState> state,
                         std::shared_ptr<const ImageLayout> layout)
    : state(std::move(state)), layout(std::move(layout)), generation(this->state->generation) {}

ImageStream::~ImageStream() { CloseFile(); }

void ImageStream::CloseFile() {
  if (file >= 0) ::close(file);
  file = -1;
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
        const StarBurnStatus status = PullFile(current, blocks, out, error);
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

StarBurnStatus ImageStream::PullFile(const ImageLayout::Segment& segment, uint64_t blocks,
                                     uint8_t* out, std::string* error) {
  const Node& node = state->tree.Nodes()[segment.node];
  struct stat info {};
  if (file < 0) {
    file = ::open(node.source.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
      return Fail(STARBURN_STATUS_IO_ERROR,
                  "cannot open " + node.source + ": " + std::strerror(errno), error);
    }
    if (::fstat(file, &info) != 0 || static_cast<uint64_t>(info.st_size) != node.size) {
      return Fail(STARBURN_STATUS_SOURCE_CHANGED,
                  "the size of " + node.source + " changed after it was added", error);
    }
    ::posix_fadvise(file, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  const uint64_t wanted = std::min<uint64_t>(blocks * kBlockSize, node.size - fileDone);
  uint64_t got = 0;
  while (got < wanted) {
    const ssize_t n = ::read(file, out + got, wanted - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      return Fail(STARBURN_STATUS_IO_ERROR,
                  "cannot read " + node.source + ": " + std::strerror(errno), error);
    }
    if (n == 0) {
      return Fail(STARBURN_STATUS_SOURCE_CHANGED,
                  node.source + " became shorter after it was added", error);
    }
    got += static_cast<uint64_t>(n);
  }
  std::memset(out + got, 0, blocks * kBlockSize - got);  // the last block's tail
  fileDone += got;
  if (fileDone == node.size) {
    if (::fstat(file, &info) != 0 || static_cast<uint64_t>(info.st_size) != node.size) {
      return Fail(STARBURN_STATUS_SOURCE_CHANGED,
                  "the size of " + node.source + " changed after it was added", error);
    }
    CloseFile();
  }
  return STARBURN_OK;
}

}  // namespace iso
}  // namespace starburn
