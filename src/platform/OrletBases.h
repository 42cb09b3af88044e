#pragma once

// The base services the library uses: worker threads, locks, directory search,
// file access, text conversion and the module directory. Implemented by the
// OrletBases library: port/bases/posix on POSIX, port/bases/windows on Win32,
// with the semantics stated here on both.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <locale>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orlet/TextConversion.h"  // mbs_to_tcs, tcs_to_mbs and ORLET_BASES_API

namespace Orlet {

// Wait without limit (StopThread's timeout).
constexpr uint32_t kInfinite = 0xFFFFFFFF;

// A worker thread that runs ThreadProc once per successful StartThread.
//
// Table order (fixed): destructor, StopThread, OnPreThreadStart, ThreadProc.
// Subclasses override ThreadProc only.
//
// Semantics:
// - StartThread while the thread runs answers 0 and starts nothing.
// - After the body has returned, StartThread may start it again: the ended
//   thread is reaped, the stop request is cleared and a new thread runs.
// - StopThread(timeout, wait) asks the thread to stop (IsStopThread then
//   answers nonzero). With wait nonzero it waits up to timeout milliseconds
//   (kInfinite: without limit) for the body to return and reaps the thread;
//   it answers 1 when the thread has ended or never ran, 0 when it still runs
//   (timeout passed, or StopThread was called from the thread itself, which
//   cannot wait for itself).
// - An owner stops and waits (StopThread(kInfinite, 1)) before it destroys
//   anything the body uses; the destructor does the same as a last resort.
//
// Threads: every operation may be called from any thread. The object's own
// mutex is never held while the body runs.
class ORLET_BASES_API Thread {
 public:
  Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  virtual ~Thread();

  virtual int StopThread(uint32_t timeout, int wait);
  // Called by StartThread on the caller's thread before the new thread is
  // made; answering 0 refuses the start. The default answers 1.
  virtual int OnPreThreadStart();
  // The thread body. Its answer is kept and otherwise unused.
  virtual int ThreadProc() = 0;

  // flags: 0. Answers nonzero when a new thread runs ThreadProc.
  int StartThread(int flags);
  // Nonzero from a successful StartThread until the body returns.
  int IsThreadRunning() const;
  // Nonzero once a stop was asked for. With timeout nonzero, waits up to that
  // many milliseconds for a request before answering.
  int IsStopThread(uint32_t timeout) const;

 private:
  void Run();

  mutable std::mutex mutex;
  bool running = false;  // guarded by mutex
#if defined(_WIN32)
  // CreateThread's handle (guarded by mutex); the stop request and the body's
  // end as manual-reset events, which a waiter waits on with a timeout.
  static unsigned long __stdcall Entry(void* self);
  void* worker = nullptr;
  void* stopEvent = nullptr;
  void* endedEvent = nullptr;
  unsigned long workerId = 0;
#else
  mutable std::condition_variable changed;
  std::thread worker;  // guarded by mutex
  std::atomic<bool> stopRequested{false};
#endif
};

// A lock between threads; the same thread may take it again (recursive).
class ORLET_BASES_API Cs {
 public:
  Cs();
  ~Cs();
  Cs(const Cs&) = delete;
  Cs& operator=(const Cs&) = delete;

  void Lock() const;
  void Unlock() const;

 private:
#if defined(_WIN32)
  struct Section;  // a CRITICAL_SECTION
  std::unique_ptr<Section> section;
#else
  mutable std::recursive_mutex mutex;
#endif
};

// Holds a Cs from construction to destruction.
class ORLET_BASES_API CsLocker {
 public:
  explicit CsLocker(const Cs& cs);
  ~CsLocker();
  CsLocker(const CsLocker&) = delete;
  CsLocker& operator=(const CsLocker&) = delete;

 private:
  const Cs& cs;
};

// What one status query of a path (symbolic links followed) tells: enough to
// add the path to a layout without asking the file system again.
struct FileStatus {
  enum Kind : uint32_t {
    kMissing,    // no such path (or a part of it is not a folder)
    kUnknown,    // the status cannot be read (permission, link loop, I/O)
    kDirectory,  // a folder
    kRegularFile,
    kSpecialFile,  // a pipe, socket or device
  };
  Kind kind = kMissing;
  uint64_t size = 0;      // a regular file's size in bytes
  int64_t modified = 0;   // its last modification, in seconds since 1970 (UTC)
  bool readable = false;  // the permission bits let this process read it
  uint64_t device = 0;    // the file's identity: device and inode
  uint64_t inode = 0;
};

// Enumerates one directory: "." and ".." first, then the entries in byte
// order of their names (UTF-16 unit order on Win32), so an enumeration is the
// same on every run. The
// names are read when FindFirst is called; the destructor ends the search.
class ORLET_BASES_API FileFind {
 public:
  FileFind();
  virtual ~FileFind();
  FileFind(const FileFind&) = delete;
  FileFind& operator=(const FileFind&) = delete;

  // pattern: "*" or "*.*" match every name; other patterns match as a shell
  // wildcard. Nonzero when an entry is current.
  int FindFirst(const std::wstring& directory, const std::wstring& pattern);
  // Nonzero when a further entry is current.
  int FindNext();
  // The bare name of the current entry; empty when none is current.
  std::wstring GetFileName() const;
  // One status query of the current entry (symbolic links followed), what
  // QueryFileStatus tells of the directory's path joined with the name. POSIX
  // looks the name up in the directory FindFirst opened, not the whole path
  // again: a walk of many small files spends most of its system time on
  // path lookups. kMissing when no entry is current.
  FileStatus GetFileStatus() const;

 private:
#if defined(_WIN32)
  std::vector<std::wstring> names;  // as FindFirstFileW gives them (UTF-16)
  std::wstring directory;           // as FindFirst was given it, for joins
#else
  std::vector<std::string> names;  // file-system names (bytes)
  int folder = -1;                 // the directory listed, searched by GetFileStatus
  std::string listed;              // its path, for a lookup when no descriptor was left
#endif
  std::size_t position = 0;
};

// Access, share and creation values of FileIo::Open as the home platform
// spells them.
constexpr uint32_t kGenericRead = 0x80000000;
constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kShareRead = 1;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;

// One open file. The destructor closes it.
class ORLET_BASES_API FileIo {
 public:
  FileIo();
  virtual ~FileIo();
  FileIo(const FileIo&) = delete;
  FileIo& operator=(const FileIo&) = delete;

  // access: kGenericRead and/or kGenericWrite; share: kShareRead or 0 (Win32
  // only; ignored on POSIX);
  // creation: kOpenExisting or kCreateAlways. Nonzero when open. Opening
  // again closes the earlier file first.
  virtual int Open(const std::wstring& path, uint32_t access, uint32_t share, uint32_t creation);
  virtual void Close();
  // Size in bytes; 0 when no file is open. A file opened only for reading
  // answers its size at the time it was opened.
  virtual uint64_t GetFileSize();
  // Reads up to size bytes at offset; answers the bytes read, -1 on failure.
  virtual int64_t Read(uint64_t offset, void* buffer, uint32_t size);

 private:
  static constexpr uint64_t kSizeUnknown = UINT64_MAX;
#if defined(_WIN32)
  void* handle = nullptr;  // CreateFileW's; null when no file is open
#else
  int descriptor = -1;
#endif
  uint64_t sizeAtOpen = kSizeUnknown;  // read-only files: the size when opened
};

// One status query of path (file-system bytes, not wide text). readable is
// judged from the permission bits and the process's effective user and groups
// as the kernel judges an open for reading (an effective user of 0 reads
// everything), read once per process; access control lists are not consulted.
// On Windows path is 8-bit text in the ANSI code page, and readable is what
// an open for reading is allowed (access control lists included). Any thread.
ORLET_BASES_API FileStatus QueryFileStatus(const std::string& path);
#ifdef _WIN32
// The same, of a path in the system's own UTF-16 form (every name, whatever
// the ANSI code page).
ORLET_BASES_API FileStatus QueryFileStatus(const std::wstring& path);
#endif

// Text conversions: mbs_to_tcs and tcs_to_mbs (orlet/TextConversion.h).
// The library's text type is already wide: a copy.
ORLET_BASES_API std::wstring tcs_to_wcs(const std::wstring& text,
                                        const std::locale& locale = std::locale());

// Writes the directory of the module that calls it (the shared library or
// program whose code makes the call), terminated, without a trailing
// separator. Answers the number of characters written, 0 when it does not fit
// in size characters or cannot be found.
ORLET_BASES_API uint32_t GetModuleDir(wchar_t* buffer, uint32_t size);

}  // namespace Orlet
