#include "iso/FileTree.h"

#include "iso/Utf.h"

namespace starburn {
namespace iso {

const std::vector<uint32_t> Node::kNoKids;
const std::vector<Extent> Node::kNoExtents;

FileTree::FileTree(bool level2, bool jolietSpace)
    : iso(level2 ? NamePolicy::Space::kIsoLevel2 : NamePolicy::Space::kIsoLevel1) {
  if (jolietSpace) joliet = std::make_unique<NamePolicy>(NamePolicy::Space::kJoliet);
  Node root;
  root.directory = true;
  root.Lists();
  arena.Store("", &root.name);
  // The root has no name: its identifiers are empty, not a mapping.
  isoKept.emplace_back();
  root.isoKept = 1;
  jolietKept.emplace_back();
  root.jolietKept = 1;
  nodes.push_back(std::move(root));
}

std::u16string_view FileTree::Bare(bool jolietSpace, std::u16string_view identifier) {
  // A file and a directory of the same name clash too: readers drop the
  // version suffix and would show two entries of one name.
  if (jolietSpace || identifier.empty() || identifier.back() != u'.') return identifier;
  return identifier.substr(0, identifier.size() - 1);
}

uint64_t FileTree::Hash(uint32_t parent, std::u16string_view bare) {
  return std::hash<std::u16string_view>()(bare) * 1099511628211ull + parent;
}

bool FileTree::Taken(bool jolietSpace, uint32_t parent, const std::u16string& identifier) const {
  const std::u16string_view bare = Bare(jolietSpace, identifier);
  const auto& taken = jolietSpace ? jolietTaken : isoTaken;
  return taken.Any(Hash(parent, bare), [&](uint32_t index) {
    const Node& node = nodes[index];
    if (node.parent != parent || node.removed) return false;
    // A kept identifier is compared where it is; only a mapped one is made.
    const uint32_t kept = jolietSpace ? node.jolietKept : node.isoKept;
    if (kept != 0) return Bare(jolietSpace, (jolietSpace ? jolietKept : isoKept)[kept - 1]) == bare;
    return Bare(jolietSpace, Identifier(index, jolietSpace)) == bare;
  });
}

StarBurnStatus FileTree::ChooseIdentifier(bool jolietSpace, uint32_t parent,
                                          const std::u16string& name, bool directory,
                                          const RewriteQuestion& ask, Choice* chosen) {
  const NamePolicy& policy = jolietSpace ? *joliet : iso;
  const std::u16string first = policy.Map(name, directory);
  std::u16string candidate = first;
  for (int round = 0; round <= kMaxRewriteRounds; ++round) {
    if (!Taken(jolietSpace, parent, candidate)) {
      chosen->mapped = round == 0;
      chosen->identifier = std::move(candidate);
      return STARBURN_OK;
    }
    if (!ask || round == kMaxRewriteRounds) break;
    std::u16string answer = candidate;
    if (!ask(jolietSpace, &answer)) break;
    const std::u16string rewritten = policy.MapRewritten(candidate, answer, directory);
    if (rewritten.empty()) break;
    candidate = rewritten;
  }
  // Numbers count up per directory, so a folder of many clashing names costs
  // one look-up per name, not one per sibling.
  uint32_t& next = nodes[parent].Lists().nextNumber[jolietSpace ? 1 : 0];
  for (std::size_t tries = 0; tries <= nodes[parent].Kids().size() + 1; ++tries) {
    candidate = policy.Numbered(first, next++, directory);
    if (!Taken(jolietSpace, parent, candidate)) {
      chosen->mapped = false;
      chosen->identifier = std::move(candidate);
      return STARBURN_OK;
    }
  }
  return STARBURN_STATUS_NAME_CLASH;
}

uint32_t FileTree::Insert(Node node, const std::u16string& name, const Choice& isoChoice,
                          const Choice& jolietChoice) {
  const auto index = static_cast<uint32_t>(nodes.size());
  const uint32_t parent = node.parent;
  bool whole = true;
  const std::string stored = Utf16ToUtf8(name, &whole);
  if (!arena.Store(stored, &node.name)) return kNoIndex;
  // The identifiers are kept only where they are not what the stored name
  // maps to (a clash was resolved, or the name does not survive UTF-8 whole).
  const std::u16string& isoIdentifier = isoChoice.identifier;
  const std::u16string& jolietIdentifier = jolietChoice.identifier;
  if (!whole || !isoChoice.mapped) {
    isoKept.push_back(isoIdentifier);
    node.isoKept = static_cast<uint32_t>(isoKept.size());
  }
  if (joliet && (!whole || !jolietChoice.mapped)) {
    jolietKept.push_back(jolietIdentifier);
    node.jolietKept = static_cast<uint32_t>(jolietKept.size());
  }
  isoTaken.Add(Hash(parent, Bare(false, isoIdentifier)), index);
  if (joliet) jolietTaken.Add(Hash(parent, jolietIdentifier), index);
  if (node.directory) {
    ++directories;
    node.Lists();
  }
  node.slot = static_cast<uint32_t>(nodes[parent].Kids().size());
  nodes.push_back(std::move(node));
  nodes[parent].Lists().kids.push_back(index);
  return index;
}

void FileTree::RemoveImported(uint32_t index) {
  const Node& node = nodes[index];
  std::vector<uint32_t>& kids = nodes[node.parent].Lists().kids;
  kids.erase(kids.begin() + node.slot);
  for (std::size_t slot = node.slot; slot < kids.size(); ++slot) {
    nodes[kids[slot]].slot = static_cast<uint32_t>(slot);
  }
  // The directory count only bounds new directories: what a removed
  // directory held stays counted, which errs on the safe side of the limit.
  // Everything below is marked too, so that nothing is added under it.
  std::vector<uint32_t> below{index};
  while (!below.empty()) {
    Node& gone = nodes[below.back()];
    below.pop_back();
    gone.removed = true;
    below.insert(below.end(), gone.Kids().begin(), gone.Kids().end());
  }
}

std::u16string FileTree::Name(const Node& node) const { return Utf8ToUtf16(arena.At(node.name)); }

std::u16string FileTree::Identifier(uint32_t index, bool jolietSpace) const {
  const Node& node = nodes[index];
  if (jolietSpace) {
    if (node.jolietKept != 0) return jolietKept[node.jolietKept - 1];
    return joliet ? joliet->Map(Name(node), node.directory) : std::u16string();
  }
  if (node.isoKept != 0) return isoKept[node.isoKept - 1];
  return iso.Map(Name(node), node.directory);
}

std::size_t FileTree::RecordIdentifierSize(const std::u16string& identifier, bool jolietSpace,
                                           bool directory) {
  if (jolietSpace) return identifier.size() * 2;
  return identifier.size() + (directory ? 0 : 2);  // ";1"
}

std::string FileTree::RecordIdentifier(uint32_t index, bool jolietSpace) const {
  const std::u16string identifier = Identifier(index, jolietSpace);
  std::string bytes;
  if (!jolietSpace) {
    bytes.assign(identifier.begin(), identifier.end());
    if (!nodes[index].directory) bytes += ";1";
    return bytes;
  }
  bytes.reserve(identifier.size() * 2);
  for (char16_t unit : identifier) {
    bytes.push_back(static_cast<char>(unit >> 8));  // UCS-2, big-endian
    bytes.push_back(static_cast<char>(unit & 0xFF));
  }
  return bytes;
}

bool FileTree::SetSource(Node& node, const char* path) {
  const std::string_view whole(path);
  const std::size_t cut = whole.rfind('/') + 1;  // 0 without a '/'
  const std::string_view folder = whole.substr(0, cut);
  if (!arena.Store(whole.substr(cut), &node.sourceName)) return false;
  auto found = sourceFolderIndex.find(folder);
  if (found == sourceFolderIndex.end()) {
    sourceFolders.emplace_back(folder);
    found = sourceFolderIndex
                .emplace(sourceFolders.back(), static_cast<uint32_t>(sourceFolders.size() - 1))
                .first;
  }
  node.sourceFolder = found->second;
  return true;
}

std::string FileTree::Source(const Node& node) const {
  return sourceFolders.empty() ? std::string()
                               : sourceFolders[node.sourceFolder] + arena.At(node.sourceName);
}

std::u16string FileTree::DisplayName(uint32_t index) const {
  if (joliet) return Identifier(index, true);
  return iso.Display(Identifier(index, false), nodes[index].directory);
}

std::string FileTree::FirstName(uint32_t index) const { return RecordIdentifier(index, false); }

}  // namespace iso
}  // namespace starburn
