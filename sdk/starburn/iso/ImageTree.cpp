#include "iso/ImageTree.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "common/SystemFile.h"
#include "iso/SessionReader.h"
#include "iso/SourceLookup.h"
#include "iso/Utf.h"

namespace starburn {
namespace iso {

namespace {

// Blocks Save pulls at a time: large enough for sequential disk speed, small
// enough to stay a fixed, modest buffer.
constexpr uint32_t kSaveChunkBlocks = 256;

bool AllZero(const uint8_t* data, std::size_t size) {
  return size == 0 || (data[0] == 0 && std::memcmp(data, data + 1, size - 1) == 0);
}

}  // namespace

ImageTree::ImageTree(StarBurnCallback callback, void* context, bool level2, bool joliet)
    : callback(callback),
      context(context),
      level2(level2),
      joliet(joliet),
      state(std::make_shared<TreeState>(level2, joliet)) {}

void ImageTree::Notify(uint32_t notification, const std::string& text) {
  if (callback == nullptr) return;
  std::string copy = text;  // the host gets a terminated text it may not keep
  callback(notification, context, &copy[0], nullptr);
}

bool ImageTree::AskRewrite(bool jolietSpace, bool directory, std::u16string* name) {
  if (callback == nullptr) return false;
  uint8_t record[STARBURN_REJECTED_NAME_SIZE] = {};
  record[STARBURN_REJECTED_NAME_FLAG] = jolietSpace ? 1 : 0;
  uint8_t* text = record + STARBURN_REJECTED_NAME_TEXT;
  if (jolietSpace) {
    const std::size_t units =
        std::min<std::size_t>(name->size(), STARBURN_REJECTED_NAME_ROOM / 2 - 1);
    std::memcpy(text, name->data(), units * sizeof(char16_t));
  } else {
    std::string iso(name->begin(), name->end());
    if (!directory) iso += ";1";  // the identifier as it stands on the disc
    std::memcpy(text, iso.data(),
                std::min<std::size_t>(iso.size(), STARBURN_REJECTED_NAME_ROOM - 1));
  }
  callback(STARBURN_NOTIFY_NAME_REJECTED, context, record, nullptr);
  uint32_t action = 0;
  std::memcpy(&action, record + STARBURN_REJECTED_NAME_ACTION, sizeof action);
  if (action != STARBURN_REJECTED_NAME_USE_REWRITTEN) return false;
  // The answer must be terminated inside its room; otherwise it is not used.
  if (jolietSpace) {
    std::u16string answer;
    for (std::size_t i = 0; i < STARBURN_REJECTED_NAME_ROOM / 2; ++i) {
      char16_t unit = 0;
      std::memcpy(&unit, text + 2 * i, sizeof unit);
      if (unit == 0) {
        *name = answer;
        return true;
      }
      answer.push_back(unit);
    }
    return false;
  }
  const void* end = std::memchr(text, 0, STARBURN_REJECTED_NAME_ROOM);
  if (end == nullptr) return false;
  *name = Utf8ToUtf16(
      std::string(reinterpret_cast<const char*>(text), static_cast<const uint8_t*>(end) - text));
  return true;
}

std::string ImageTree::ImagePath(uint32_t index) const {
  std::vector<uint32_t> chain;
  for (uint32_t at = index; at != FileTree::kRoot; at = Tree().Nodes()[at].parent) {
    chain.push_back(at);
  }
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += "/" + Utf16ToUtf8(Tree().DisplayName(*it));
  }
  return path.empty() ? "/" : path;
}

StarBurnStatus ImageTree::CheckEntry(const char* name, uint32_t parent, const ErrorOut& out) const {
  const FileTree& tree = Tree();
  if (name == nullptr || name[0] == '\0' || std::strcmp(name, ".") == 0 ||
      std::strcmp(name, "..") == 0) {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "an entry needs a name other than . or ..");
  }
  if (!tree.IsNode(parent) || !tree.Nodes()[parent].directory || tree.Nodes()[parent].removed) {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "the parent is not a directory of this tree");
  }
  return STARBURN_OK;
}

StarBurnStatus ImageTree::Add(const char* source, const char* name, uint32_t kind, uint32_t parent,
                              uint32_t* added, const ErrorOut& out) {
  if (kind != STARBURN_ADD_FILE && kind != STARBURN_ADD_DIRECTORY) {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT,
                    "kind " + std::to_string(kind) + " is neither a file (2) nor a directory (0)");
  }
  const StarBurnStatus checked = CheckEntry(name, parent, out);
  if (checked != STARBURN_OK) return checked;
  Node node;
  node.parent = parent;
  node.directory = kind == STARBURN_ADD_DIRECTORY;
  if (node.directory) {
    if (Tree().DirectoryCount() >= FileTree::kMaxDirectories) {
      return out.Fail(STARBURN_STATUS_LIMIT_EXCEEDED,
                      "an image holds at most 65535 directories (path tables number them in 16 "
                      "bits)");
    }
    return Place(std::move(node), nullptr, name, added, out);
  }
  if (source == nullptr || source[0] == '\0') {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "a file needs a source path");
  }
  FileStatus info;
  int code = 0;
  if (!StatusOf(source, &info, &code)) {
    return out.Fail(IsNotFound(code) ? STARBURN_STATUS_NOT_FOUND : STARBURN_STATUS_IO_ERROR,
                    std::string("cannot add ") + source + ": " + SystemErrorText(code),
                    static_cast<uint32_t>(code));
  }
  if (!info.regular) {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT,
                    std::string("cannot add ") + source + ": not a regular file");
  }
  if (!info.readable) {
    code = AccessDeniedCode();
    return out.Fail(STARBURN_STATUS_IO_ERROR,
                    std::string("cannot read ") + source + ": " + SystemErrorText(code),
                    static_cast<uint32_t>(code));
  }
  node.size = info.size;
  node.modified = info.modified;
  return Place(std::move(node), source, name, added, out);
}

StarBurnStatus ImageTree::AddFile(const char* source, const char* name, uint64_t size,
                                  int64_t modified, uint32_t parent, uint32_t* added,
                                  const ErrorOut& out) {
  const StarBurnStatus checked = CheckEntry(name, parent, out);
  if (checked != STARBURN_OK) return checked;
  if (source == nullptr || source[0] == '\0') {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "a file needs a source path");
  }
  Node node;
  node.parent = parent;
  node.size = size;
  node.modified = modified;
  return Place(std::move(node), source, name, added, out);
}

StarBurnStatus ImageTree::Place(Node node, const char* source, const char* name, uint32_t* added,
                                const ErrorOut& out) {
  FileTree& tree = state->tree;
  const bool directory = node.directory;
  const uint32_t parent = node.parent;
  if (!directory && !tree.SetSource(node, source)) {
    return out.Fail(STARBURN_STATUS_LIMIT_EXCEEDED, "the tree holds too many source paths");
  }
  const std::u16string wanted = Utf8ToUtf16(name);
  auto ask = [this, directory](bool space, std::u16string* answer) {
    return AskRewrite(space, directory, answer);
  };
  FileTree::Choice identifier;
  StarBurnStatus status = tree.ChooseIdentifier(false, parent, wanted, directory, ask, &identifier);
  if (status != STARBURN_OK) {
    return out.Fail(status, "no unique ISO 9660 name is left for " + std::string(name));
  }
  FileTree::Choice jolietIdentifier;
  if (tree.HasJoliet()) {
    status = tree.ChooseIdentifier(true, parent, wanted, directory, ask, &jolietIdentifier);
    if (status != STARBURN_OK) {
      return out.Fail(status, "no unique Joliet name is left for " + std::string(name));
    }
  }
  const uint32_t index = tree.Insert(std::move(node), wanted, identifier, jolietIdentifier);
  if (index == FileTree::kNoIndex) {
    return out.Fail(STARBURN_STATUS_LIMIT_EXCEEDED, "the tree holds too many names");
  }
  ++state->generation;
  if (added != nullptr) *added = index;
  if (directory) {
    Notify(STARBURN_NOTIFY_TREE_TEXT_2, ImagePath(index));
  } else {
    Notify(STARBURN_NOTIFY_TREE_TEXT_0, source);
  }
  return STARBURN_OK;
}

StarBurnStatus ImageTree::RemoveImported(uint32_t index, const ErrorOut& out) {
  FileTree& tree = state->tree;
  if (index == FileTree::kRoot) {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "the root cannot be removed");
  }
  const Node& node = tree.Nodes()[index];
  if (!node.imported || node.removed) {
    return out.Fail(STARBURN_STATUS_WRONG_STATE,
                    "only an entry imported from an earlier session, and not yet removed, can be "
                    "removed");
  }
  tree.RemoveImported(index);
  ++state->generation;
  return STARBURN_OK;
}

StarBurnStatus ImageTree::Import(BlockReader& reader, uint32_t sessionStart, bool jolietTree,
                                 const ErrorOut& out) {
  if (imported || !Tree().IsEmpty()) {
    return out.Fail(STARBURN_STATUS_WRONG_STATE, "a session is imported into an empty tree only");
  }
  std::vector<ImportedEntry> entries;
  std::string error;
  StarBurnStatus status = ReadSession(reader, sessionStart, jolietTree, &entries, &error);
  if (status != STARBURN_OK) return out.Fail(status, error);

  FileTree tree(level2, joliet);
  std::vector<uint32_t> placed(entries.size(), FileTree::kRoot);
  for (std::size_t i = 1; i < entries.size(); ++i) {
    ImportedEntry& entry = entries[i];
    Node node;
    node.parent = placed[entry.parent];
    node.directory = entry.directory;
    node.imported = true;
    node.size = entry.size;
    NodeLists& lists = node.Lists();
    lists.extents = std::move(entry.extents);
    std::memcpy(lists.importedTime, entry.time, kRecordTimeSize);
    if (entry.directory && tree.DirectoryCount() >= FileTree::kMaxDirectories) {
      return out.Fail(STARBURN_STATUS_LIMIT_EXCEEDED,
                      "the session holds more than 65535 directories");
    }
    const std::u16string name = entry.name.empty() ? u"_" : entry.name;
    FileTree::Choice identifier;
    FileTree::Choice jolietIdentifier;
    status = tree.ChooseIdentifier(false, node.parent, name, node.directory, {}, &identifier);
    if (status == STARBURN_OK && tree.HasJoliet()) {
      status =
          tree.ChooseIdentifier(true, node.parent, name, node.directory, {}, &jolietIdentifier);
    }
    if (status != STARBURN_OK) return out.Fail(status, "the session's names cannot be made unique");
    placed[i] = tree.Insert(std::move(node), name, identifier, jolietIdentifier);
    if (placed[i] == FileTree::kNoIndex) {
      return out.Fail(STARBURN_STATUS_LIMIT_EXCEEDED, "the session holds too many names");
    }
  }
  state->tree = std::move(tree);
  ++state->generation;
  imported = true;
  return STARBURN_OK;
}

StarBurnStatus ImageTree::CheckSources(std::string* error, uint32_t* systemError) const {
  const FileTree& tree = Tree();
  SourceLookup sources;
  for (const Node& node : tree.Nodes()) {
    if (node.directory || node.imported) continue;
    FileStatus info;
    int code = 0;
    if (!sources.Status(tree, node, &info, &code)) {
      *error = "cannot find " + tree.Source(node) + ": " + SystemErrorText(code);
      *systemError = static_cast<uint32_t>(code);
      return STARBURN_STATUS_IO_ERROR;
    }
    if (info.size != node.size || info.modified != node.modified) {
      *error = tree.Source(node) + " changed after it was added";
      return STARBURN_STATUS_SOURCE_CHANGED;
    }
  }
  return STARBURN_OK;
}

StarBurnStatus ImageTree::Build(const ImageOptions& options, const ErrorOut& out) {
  // A source that went away or changed is reported now, before a recording
  // starts (a write-once disc is not spent on an image that cannot be
  // finished); the stream checks each one again on the handle it reads it
  // through, which is the check that holds. The check reads what the layout
  // leaves alone (sources, sizes, times), so it runs on a second thread while
  // the layout is made; where no thread can be started, before it.
  StarBurnStatus checked = STARBURN_OK;
  std::string checkError;
  uint32_t checkCode = 0;
  std::thread checker;
  try {
    checker = std::thread([&] { checked = CheckSources(&checkError, &checkCode); });
  } catch (const std::system_error&) {
    checked = CheckSources(&checkError, &checkCode);
  }
  std::shared_ptr<const ImageLayout> layout;
  std::string error;
  const StarBurnStatus status = ImageLayout::Lay(state->tree, options, &layout, &error);
  if (checker.joinable()) checker.join();
  if (checked != STARBURN_OK || status != STARBURN_OK) {
    // No image stays built: the old layout no longer matches the placement
    // the nodes now hold.
    state->layout.reset();
    if (checked != STARBURN_OK) return out.Fail(checked, checkError, checkCode);
    return out.Fail(status, error);
  }
  state->layout = std::move(layout);
  state->layoutGeneration = state->generation;
  return STARBURN_OK;
}

StarBurnStatus ImageTree::OpenImage(std::unique_ptr<BlockSource>* stream, std::string* error) {
  if (state->layout == nullptr || state->layoutGeneration != state->generation) {
    if (error != nullptr) *error = "the image has not been built since the tree last changed";
    return STARBURN_STATUS_WRONG_STATE;
  }
  *stream = std::make_unique<ImageStream>(state, state->layout);
  return STARBURN_OK;
}

StarBurnStatus ImageTree::Relocate(uint32_t startAddress, std::string* error) {
  if (state->layout == nullptr || state->layoutGeneration != state->generation) {
    if (error != nullptr) *error = "the image has not been built since the tree last changed";
    return STARBURN_STATUS_WRONG_STATE;
  }
  ImageOptions options = state->layout->Options();
  options.startAddress = startAddress;
  std::shared_ptr<const ImageLayout> layout;
  std::string why;
  const StarBurnStatus status = ImageLayout::Lay(state->tree, options, &layout, &why);
  if (status != STARBURN_OK) {
    // The earlier placement is still recorded in the nodes only if Lay left
    // them alone; lay it out as it was so the image stays usable.
    std::shared_ptr<const ImageLayout> previous;
    std::string ignored;
    ImageLayout::Lay(state->tree, state->layout->Options(), &previous, &ignored);
    if (error != nullptr) *error = why;
    return status;
  }
  state->layout = std::move(layout);
  state->layoutGeneration = state->generation;
  return STARBURN_OK;
}

StarBurnStatus ImageTree::Save(const char* path, bool atStartAddress, const ErrorOut& out) {
  if (path == nullptr || path[0] == '\0') {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "no file to save the image to");
  }
  std::unique_ptr<BlockSource> stream;
  std::string error;
  StarBurnStatus status = OpenImage(&stream, &error);
  if (status != STARBURN_OK) return out.Fail(status, error);
  SystemFile file;
  int code = 0;
  if (!file.Open(path, SystemFile::Mode::kWrite, &code)) {
    return out.Fail(STARBURN_STATUS_IO_ERROR,
                    std::string("cannot open ") + path + ": " + SystemErrorText(code),
                    static_cast<uint32_t>(code));
  }
  const uint64_t base = atStartAddress ? uint64_t{stream->StartAddress()} * kBlockSize : 0;
  const uint64_t end = base + stream->BlockCount() * kBlockSize;
  // Cutting the file at the image's start leaves holes that read as zeros,
  // so zero blocks need not be written.
  bool written = file.Cut(base, &code);
  std::vector<uint8_t> buffer(std::size_t{kSaveChunkBlocks} * kBlockSize);
  for (uint64_t done = 0; written && status == STARBURN_OK && done < stream->BlockCount();) {
    const auto blocks =
        static_cast<uint32_t>(std::min<uint64_t>(kSaveChunkBlocks, stream->BlockCount() - done));
    status = stream->Pull(buffer.data(), blocks, &error);
    if (status != STARBURN_OK) break;
    const std::size_t bytes = std::size_t{blocks} * kBlockSize;
    if (!AllZero(buffer.data(), bytes)) {
      written = file.WriteAt(base + done * kBlockSize, buffer.data(), bytes, &code);
    }
    done += blocks;
  }
  if (written && status == STARBURN_OK) written = file.Cut(end, &code);
  file.Close();
  if (status != STARBURN_OK) return out.Fail(status, error);
  if (!written) {
    return out.Fail(STARBURN_STATUS_IO_ERROR,
                    std::string("cannot write ") + path + ": " + SystemErrorText(code),
                    static_cast<uint32_t>(code));
  }
  return STARBURN_OK;
}

}  // namespace iso
}  // namespace starburn
