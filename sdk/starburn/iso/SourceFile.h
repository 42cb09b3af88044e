#pragma once

// What the image engine asks of a new file's source: one status query when
// the file is added, then nothing by path until its data is streamed, when
// the open handle is checked against what the query saw.

#include <sys/stat.h>

namespace starburn {
namespace iso {

// Whether an open for reading would pass the permission check, judged from
// the status as the kernel judges it (the owner's bits for the owner, the
// group's for a member, the others' for the rest; an effective user of 0
// reads everything), so adding a file costs no call of its own. The process's
// user and groups are read once. Access control lists are not consulted: a
// file they close is reported when the stream opens it. Any thread.
bool ReadableByProcess(const struct stat& info);

}  // namespace iso
}  // namespace starburn
