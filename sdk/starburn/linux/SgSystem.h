#pragma once

// The Linux system calls through which the SDK reaches real drives: listing
// device nodes, opening and closing them, ioctl (SG_IO and the SCSI address
// queries), the group that owns a node and where a node's disc is mounted. The SG_IO transport and
// the drive discovery make no other system call, so tests put a scripted kernel in their place (one
// that answers with a vanished device, a short transfer or a node the user may not open) without a
// drive or /dev.
//
// Threads: every member may be called from any thread at once.

#include <memory>
#include <string>
#include <vector>

namespace starburn {

class SgSystem {
 public:
  virtual ~SgSystem() = default;
  // Names in directory that begin with prefix followed by a number ("sr0",
  // "sr12"), in the order of their numbers. Empty when the directory cannot
  // be read.
  virtual std::vector<std::string> List(const std::string& directory,
                                        const std::string& prefix) = 0;
  // open(2): a descriptor, or -errno.
  virtual int Open(const std::string& path, int flags) = 0;
  virtual void Close(int fd) = 0;
  // ioctl(2) with a pointer argument: 0, or -errno.
  virtual int Ioctl(int fd, unsigned long request, void* argument) = 0;
  // The name of the group that owns path ("cdrom"); empty when unknown.
  virtual std::string GroupOf(const std::string& path) = 0;
  // Where the disc in the drive at node is mounted ("/media/me/PHOTOS"), as
  // the system's mount table lists it; empty when it is not.
  virtual std::string MountPointOf(const std::string& node) = 0;

  // The running kernel; lives for the process.
  static std::shared_ptr<SgSystem> Kernel();
};

}  // namespace starburn
