#pragma once

// The SDK's one way to the file system: a file opened by its path, read and
// written at a position or in order, flushed, cut and locked, and the few
// operations on paths the SDK needs. posix/SystemFile.cpp builds it on file
// descriptors; windows/SystemFile.cpp on Win32 handles, converting the UTF-8
// paths to UTF-16 for the W calls (so any name reaches its file).
//
// Errors: a call that fails answers false and leaves the system's code in
// *code (errno on POSIX, GetLastError's code on Windows); SystemErrorText
// says it in words. Interrupted calls are retried inside.
// Threads: a SystemFile is used by one thread at a time; the free functions
// may be called from any thread.

#include <cstddef>
#include <cstdint>
#include <string>

namespace starburn {

// What a status query tells of a file.
struct FileStatus {
  bool regular = false;  // a file of data (not a directory, device or pipe)
  uint64_t size = 0;     // bytes
  int64_t modified = 0;  // the last change of its data, in seconds since 1970 (UTC)
  // Whether an open for reading would pass the permission check, judged from
  // the status alone, so that asking costs no call of its own. POSIX: the
  // owner's bits for the owner, the group's for a member, the others' for
  // the rest, everything for an effective user of 0; access control lists
  // are not consulted. Windows: always (its access lists are met at the
  // open). A file they close is reported when it is opened.
  bool readable = false;
};

// A folder held open, so that the files in it are found by their names
// alone: the system then looks up one path element per file instead of the
// whole path, which is most of the cost of a tree of many small files.
// POSIX: a descriptor of the folder, so that a folder renamed meanwhile is
// still the one searched. Windows: the folder's path, joined to each name.
// One thread at a time.
class SystemFolder {
 public:
  SystemFolder() = default;
  ~SystemFolder() { Close(); }
  SystemFolder(const SystemFolder&) = delete;
  SystemFolder& operator=(const SystemFolder&) = delete;

  // Opens the folder at path (UTF-8; empty: the current folder), closing
  // what this object held.
  bool Open(const std::string& path, int* code);
  bool IsOpen() const { return open; }
  void Close();
  // The status of the entry called name in this folder, following links.
  bool StatusOf(const std::string& name, FileStatus* out, int* code) const;

 private:
  friend class SystemFile;
  bool open = false;
  intptr_t handle = -1;  // POSIX: the folder's descriptor, or AT_FDCWD for ""
  std::string path;      // Windows: the folder's path, with a separator at its end
};

class SystemFile {
 public:
  enum class Mode {
    kRead,            // an existing file, read
    kUpdate,          // an existing file, read and written
    kUpdateOrCreate,  // read and written, created empty when missing
    kWrite,           // written, created when missing, its data kept
    kReplace,         // written, created when missing, emptied otherwise
    kAppend,          // written at its end, created when missing
  };
  enum class LockOutcome {
    kHeld,    // the lock is this file's until Unlock or Close
    kBusy,    // another open of the file holds a lock that excludes this one
    kFailed,  // *code says why
  };

  SystemFile() = default;
  ~SystemFile() { Close(); }
  SystemFile(SystemFile&& other) noexcept : handle(other.handle) { other.handle = kNone; }
  SystemFile& operator=(SystemFile&& other) noexcept {
    if (this != &other) {
      Close();
      handle = other.handle;
      other.handle = kNone;
    }
    return *this;
  }
  SystemFile(const SystemFile&) = delete;
  SystemFile& operator=(const SystemFile&) = delete;

  // Opens path (UTF-8), closing what this object held. Other opens of the
  // same file, in this process or another, may read, write, rename and
  // delete it meanwhile; the handle is not inherited by child processes.
  bool Open(const std::string& path, Mode mode, int* code);
  // Opens the file called name in folder (see SystemFolder), as Open does.
  bool OpenIn(const SystemFolder& folder, const std::string& name, Mode mode, int* code);
  // A second handle to the process's standard error, for writing.
  static SystemFile StandardError();
  bool IsOpen() const { return handle != kNone; }
  void Close();

  // Reads size bytes at offset: *got is less than size only at the end of
  // the file.
  bool ReadAt(uint64_t offset, void* out, std::size_t size, std::size_t* got, int* code);
  // Reads what one read of the system gives, at most size bytes, from the
  // current position: *got is 0 only at the end of the file. (A caller that
  // knows the file's size stops at it, with no call to find the end.)
  bool Read(void* out, std::size_t size, std::size_t* got, int* code);
  // Writes all of data at offset, or at the current position (the end, in
  // kAppend mode), extending the file as needed.
  bool WriteAt(uint64_t offset, const void* data, std::size_t size, int* code);
  bool Write(const void* data, std::size_t size, int* code);
  // Makes what was written reach the storage device.
  bool Flush(int* code);
  // Sets the file's size: cuts it, or extends it with bytes that read as zero.
  bool Cut(uint64_t size, int* code);
  bool Status(FileStatus* out, int* code) const;
  // A hint that the file is read once from start to end.
  void ExpectSequentialReads();

  // An advisory lock of the whole file, shared or exclusive, without
  // waiting. Two opens conflict whether they belong to one process or two; a
  // shared lock is never turned into an exclusive one in place (Unlock
  // first). The system releases it when the file is closed or the process
  // ends, however it ends. It never stops a read or a write.
  LockOutcome TryLock(bool exclusive, int* code);
  void Unlock();

 private:
  static constexpr intptr_t kNone = -1;  // no file (a descriptor or a handle otherwise)
  explicit SystemFile(intptr_t handle) : handle(handle) {}
  intptr_t handle = kNone;
};

// The status of the file at path, following symbolic links.
bool StatusOf(const std::string& path, FileStatus* out, int* code);
// Whether a file named path could be created: its directory exists and the
// process may add entries to it.
bool CanCreate(const std::string& path, int* code);
// Puts the file from at path in one step, replacing the file there: a reader
// sees the old file or the new one, and after a power loss one of them is
// there whole.
bool RenameOver(const std::string& from, const std::string& path, int* code);
// Removes the file at path; a missing file is no failure.
void RemoveFile(const std::string& path);
// Whether code says that a file or a directory on its path does not exist.
bool IsNotFound(int code);
// The code of a refused access ("permission denied").
int AccessDeniedCode();
// The code in words ("No space left on device").
std::string SystemErrorText(int code);

}  // namespace starburn
