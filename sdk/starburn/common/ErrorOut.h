#pragma once

#include <cstdint>
#include <string>

#include "starburn/StarBurn.h"

namespace starburn {

// The error outputs of a call: the caller's error-text buffer, its size and the
// system-error out-value. Any may be null. Writing always terminates the text
// within the buffer.
struct ErrorOut {
  char* text = nullptr;
  uint32_t size = 0;
  uint32_t* systemError = nullptr;

  // Clears the text and the system error at the start of a call.
  void Clear() const;
  // Writes "message" (cut to the buffer) and systemErrorValue; answers status.
  StarBurnStatus Fail(StarBurnStatus status, const std::string& message,
                      uint32_t systemErrorValue = 0) const;
};

// Copies text into a buffer of size bytes, terminated. Answers false (and
// writes an empty text) when it does not fit whole.
bool CopyText(const std::string& text, char* buffer, uint32_t size);

}  // namespace starburn
