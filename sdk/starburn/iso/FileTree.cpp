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
  nodes.push_back(std::move(root));
  nextNumber.push_back({1, 1});
}

std::u16string FileTree::Bare(bool jolietSpace, const std::u16string& identifier) {
  // A file and a directory of the same name clash too: readers drop the
  // version suffix and would show two entries of one name.
  if (jolietSpace || identifier.empty() || identifier.back() != u'.') return identifier;
  return identifier.substr(0, identifier.size() - 1);
}

uint64_t FileTree::Hash(uint32_t parent, const std::u16string& bare) {
  return std::hash<std::u16string>()(bare) * 1099511628211ull + parent;
}

bool FileTree::Taken(bool jolietSpace, uint32_t parent, const std::u16string& identifier) const {
  const std::u16string bare = Bare(jolietSpace, identifier);
  const auto& taken = jolietSpace ? jolietTaken : isoTaken;
  const auto range = taken.equal_range(Hash(parent, bare));
  for (auto it = range.first; it != range.second; ++it) {
    const Node& node = nodes[it->second];
    if (node.parent != parent) continue;
    const std::u16string own =
        jolietSpace ? node.joliet : std::u16string(node.iso.begin(), node.iso.end());
    if (Bare(jolietSpace, own) == bare) return true;
  }
  return false;
}

StarBurnStatus FileTree::ChooseIdentifier(bool jolietSpace, uint32_t parent,
                                          const std::u16string& name, bool directory,
                                          const RewriteQuestion& ask, std::u16string* identifier) {
  const NamePolicy& policy = jolietSpace ? *joliet : iso;
  const std::u16string first = policy.Map(name, directory);
  std::u16string candidate = first;
  for (int round = 0; round <= kMaxRewriteRounds; ++round) {
    if (!Taken(jolietSpace, parent, candidate)) {
      *identifier = candidate;
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
  uint32_t& next = nextNumber[parent][jolietSpace ? 1 : 0];
  for (std::size_t tries = 0; tries <= nodes[parent].Kids().size() + 1; ++tries) {
    candidate = policy.Numbered(first, next++, directory);
    if (!Taken(jolietSpace, parent, candidate)) {
      *identifier = candidate;
      return STARBURN_OK;
    }
  }
  return STARBURN_STATUS_NAME_CLASH;
}

uint32_t FileTree::Insert(Node node) {
  const auto index = static_cast<uint32_t>(nodes.size());
  const uint32_t parent = node.parent;
  isoTaken.emplace(Hash(parent, Bare(false, std::u16string(node.iso.begin(), node.iso.end()))),
                   index);
  if (joliet) jolietTaken.emplace(Hash(parent, node.joliet), index);
  if (node.directory) {
    ++directories;
    node.Lists();
  }
  node.slot = static_cast<uint32_t>(nodes[parent].Kids().size());
  nodes.push_back(std::move(node));
  nextNumber.push_back({1, 1});
  nodes[parent].Lists().kids.push_back(index);
  return index;
}

bool FileTree::SetSource(Node& node, const char* path) {
  const std::string_view whole(path);
  const std::size_t cut = whole.rfind('/') + 1;  // 0 without a '/'
  const std::string_view folder = whole.substr(0, cut);
  const std::string_view rest = whole.substr(cut);
  if (sourceNames.size() + rest.size() + 1 > UINT32_MAX) return false;
  auto found = sourceFolderIndex.find(folder);
  if (found == sourceFolderIndex.end()) {
    sourceFolders.emplace_back(folder);
    found = sourceFolderIndex
                .emplace(sourceFolders.back(), static_cast<uint32_t>(sourceFolders.size() - 1))
                .first;
  }
  node.sourceFolder = found->second;
  node.sourceName = static_cast<uint32_t>(sourceNames.size());
  sourceNames.append(rest);
  sourceNames.push_back('\0');
  return true;
}

std::string FileTree::Source(const Node& node) const {
  return sourceFolders.empty() ? std::string()
                               : sourceFolders[node.sourceFolder] + &sourceNames[node.sourceName];
}

std::u16string FileTree::DisplayName(uint32_t index) const {
  const Node& node = nodes[index];
  if (joliet) return node.joliet;
  return iso.Display(std::u16string(node.iso.begin(), node.iso.end()), node.directory);
}

std::string FileTree::FirstName(uint32_t index) const {
  const Node& node = nodes[index];
  return node.directory ? node.iso : node.iso + ";1";
}

}  // namespace iso
}  // namespace starburn
