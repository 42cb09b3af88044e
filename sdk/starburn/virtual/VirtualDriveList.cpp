#include "virtual/VirtualDriveList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>

#include "common/Environment.h"
#include "devices/DeviceRegistry.h"
#include "virtual/EmulatedRecorder.h"
#include "virtual/Medium.h"

namespace starburn {

namespace {

constexpr const char* kEmpty = "empty";

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

StarBurnStatus ParseVirtualDriveList(const std::string& text, std::vector<VirtualDriveSpec>* out,
                                     std::string* error) {
  out->clear();
  std::size_t begin = 0;
  int number = 0;
  while (begin <= text.size()) {
    std::size_t end = text.find(';', begin);
    if (end == std::string::npos) end = text.size();
    const std::string entry = Trim(text.substr(begin, end - begin));
    begin = end + 1;
    if (entry.empty()) continue;
    ++number;
    const std::string where = "entry " + std::to_string(number) + " \"" + entry + "\": ";
    const std::size_t equals = entry.find('=');
    VirtualDriveSpec spec;
    spec.medium = Lower(Trim(entry.substr(0, equals)));
    const std::string path = equals == std::string::npos ? "" : Trim(entry.substr(equals + 1));
    if (spec.medium == kEmpty) {
      if (!path.empty()) {
        *error = where + "an empty drive holds no disc, so it takes no image path";
        return STARBURN_STATUS_BAD_CONFIGURATION;
      }
    } else if (FindMedium(spec.medium) == nullptr) {
      *error =
          where + "unknown medium \"" + spec.medium + "\"; media: " + MediumNames() + " " + kEmpty;
      return STARBURN_STATUS_BAD_CONFIGURATION;
    } else if (path.empty()) {
      *error = where + "expected MEDIUM=PATH, the path of the disc's image file";
      return STARBURN_STATUS_BAD_CONFIGURATION;
    } else {
      // The path is UTF-8 on every platform; on Windows it comes back with
      // backslashes, its drive letter kept.
      std::error_code failed;
      const std::filesystem::path absolute =
          std::filesystem::absolute(std::filesystem::u8path(path), failed);
      if (failed) {
        *error = where + "cannot resolve the path: " + failed.message();
        return STARBURN_STATUS_BAD_CONFIGURATION;
      }
      spec.path = absolute.lexically_normal().u8string();
    }
    out->push_back(spec);
  }
  return STARBURN_OK;
}

StarBurnStatus VirtualDriveModel(DriveModel* out, std::string* error) {
  constexpr const char* kQuirksVariable = "STARBURN_VIRTUAL_QUIRKS";
  std::string quirks;
  ReadEnvironment(kQuirksVariable, &quirks);
  const StarBurnStatus status = DriveModel::WithQuirks(quirks, out, error);
  if (status != STARBURN_OK) *error = std::string(kQuirksVariable) + ": " + *error;
  return status;
}

StarBurnStatus AttachVirtualDriveList(const std::string& text, const DriveModel& model,
                                      std::string* error) {
  std::vector<VirtualDriveSpec> specs;
  StarBurnStatus status = ParseVirtualDriveList(text, &specs, error);
  if (status != STARBURN_OK) return status;
  std::vector<std::shared_ptr<DriveBackend>> backends;
  for (std::size_t i = 0; i < specs.size(); ++i) {
    const VirtualDriveSpec& spec = specs[i];
    std::shared_ptr<EmulatedRecorder> recorder;
    std::string problem;
    status = EmulatedRecorder::Create(spec.medium == kEmpty ? nullptr : FindMedium(spec.medium),
                                      spec.path, model, &recorder, &problem);
    if (status != STARBURN_OK) {
      *error = "entry " + std::to_string(i + 1) + " (" + spec.medium + "): " + problem;
      return status;
    }
    backends.push_back(recorder);
  }
  return DeviceRegistry::Instance().AttachVirtual(backends, error);
}

}  // namespace starburn
