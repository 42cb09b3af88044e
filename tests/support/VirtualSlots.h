#pragma once

#include <cstddef>
#include <cstring>

namespace support {

// The entry of a virtual operation in its class's table. Under the Itanium C++
// ABI a pointer to a virtual member function holds 1 + the entry's byte offset
// in the table; a virtual destructor fills two entries (complete and deleting).
// Answers -1 for a pointer that does not name a virtual operation.
template <typename Member>
std::ptrdiff_t VirtualSlot(Member member) {
  static_assert(sizeof(Member) == 2 * sizeof(void*), "Itanium member-function pointer");
  std::ptrdiff_t raw = 0;
  std::memcpy(&raw, &member, sizeof raw);
  if (raw % static_cast<std::ptrdiff_t>(sizeof(void*)) != 1) return -1;
  return (raw - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

}  // namespace support
