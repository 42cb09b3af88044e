#include "virtual/Sidecar.h"

#include <algorithm>
#include <sstream>

#include "common/BlockIo.h"
#include "mmc/Profiles.h"

namespace starburn {

namespace {

constexpr const char* kMagic = "starburn-virtual-disc";
constexpr int kVersion = 1;

const char* DiscWord(const DiscRecord& record) {
  if (record.medium->kind == MediumClass::kOverwritable) {
    return record.formatted ? "formatted" : "unformatted";
  }
  if (record.complete) return "complete";
  if (record.erasing) return "erasing";
  return record.Blank() ? "blank" : "appendable";
}

StarBurnStatus Bad(int line, const std::string& message, std::string* error) {
  *error = "line " + std::to_string(line) + ": " + message;
  return STARBURN_STATUS_BAD_CONFIGURATION;
}

bool ParseBlocks(const std::string& word, uint32_t* value) {
  if (word.empty() || word.size() > 10 ||
      word.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const uint64_t number = std::stoull(word);
  if (number > UINT32_MAX) return false;
  *value = static_cast<uint32_t>(number);
  return true;
}

}  // namespace

uint64_t DiscRecord::RecordedEnd() const {
  for (auto session = sessions.rbegin(); session != sessions.rend(); ++session) {
    if (!session->tracks.empty()) return session->tracks.back().End();
  }
  return 0;
}

std::string SidecarPathOf(const std::string& imagePath) { return imagePath + ".state"; }

std::string FormatSidecar(const DiscRecord& record) {
  std::ostringstream text;
  text << "# The state of the virtual disc whose data is in the image beside this file\n"
          "# (block n at byte n * 2048). Tracks: start block and number of blocks.\n";
  text << kMagic << ' ' << kVersion << '\n';
  text << "medium " << record.medium->name << '\n';
  text << "disc " << DiscWord(record) << '\n';
  for (const SessionRecord& session : record.sessions) {
    text << "session " << (session.closed ? "closed" : "open") << '\n';
    for (const TrackExtent& track : session.tracks) {
      text << "track " << track.start;
      switch (track.state) {
        case TrackExtent::State::kClosed:
          text << ' ' << track.blocks;
          break;
        case TrackExtent::State::kDamaged:
          text << ' ' << track.blocks << " damaged";
          break;
        case TrackExtent::State::kOpen:
          text << " open";
          break;
      }
      text << '\n';
    }
  }
  return text.str();
}

StarBurnStatus ParseSidecar(const std::string& text, DiscRecord* record, std::string* error) {
  *record = DiscRecord();
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  bool sawMagic = false;
  bool openTrack = false;
  std::string disc;
  while (std::getline(lines, line)) {
    ++number;
    std::istringstream words(line);
    std::string key;
    if (!(words >> key) || key[0] == '#') continue;
    std::vector<std::string> values;
    for (std::string word; words >> word;) values.push_back(word);
    if (!sawMagic) {
      if (key != kMagic) return Bad(number, std::string("expected \"") + kMagic + " 1\"", error);
      if (values.size() != 1 || values[0] != std::to_string(kVersion)) {
        return Bad(number, "unknown sidecar version (this SDK reads version 1)", error);
      }
      sawMagic = true;
    } else if (key == "medium" && values.size() == 1 && record->medium == nullptr) {
      record->medium = FindMedium(values[0]);
      if (record->medium == nullptr)
        return Bad(number, "unknown medium \"" + values[0] + "\"", error);
    } else if (key == "disc" && values.size() == 1 && disc.empty()) {
      disc = values[0];
    } else if (key == "session" && values.size() == 1 &&
               (values[0] == "closed" || values[0] == "open")) {
      record->sessions.push_back(SessionRecord{values[0] == "closed", {}});
    } else if (key == "track" && (values.size() == 2 || values.size() == 3)) {
      if (record->sessions.empty()) return Bad(number, "a track before any session", error);
      if (openTrack) return Bad(number, "only the last track can be open", error);
      TrackExtent track;
      const bool open = values.size() == 2 && values[1] == "open";
      if (open) {
        track.state = TrackExtent::State::kOpen;
        openTrack = true;
      } else if (values.size() == 3 && values[2] == "damaged") {
        track.state = TrackExtent::State::kDamaged;
      } else if (values.size() == 3) {
        return Bad(number, "a track is closed, \"damaged\" or \"open\"", error);
      }
      if (!ParseBlocks(values[0], &track.start) ||
          (!open && !ParseBlocks(values[1], &track.blocks))) {
        return Bad(number, "a track needs a start block and a number of blocks", error);
      }
      if (open && record->sessions.back().closed) {
        return Bad(number, "an open track lies in a closed session", error);
      }
      record->sessions.back().tracks.push_back(track);
    } else {
      return Bad(number, "cannot read \"" + line + "\"", error);
    }
  }
  if (!sawMagic) return Bad(number, "empty sidecar", error);
  if (record->medium == nullptr) return Bad(number, "no \"medium\" line", error);
  const bool overwritable = record->medium->kind == MediumClass::kOverwritable;
  if (overwritable && (disc == "formatted" || disc == "unformatted")) {
    record->formatted = disc == "formatted";
  } else if (!overwritable && disc == "erasing") {
    record->erasing = true;
  } else if (!overwritable && (disc == "blank" || disc == "appendable" || disc == "complete")) {
    record->complete = disc == "complete";
    if (record->complete && openTrack)
      return Bad(number, "a complete disc has an open track", error);
    if ((disc == "blank") != record->Blank()) {
      return Bad(number,
                 "the disc is \"" + disc + "\" but " +
                     (record->Blank() ? "no session is listed" : "sessions are listed"),
                 error);
    }
  } else {
    return Bad(number,
               overwritable ? "expected \"disc formatted\" or \"disc unformatted\""
                            : "expected \"disc blank\", \"disc appendable\" or \"disc complete\"",
               error);
  }
  return STARBURN_OK;
}

DiscRecord RecordOfImage(const Medium& medium, uint64_t imageBytes) {
  DiscRecord record;
  record.medium = &medium;
  const uint64_t blocks = (imageBytes + kBlockSize - 1) / kBlockSize;
  switch (medium.kind) {
    case MediumClass::kOverwritable:
      // A DVD-RAM comes formatted, and a DVD-RW in restricted overwrite is
      // one formatted so; others are formatted once they hold data.
      record.formatted = blocks > 0 || medium.profile == profile::kDvdRam ||
                         medium.profile == profile::kDvdRwRestrictedOverwrite || medium.stateless;
      break;
    case MediumClass::kReadOnly:
    case MediumClass::kSequential:
      if (blocks > 0) {
        record.sessions.push_back(SessionRecord{
            true, {TrackExtent{0, static_cast<uint32_t>(std::min<uint64_t>(blocks, UINT32_MAX))}}});
      }
      record.complete = medium.kind == MediumClass::kReadOnly;
      break;
  }
  return record;
}

bool SettleInterruption(DiscRecord* record, uint64_t imageBytes) {
  if (record->erasing) {
    record->erasing = false;
    record->complete = false;
    record->sessions.clear();
    return true;
  }
  if (record->sessions.empty() || record->sessions.back().tracks.empty() ||
      record->sessions.back().tracks.back().state != TrackExtent::State::kOpen) {
    return false;
  }
  SessionRecord& last = record->sessions.back();
  TrackExtent& track = last.tracks.back();
  const uint64_t imageBlocks = (imageBytes + kBlockSize - 1) / kBlockSize;
  if (imageBlocks > track.start) {
    track.blocks = static_cast<uint32_t>(std::min<uint64_t>(imageBlocks - track.start, UINT32_MAX));
    track.state = TrackExtent::State::kDamaged;
  } else {
    last.tracks.pop_back();
    if (last.tracks.empty()) record->sessions.pop_back();
  }
  return true;
}

StarBurnStatus CheckDiscRecord(const DiscRecord& record, uint32_t capacity, bool imageExists,
                               uint64_t imageBytes, std::string* error) {
  const Medium& medium = *record.medium;
  const uint64_t imageBlocks = (imageBytes + kBlockSize - 1) / kBlockSize;
  if (medium.kind == MediumClass::kOverwritable) {
    if (!record.sessions.empty()) {
      *error = std::string("a ") + medium.name + " lists no sessions (its data is the image)";
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
    if (!record.formatted && imageBlocks > 0) {
      *error = "it says the disc is unformatted, but the image holds data";
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
    if (imageBlocks > capacity) {
      *error = "the image (" + std::to_string(imageBlocks) + " blocks) is larger than a " +
               medium.name + " (" + std::to_string(capacity) + " blocks)";
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
    return STARBURN_OK;
  }
  if (medium.kind == MediumClass::kReadOnly && !record.complete) {
    *error = std::string("a ") + medium.name + " is always complete";
    return STARBURN_STATUS_BAD_CONFIGURATION;
  }
  uint64_t previousEnd = 0;
  int number = 0;
  for (std::size_t s = 0; s < record.sessions.size(); ++s) {
    const SessionRecord& session = record.sessions[s];
    if (session.tracks.empty()) {
      *error = "session " + std::to_string(s + 1) + " has no track";
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
    if (!session.closed && (s + 1 != record.sessions.size() || record.complete)) {
      *error = "session " + std::to_string(s + 1) +
               " is open, but only the last session of an appendable disc can be";
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
    for (const TrackExtent& track : session.tracks) {
      ++number;
      if (track.state == TrackExtent::State::kOpen) continue;  // settled before the check
      if (track.blocks == 0 || (number > 1 && track.start < previousEnd) ||
          track.End() > capacity) {
        *error = "track " + std::to_string(number) + " (start " + std::to_string(track.start) +
                 ", " + std::to_string(track.blocks) +
                 " blocks) overlaps the one before, is empty or lies beyond the disc's " +
                 std::to_string(capacity) + " blocks";
        return STARBURN_STATUS_BAD_CONFIGURATION;
      }
      previousEnd = track.End();
    }
  }
  if (previousEnd > 0 && (!imageExists || imageBlocks < previousEnd)) {
    *error = "it records data up to block " + std::to_string(previousEnd) + ", but the image " +
             (imageExists ? "ends at block " + std::to_string(imageBlocks) : "does not exist");
    return STARBURN_STATUS_BAD_CONFIGURATION;
  }
  if (imageBlocks > previousEnd && medium.kind != MediumClass::kReadOnly) {
    // Nothing writes past the recorded tracks without recording an open track
    // first: such data was put there by hand, or the state file was edited.
    *error = "the image holds data up to block " + std::to_string(imageBlocks) +
             (previousEnd == 0 ? ", but it records a blank disc"
                               : ", beyond the recorded tracks, which end at block " +
                                     std::to_string(previousEnd));
    return STARBURN_STATUS_BAD_CONFIGURATION;
  }
  return STARBURN_OK;
}

}  // namespace starburn
