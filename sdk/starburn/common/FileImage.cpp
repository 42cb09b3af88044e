#include "common/FileImage.h"

#include "common/SystemFile.h"

namespace starburn {

namespace {

// The file's blocks from its start, read in order. The file must not change
// while it is written: a file that ends early fails the pull.
class FileSource : public BlockSource {
 public:
  FileSource(SystemFile file, uint32_t start, uint64_t blocks)
      : file(std::move(file)), start(start), blocks(blocks) {}

  uint32_t StartAddress() const override { return start; }
  uint64_t BlockCount() const override { return blocks; }

  StarBurnStatus Pull(uint8_t* out, uint32_t count, std::string* error) override {
    const std::size_t wanted = std::size_t{count} * kBlockSize;
    for (std::size_t done = 0; done < wanted;) {
      std::size_t got = 0;
      int code = 0;
      if (!file.Read(out + done, wanted - done, &got, &code)) {
        *error = SystemErrorText(code);
        return STARBURN_STATUS_SOURCE_CHANGED;
      }
      if (got == 0) {
        *error = "the image file ended early (it changed)";
        return STARBURN_STATUS_SOURCE_CHANGED;
      }
      done += got;
    }
    return STARBURN_OK;
  }

 private:
  SystemFile file;
  const uint32_t start;
  const uint64_t blocks;
};

}  // namespace

StarBurnStatus FileImage::OpenImage(std::unique_ptr<BlockSource>* out, std::string* error) {
  SystemFile file;
  int code = 0;
  if (!file.Open(path, SystemFile::Mode::kRead, &code)) {
    *error = path + ": " + SystemErrorText(code);
    return STARBURN_STATUS_NOT_FOUND;
  }
  FileStatus status;
  if (!file.Status(&status, &code) || !status.regular || status.size == 0 ||
      status.size % kBlockSize != 0) {
    *error = path + " is not an image: not a file of a whole number of 2048-byte blocks";
    return STARBURN_STATUS_INVALID_ARGUMENT;
  }
  file.ExpectSequentialReads();  // read once from start to end
  *out = std::make_unique<FileSource>(std::move(file), start, status.size / kBlockSize);
  return STARBURN_OK;
}

StarBurnStatus FileImage::Relocate(uint32_t startAddress, std::string* /*error*/) {
  start = startAddress;
  return STARBURN_OK;
}

}  // namespace starburn
