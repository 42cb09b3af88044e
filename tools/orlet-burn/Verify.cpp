// verify: reads the disc's last session back through the SDK and compares
// every source file's name, size and content with what the disc holds.

#include <starburn/StarBurn.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Commands.h"
#include "DiscReader.h"
#include "DriveUse.h"
#include "Omissions.h"
#include "Report.h"
#include "Session.h"
#include "System.h"
#include "Text.h"

namespace orletburn {

namespace {

// One difference: said as "  PATH: TEXT", and a "difference" object with --json.
void Differ(const std::string& shown, const std::string& text) {
  Say("  " + shown + ": " + text);
  Record("difference", {{"path", shown}, {"text", text}});
}

// Sources to compare: each one's name on the disc and its path here.
using Sources = std::vector<std::pair<std::string, std::string>>;
// A source as the burn took it: a folder's path ending in '/' stands for its
// entries at the disc's root, any other path for itself.
void AddSource(const std::string& path, Sources* sources) {
  std::vector<std::string> names;
  if (path.size() > 1 && IsSeparator(path.back()) && StatusOf(path).kind == EntryStatus::kFolder &&
      ListFolder(path, &names) == 0) {
    for (const std::string& name : names) sources->emplace_back(name, path + name);
    return;
  }
  sources->emplace_back(LastElement(path), path);
}

// A disc folder's entries by name.
using Kids = std::map<std::string, void*>;

// A name longer than a Joliet name can be (103 UTF-16 units, the long-name
// limit disc writers use) is shortened on the disc, keeping its beginning; a
// match must keep at least this many characters of it.
constexpr std::size_t kJolietNameUnits = 103;
constexpr std::size_t kKeptPrefix = 32;

// Where wide characters are UTF-16 units already (Windows), their count.
std::size_t Utf16Units(const std::wstring& text) {
  if (sizeof(wchar_t) == 2) return text.size();
  std::size_t units = 0;
  for (wchar_t c : text) units += (static_cast<uint32_t>(c) >> 16) != 0 ? 2 : 1;
  return units;
}

// How a source stands on the disc under another name: cut to fit (a file
// whose name is longer than a Joliet name can be, found by the beginning of
// its name and by its content), or with each character the disc cannot hold
// written as "_" (a control character, * / : ; ? \\) or as U+FFFD (a byte that
// is not UTF-8).
enum class Stored { kShortened, kReplaced };

// Whether disc is name with some of its characters replaced.
bool Replaced(const std::wstring& name, const std::wstring& disc) {
  constexpr wchar_t kReplacement = 0xFFFD;
  if (name.size() != disc.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] != disc[i] && disc[i] != L'_' && disc[i] != kReplacement) return false;
  }
  return true;
}

// The disc's entry that holds the source `name` (at `source`) under another
// name, and how; kids.end() when none.
Kids::iterator StoredOnDisc(DiscReader& disc, Kids& kids, const std::string& name,
                            const std::string& source, Stored* how) {
  const std::wstring wide = Wide(name);
  for (auto kid = kids.begin(); kid != kids.end(); ++kid) {
    if (Replaced(wide, Wide(kid->first))) {
      *how = Stored::kReplaced;
      return kid;
    }
  }
  if (Utf16Units(wide) <= kJolietNameUnits) return kids.end();
  const EntryStatus info = StatusOf(source);
  if (info.error != 0 || info.kind != EntryStatus::kFile) return kids.end();
  const std::wstring kept = wide.substr(0, kKeptPrefix);
  for (auto kid = kids.begin(); kid != kids.end(); ++kid) {
    if (Wide(kid->first).compare(0, kept.size(), kept) != 0 || disc.IsDirectory(kid->second) ||
        disc.SizeOf(kid->second) != info.size || !disc.SameContent(kid->second, source)) {
      continue;
    }
    *how = Stored::kShortened;
    return kid;
  }
  return kids.end();
}

unsigned Compare(DiscReader& disc, const std::string& path, void* node, const std::string& shown,
                 unsigned* shortened);

// "folder/name", or name alone in no folder.
// The shown path of name in the shown folder, its control characters escaped.
std::string Within(const std::string& folder, const std::string& name) {
  if (folder.empty()) return Printable(name);
  std::string path = folder;
  path += '/';
  path += Printable(name);
  return path;
}

// Finds each source (its name on the disc, its path here) among the kids of a
// disc folder, by name or under a shortened name, and compares the two; takes
// what it found out of kids. Counts what differs, and in *shortened the files
// found under a shortened name. shownFolder: the folder as messages show it.
unsigned CompareEach(DiscReader& disc, const Sources& sources, Kids& kids,
                     const std::string& shownFolder, unsigned* shortened) {
  unsigned differences = 0;
  Sources unmatched;
  for (const auto& [name, source] : sources) {
    const std::string shown = Within(shownFolder, name);
    auto found = kids.find(name);
    if (found == kids.end()) {
      unmatched.emplace_back(name, source);
      continue;
    }
    differences += Compare(disc, source, found->second, shown, shortened);
    kids.erase(found);
  }
  // Only what no name matched can have been stored under a shortened name.
  for (const auto& [name, source] : unmatched) {
    const std::string shown = Within(shownFolder, name);
    Stored how = Stored::kShortened;
    auto stored = StoredOnDisc(disc, kids, name, source, &how);
    if (stored == kids.end()) {
      Differ(shown, "missing on the disc");
      ++differences;
      continue;
    }
    Say(Format("  %s: stored as \"%s\" (%s)", shown.c_str(), Printable(stored->first).c_str(),
               how == Stored::kShortened ? "the name is too long for the disc"
                                         : "the disc cannot hold some of its characters"));
    if (how == Stored::kReplaced) {
      differences += Compare(disc, source, stored->second, shown, shortened);
    }
    ++*shortened;
    kids.erase(stored);
  }
  return differences;
}

// Compares the source at path with the disc's node; counts what differs, and
// in *shortened the files found under a shortened name.
unsigned Compare(DiscReader& disc, const std::string& path, void* node, const std::string& shown,
                 unsigned* shortened) {
  const EntryStatus info = StatusOf(path);
  if (info.error != 0) {
    Differ(Printable(path), "the source cannot be read");
    return 1;
  }
  if (info.kind == EntryStatus::kFolder) {
    if (!disc.IsDirectory(node)) {
      Differ(shown, "a folder here, a file on the disc");
      return 1;
    }
    std::vector<std::string> names;
    if (ListFolder(path, &names) != 0 && names.empty()) return 1;
    Sources sources;
    for (const std::string& name : names) sources.emplace_back(name, Within(path, name));
    auto kids = disc.Kids(node);
    unsigned differences = CompareEach(disc, sources, kids, shown, shortened);
    for (const auto& extra : kids) {
      Differ(shown + "/" + Printable(extra.first), "only on the disc");
      ++differences;
    }
    return differences;
  }
  if (disc.IsDirectory(node)) {
    Differ(shown, "a file here, a folder on the disc");
    return 1;
  }
  const unsigned long long size = disc.SizeOf(node);
  if (size != info.size) {
    Differ(shown, Format("%llu bytes on the disc, %llu here", size,
                         static_cast<unsigned long long>(info.size)));
    return 1;
  }
  if (!disc.SameContent(node, path)) {
    Differ(shown, "the content differs");
    return 1;
  }
  return 0;
}

}  // namespace

int VerifyDisc(const Options& options) {
  if (options.paths.empty()) {
    Error("verify needs the files and folders to compare with");
    return kExitUsage;
  }
  Session session;
  Orlet::DriveInfo info;
  if (!session.Open(options.virtualDrives) || !session.Drive(options.drive, info)) {
    return kExitFailed;
  }
  DiscReader disc;
  if (!disc.Open(Utf8(info.deviceName))) {
    Error(Format("the disc's last session cannot be read: %s",
                 HeldByAnotherProgram(info) ? kHeldElsewhere : disc.error));
    return kExitFailed;
  }
  Say(Format("verifying drive %zu (%s) against %zu source(s)", session.Index(),
             Utf8(info.volumeLabel).c_str(), options.paths.size()));
  Sources sources;
  for (const auto& path : options.paths) AddSource(path, &sources);
  auto top = disc.Kids(disc.Root());
  unsigned shortened = 0;
  const unsigned differences = CompareEach(disc, sources, top, "", &shortened);
  if (!top.empty()) {
    Say(Format("  (%zu other entr%s on the disc, from earlier sessions or other sources)",
               top.size(), top.size() == 1 ? "y" : "ies"));
  }
  if (differences != 0) {
    Say(Format("%u difference%s", differences, differences == 1 ? "" : "s"));
    return kExitDifferences;
  }
  if (shortened != 0) {
    Say(
        Format("verified: every file matches in size and content, and in name but for %u "
               "name%s changed to fit the disc",
               shortened, shortened == 1 ? "" : "s"));
  } else {
    Say("verified: every file matches in name, size and content");
  }
  return kExitOk;
}

}  // namespace orletburn
