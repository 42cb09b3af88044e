#include "common/ErrorOut.h"

#include <cstring>

namespace starburn {

void ErrorOut::Clear() const {
  if (text != nullptr && size > 0) text[0] = '\0';
  if (systemError != nullptr) *systemError = 0;
}

StarBurnStatus ErrorOut::Fail(StarBurnStatus status, const std::string& message,
                              uint32_t systemErrorValue) const {
  if (text != nullptr && size > 0) {
    const std::size_t length = std::min<std::size_t>(message.size(), size - 1);
    std::memcpy(text, message.data(), length);
    text[length] = '\0';
  }
  if (systemError != nullptr) *systemError = systemErrorValue;
  return status;
}

bool CopyText(const std::string& text, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return false;
  if (text.size() + 1 > size) {
    buffer[0] = '\0';
    return false;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace starburn
