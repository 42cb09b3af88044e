#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/OrletBases.h"

namespace Orlet {

FileIo::FileIo() = default;
FileIo::~FileIo() { Close(); }

int FileIo::Open(const std::wstring& path, uint32_t access, uint32_t /*share*/, uint32_t creation) {
  Close();
  int flags = O_CLOEXEC;
  const bool read = (access & kGenericRead) != 0;
  const bool write = (access & kGenericWrite) != 0;
  flags |= read && write ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
  if (creation == kCreateAlways) flags |= O_CREAT | O_TRUNC;
  descriptor = ::open(tcs_to_mbs(path).c_str(), flags, 0666);
  if (descriptor < 0) return 0;
  struct stat info {};
  if (fstat(descriptor, &info) != 0 || S_ISDIR(info.st_mode)) {
    Close();  // a directory is not a file to read
    return 0;
  }
  // A file opened only for reading keeps the size it had when it was opened,
  // which saves asking the file system again; a file we write is asked afresh.
  sizeAtOpen = write ? kSizeUnknown : static_cast<uint64_t>(info.st_size);
  return 1;
}

void FileIo::Close() {
  if (descriptor >= 0) ::close(descriptor);
  descriptor = -1;
}

uint64_t FileIo::GetFileSize() {
  if (descriptor >= 0 && sizeAtOpen != kSizeUnknown) return sizeAtOpen;
  struct stat info {};
  if (descriptor < 0 || fstat(descriptor, &info) != 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

int64_t FileIo::Read(uint64_t offset, void* buffer, uint32_t size) {
  if (descriptor < 0) return -1;
  ssize_t done = pread(descriptor, buffer, size, static_cast<off_t>(offset));
  return done < 0 ? -1 : done;
}

}  // namespace Orlet
