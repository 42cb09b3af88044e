#include "mmc/CommandLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "mmc/Cdb.h"
#include "mmc/Sense.h"

namespace starburn {

namespace {

constexpr const char* kLogVariable = "STARBURN_LOG";

struct LogFile {
  std::mutex mutex;
  FILE* file = nullptr;  // guarded by mutex; never closed (lives with the process)

  LogFile() {
    const char* name = std::getenv(kLogVariable);
    if (name == nullptr || *name == '\0') return;
    if (std::strcmp(name, "-") == 0 || std::strcmp(name, "stderr") == 0) {
      file = stderr;
    } else {
      file = std::fopen(name, "a");
      if (file == nullptr) {
        std::fprintf(stderr, "starburn: %s=%s cannot be opened: %s\n", kLogVariable, name,
                     std::strerror(errno));
      }
    }
  }
};

LogFile& Log() {
  static LogFile log;
  return log;
}

const char* DirectionOf(DataDirection direction) {
  switch (direction) {
    case DataDirection::kFromDevice:
      return "in";
    case DataDirection::kToDevice:
      return "out";
    default:
      return "none";
  }
}

}  // namespace

bool CommandLog::Enabled() { return Log().file != nullptr; }

void CommandLog::Write(const ScsiCommand& command, const ScsiResult& result,
                       std::chrono::steady_clock::duration took) {
  LogFile& log = Log();
  if (log.file == nullptr) return;
  std::string cdb;
  for (uint8_t i = 0; i < command.cdbLength; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", command.cdb[i]);
    cdb += hex;
  }
  std::string outcome;
  if (result.transport != STARBURN_OK) {
    outcome = "transport: " + result.transportError;
  } else if (result.status == 0) {
    outcome = "good";
  } else {
    char status[32];
    std::snprintf(status, sizeof status, "status %02Xh", result.status);
    outcome = status;
    if (result.senseLength > 0) {
      outcome += ": " + DescribeSense(DecodeSense(result.sense.data(), result.senseLength));
    }
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
  std::lock_guard<std::mutex> lock(log.mutex);
  std::fprintf(log.file, "%s %-28s [%s] %u bytes %s, %lld us: %s\n", stamp,
               CommandName(command.cdb[0]), cdb.c_str(), command.length,
               DirectionOf(command.direction), static_cast<long long>(micros), outcome.c_str());
  std::fflush(log.file);
}

}  // namespace starburn
