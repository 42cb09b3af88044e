#include "common/FileImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace starburn {

namespace {

// The file's blocks from its start, read in order. The file must not change
// while it is written: a file that ends early fails the pull.
class FileSource : public BlockSource {
 public:
  FileSource(int descriptor, uint32_t start, uint64_t blocks)
      : descriptor(descriptor), start(start), blocks(blocks) {}
  ~FileSource() override { close(descriptor); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  uint32_t StartAddress() const override { return start; }
  uint64_t BlockCount() const override { return blocks; }

  StarBurnStatus Pull(uint8_t* out, uint32_t count, std::string* error) override {
    uint64_t wanted = uint64_t{count} * kBlockSize;
    while (wanted > 0) {
      const ssize_t got = read(descriptor, out, wanted);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        *error = got < 0 ? std::strerror(errno) : "the image file ended early (it changed)";
        return STARBURN_STATUS_SOURCE_CHANGED;
      }
      out += got;
      wanted -= static_cast<uint64_t>(got);
    }
    return STARBURN_OK;
  }

 private:
  const int descriptor;
  const uint32_t start;
  const uint64_t blocks;
};

}  // namespace

StarBurnStatus FileImage::OpenImage(std::unique_ptr<BlockSource>* out, std::string* error) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    *error = path + ": " + std::strerror(errno);
    return STARBURN_STATUS_NOT_FOUND;
  }
  struct stat status {};
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0 ||
      status.st_size % kBlockSize != 0) {
    close(descriptor);
    *error = path + " is not an image: not a file of a whole number of 2048-byte blocks";
    return STARBURN_STATUS_INVALID_ARGUMENT;
  }
  // Read once from start to end: tell the system so.
  posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
  *out = std::make_unique<FileSource>(descriptor, start,
                                      static_cast<uint64_t>(status.st_size) / kBlockSize);
  return STARBURN_OK;
}

StarBurnStatus FileImage::Relocate(uint32_t startAddress, std::string* /*error*/) {
  start = startAddress;
  return STARBURN_OK;
}

}  // namespace starburn
