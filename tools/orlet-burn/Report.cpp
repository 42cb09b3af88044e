#include "Report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "Commands.h"

namespace orletburn {

namespace {

std::mutex lines;  // one line at a time, from any thread
Voice voice = Voice::kWords;
bool lineOpen = false;  // guarded by lines: a drawn line waits for its end
std::string lastError;  // guarded by lines: the result's text when none is given

// Bytes that are not UTF-8 (file names are bytes) are replaced rather than
// refused, so that a name can never make a line unwritable.
void Emit(const nlohmann::ordered_json& object) {
  std::lock_guard<std::mutex> lock(lines);
  std::fputs(object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str(),
             stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Problem(const char* type, const char* prefix, const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(lines);
    if (lineOpen) std::fputc('\n', stdout);
    lineOpen = false;
    std::fflush(stdout);
    std::fprintf(stderr, "orlet-burn: %s%s\n", prefix, text.c_str());
    if (*prefix == '\0') lastError = text;
  }
  if (voice == Voice::kJson) Emit({{"type", type}, {"text", text}});
}

const char* Status(int exitCode) {
  switch (exitCode) {
    case kExitOk:
      return "done";
    case kExitUsage:
      return "usage";
    case kExitCancelled:
      return "cancelled";
    case kExitDifferences:
      return "differences";
    default:
      return "failed";
  }
}

}  // namespace

void SetVoice(Voice chosen) { voice = chosen; }
bool SpeaksJson() { return voice == Voice::kJson; }
bool SpeaksWords() { return voice == Voice::kWords; }

void Say(const std::string& text) {
  if (voice == Voice::kJson) {
    // The indent that sets a line under its heading means nothing here.
    Emit({{"type", "message"},
          {"text", text.substr(std::min(text.find_first_not_of(' '), text.size()))}});
  } else if (voice == Voice::kWords) {
    std::lock_guard<std::mutex> lock(lines);
    std::printf("%s%s\n", lineOpen ? "\n" : "", text.c_str());
    lineOpen = false;
    std::fflush(stdout);
  }
}

void Draw(const std::string& text) {
  if (voice != Voice::kWords) return;
  std::lock_guard<std::mutex> lock(lines);
  // The rest of the line is cleared (ESC [ K), so that a shorter figure
  // leaves nothing behind.
  std::printf("\r%s\x1b[K", text.c_str());
  lineOpen = true;
  std::fflush(stdout);
}

std::string Format(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list again;
  va_copy(again, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, arguments);
  va_end(arguments);
  std::vector<char> text(static_cast<std::size_t>(length < 0 ? 0 : length) + 1);
  std::vsnprintf(text.data(), text.size(), format, again);
  va_end(again);
  return text.data();
}

void Error(const std::string& text) { Problem("error", "", text); }
void Warning(const std::string& text) { Problem("warning", "warning: ", text); }

void Event(const char* job, const char* phase, int event, int detail, const std::string& text) {
  if (voice == Voice::kJson) {
    Emit({{"type", "event"},
          {"job", job},
          {"phase", phase},
          {"event", event},
          {"detail", detail},
          {"text", text}});
  } else {
    Say("  " + text);
  }
}

void Record(const char* type, const nlohmann::ordered_json& fields) {
  if (voice != Voice::kJson) return;
  nlohmann::ordered_json object = {{"type", type}};
  object.update(fields);
  Emit(object);
}

int Finish(int exitCode, const std::string& text) {
  if (voice == Voice::kJson) {
    std::string said = text;
    if (said.empty() && exitCode != kExitOk) {
      std::lock_guard<std::mutex> lock(lines);
      said = lastError;
    }
    Emit({{"type", "result"}, {"exit", exitCode}, {"status", Status(exitCode)}, {"text", said}});
  }
  return exitCode;
}

}  // namespace orletburn
