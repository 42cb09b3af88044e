#include "mmc/CommandLog.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

#include "common/Environment.h"
#include "common/SystemFile.h"
#include "mmc/Cdb.h"
#include "mmc/Sense.h"

namespace starburn {

namespace {

constexpr const char* kLogVariable = "STARBURN_LOG";

struct LogFile {
  std::mutex mutex;
  SystemFile file;  // written under mutex; open for the life of the process

  LogFile() {
    std::string name;
    if (!ReadEnvironment(kLogVariable, &name) || name.empty()) return;
    int code = 0;
    if (name == "-" || name == "stderr") {
      file = SystemFile::StandardError();
    } else if (!file.Open(name, SystemFile::Mode::kAppend, &code)) {
      std::fprintf(stderr, "starburn: %s=%s cannot be opened: %s\n", kLogVariable, name.c_str(),
                   SystemErrorText(code).c_str());
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

bool CommandLog::Enabled() { return Log().file.IsOpen(); }

void CommandLog::Write(const ScsiCommand& command, const ScsiResult& result,
                       std::chrono::steady_clock::duration took) {
  LogFile& log = Log();
  if (!log.file.IsOpen()) return;
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
  char head[96];
  std::snprintf(head, sizeof head, "%s %-28s [", stamp, CommandName(command.cdb[0]));
  char tail[64];
  std::snprintf(tail, sizeof tail, "] %u bytes %s, %lld us: ", command.length,
                DirectionOf(command.direction), static_cast<long long>(micros));
  const std::string line = head + cdb + tail + outcome + "\n";
  std::lock_guard<std::mutex> lock(log.mutex);
  int ignored = 0;
  log.file.Write(line.data(), line.size(), &ignored);  // one write: lines never interleave
}

}  // namespace starburn
