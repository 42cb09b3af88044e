// Bringing files and folders from the disk into the container: results,
// observer calls, totals, and names that are not UTF-8 and pipes. Links that
// loop and trees too deep are the end-to-end table of unreadable entries
// (orlet_burn_test.py), where the disc shows what was left out.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "orlet/MediaBurning.h"
#include "platform/OrletBases.h"
#include "support/RecordingObservers.h"

namespace {

namespace stdfs = std::filesystem;
using Orlet::FileContainer;
using Node = FileContainer::Node;
using support::RecordingContainerObserver;

std::wstring W(const stdfs::path& path) { return Orlet::mbs_to_tcs(path.string()); }

std::string Failed(const stdfs::path& path, int code) {
  return "OnAddFileFailed(" + path.string() + "," + std::to_string(code) + ")";
}

std::vector<std::string> AddItems(std::size_t count) {
  return std::vector<std::string>(count, "OnAddItem");
}

// The tree below node as text: names, types and every total, in list order.
std::string Dump(const Node* node) {
  std::string text = Orlet::tcs_to_mbs(node->name) + "[" + std::to_string(node->type) + " " +
                     std::to_string(node->dirCount) + "d " + std::to_string(node->fileCount) +
                     "f " + std::to_string(node->blockCount) + "b " + std::to_string(node->size) +
                     "B](";
  for (const Node* child : node->children) text += Dump(child);
  return text + ")";
}

std::vector<std::wstring> ChildNames(const Node* node) {
  std::vector<std::wstring> names;
  for (const Node* child : node->children) names.push_back(child->name);
  return names;
}

class FileImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (stdfs::temp_directory_path() / "orlet-import-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    container.SetImageFileSystem(Orlet::ImageFileSystemJoliet);
    root = container.AddRoot(L"Disc", L'D');
  }
  void TearDown() override { stdfs::remove_all(dir); }

  // A file of size bytes; large ones are sparse.
  stdfs::path File(const stdfs::path& relative, std::uintmax_t size) {
    stdfs::path path = dir / relative;
    stdfs::create_directories(path.parent_path());
    std::ofstream(path).put('x');
    stdfs::resize_file(path, size);
    return path;
  }
  stdfs::path Folder(const stdfs::path& relative) {
    stdfs::create_directories(dir / relative);
    return dir / relative;
  }

  stdfs::path dir;
  FileContainer container;
  Node* root = nullptr;
  RecordingContainerObserver observer;
};

TEST_F(FileImportTest, RefusalsBeforeTheSourceIsExamined) {
  Node* out = root;
  EXPECT_EQ(container.AddItem(W(dir / "missing"), root, &out, &observer), 121);
  EXPECT_EQ(observer.Calls(), AddItems(1));
  EXPECT_EQ(out, root);

  observer.Clear();
  const stdfs::path file = File("a.txt", 10);
  Node* fileNode = nullptr;
  ASSERT_EQ(container.AddItem(W(file), root, &fileNode, nullptr), 0);
  EXPECT_EQ(container.AddItem(W(file), fileNode, &out, &observer), 104);  // a file as parent
  EXPECT_EQ(container.AddItem(W(file), nullptr, &out, &observer), 104);
  EXPECT_TRUE(observer.Calls().empty());
  EXPECT_EQ(out, root);

  // A status that cannot be read (a link loop, a name too long for the file
  // system) is 121 as well, and nothing throws.
  stdfs::create_symlink("b", dir / "a");
  stdfs::create_symlink("a", dir / "b");
  EXPECT_EQ(container.AddItem(W(dir / "a"), root, &out, &observer), 121);
  EXPECT_EQ(container.AddItem(W(dir / std::string(300, 'n') / "x"), root, &out, &observer), 121);
  EXPECT_EQ(container.FindNode(W(dir / "a"), nullptr), nullptr);
  EXPECT_EQ(ChildNames(root), std::vector<std::wstring>{L"a.txt"});
}

TEST_F(FileImportTest, FilesGetTheirSizeAndBlocks) {
  const stdfs::path empty = File("empty", 0);
  const stdfs::path one = File("one", 1);
  const stdfs::path over = File("over", 2049);
  Node* nodes[3] = {};
  ASSERT_EQ(container.AddItem(W(empty), root, &nodes[0], &observer), 0);
  ASSERT_EQ(container.AddItem(W(one), root, &nodes[1], &observer), 0);
  ASSERT_EQ(container.AddItem(W(over), root, &nodes[2], &observer), 0);
  EXPECT_EQ(nodes[0]->blockCount, 0u);
  EXPECT_EQ(nodes[1]->blockCount, 1u);
  EXPECT_EQ(nodes[2]->blockCount, 2u);
  EXPECT_EQ(nodes[2]->size, 2049u);
  EXPECT_EQ(nodes[2]->name, L"over");
  EXPECT_EQ(nodes[2]->sourcePath, W(over));
  EXPECT_EQ(nodes[2]->type, FileContainer::NodeFile);
  EXPECT_EQ(nodes[2]->imported, 0u);
  EXPECT_EQ(container.GetFileCounts(), 3u);
  EXPECT_EQ(container.GetTotalSize(), 3u * 2048);
  EXPECT_EQ(root->size, 2050u);
  EXPECT_EQ(observer.Calls(), AddItems(3));

  // The same file again: 115, told to the observer.
  observer.Clear();
  Node* out = root;
  EXPECT_EQ(container.AddItem(W(one), root, &out, &observer), 115);
  EXPECT_EQ(observer.Calls(), (std::vector<std::string>{"OnAddItem", Failed(one, 115)}));
  EXPECT_EQ(out, root);
  EXPECT_EQ(container.GetFileCounts(), 3u);
}

TEST_F(FileImportTest, TheFourGigabyteLimitAndTotalsBeyondIt) {
  const stdfs::path exact = File("exact", 4294967296ULL);
  const stdfs::path over = File("over", 4294967297ULL);
  const stdfs::path small = File("small", 2049);
  Node* node = nullptr;
  ASSERT_EQ(container.AddItem(W(exact), root, &node, &observer), 0);
  EXPECT_EQ(node->blockCount, 2097152u);
  EXPECT_EQ(container.AddItem(W(over), root, &node, &observer), 105);
  ASSERT_EQ(container.AddItem(W(small), root, &node, &observer), 0);
  EXPECT_EQ(observer.Calls(),
            (std::vector<std::string>{"OnAddItem", "OnAddItem", Failed(over, 105), "OnAddItem"}));
  EXPECT_EQ(container.GetTotalSize(), 4294967296ULL + 4096);
  EXPECT_EQ(root->size, 4294967296ULL + 2049);
}

TEST_F(FileImportTest, AFolderKeepsWhatFitsAndReportsWhatDoesNot) {
  const stdfs::path folder = Folder("photos");
  const stdfs::path big = File("photos/big.mov", 5ULL << 30);
  File("photos/a.jpg", 10);
  File("photos/b.jpg", 3000);
  Node* made = nullptr;
  ASSERT_EQ(container.AddItem(W(folder), root, &made, &observer), 0);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->name, L"photos");
  EXPECT_EQ(made->type, FileContainer::NodeDirectory);
  EXPECT_TRUE(made->sourcePath.empty());
  EXPECT_EQ(made->parent, root);
  EXPECT_EQ(ChildNames(made), (std::vector<std::wstring>{L"a.jpg", L"b.jpg"}));
  EXPECT_EQ(made->children.front()->sourcePath, W(folder / "a.jpg"));
  EXPECT_EQ(made->fileCount, 2u);
  EXPECT_EQ(made->size, 3010u);
  EXPECT_EQ(made->blockCount, 3u);
  EXPECT_EQ(container.GetDirCounts(), 1u);
  EXPECT_EQ(observer.Calls(), (std::vector<std::string>{"OnAddItem", "OnAddItem", "OnAddItem",
                                                        "OnAddItem", Failed(big, 105)}));

  // An empty folder is a directory without children.
  observer.Clear();
  const stdfs::path empty = Folder("empty");
  ASSERT_EQ(container.AddItem(W(empty), root, &made, &observer), 0);
  EXPECT_EQ(made->name, L"empty");
  EXPECT_TRUE(made->children.empty());
  EXPECT_EQ(observer.Calls(), AddItems(1));
  EXPECT_EQ(container.GetDirCounts(), 2u);
}

TEST_F(FileImportTest, AStopDeepInsideUndoesTheWholeCall) {
  Node* existing = nullptr;
  ASSERT_EQ(container.CreateDir(L"existing", root, &existing), 0);
  ASSERT_EQ(container.ImportFile(L"OLD;1", L"old", 777, existing, nullptr), 0);
  ASSERT_EQ(container.AddItem(W(File("loose", 5000)), root, nullptr, nullptr), 0);
  const std::string before = Dump(root);

  File("top/a.txt", 10);
  File("top/l1/b.txt", 20);
  File("top/l1/l2/c.txt", 30);
  File("top/l1/l2/l3/d.txt", 40);
  File("top/z.txt", 50);  // would come after l1 if the walk went on
  // Calls: top, a.txt, l1, b.txt, l2, c.txt, l3, d.txt (three levels below top).
  observer.stopAfter = 8;
  Node* out = root;
  EXPECT_EQ(container.AddItem(W(dir / "top"), root, &out, &observer), 137);
  EXPECT_EQ(observer.Calls(), AddItems(8));
  EXPECT_EQ(out, root);
  EXPECT_EQ(Dump(root), before);
  EXPECT_EQ(container.GetTotalSize(), 3u * 2048);
  // Nothing of the cancelled import remains to clash with a new one.
  observer.stopAfter = 0;
  ASSERT_EQ(container.AddItem(W(dir / "top"), root, &out, nullptr), 0);
  EXPECT_EQ(out->dirCount, 4u);
  EXPECT_EQ(out->fileCount, 5u);

  // A stop at the very first call: nothing is examined.
  RecordingContainerObserver refusing;
  refusing.stopAfter = 1;
  EXPECT_EQ(container.AddItem(W(dir / "missing"), root, &out, &refusing), 137);
}

// Adds a file named like the next subfolder into the folder being imported,
// from inside the observer, the way a host reacting to OnAddItem could.
class ClashingObserver : public RecordingContainerObserver {
 public:
  ClashingObserver(FileContainer& container, unsigned clashAt)
      : container(container), clashAt(clashAt) {}
  int OnAddItem() override {
    const int answer = RecordingContainerObserver::OnAddItem();
    if (addItemCalls == clashAt) {
      Node* folder = container.GetRoot()->children.back();
      EXPECT_EQ(container.ImportFile(L"", L"sub", 1, folder, nullptr), 0);
    }
    return answer;
  }

 private:
  FileContainer& container;
  unsigned clashAt;
};

TEST_F(FileImportTest, AFolderWhoseNameIsTakenIsNotWalked) {
  File("top/sub/inner.txt", 1);
  File("top/z.txt", 1);
  ASSERT_EQ(container.ImportFile(L"TOP;1", L"top", 5, root, nullptr), 0);
  EXPECT_EQ(container.AddItem(W(dir / "top"), root, nullptr, &observer), 115);
  EXPECT_EQ(observer.Calls(), AddItems(1));  // nothing inside was looked at

  // Inside a walk, the same clash skips only that subfolder.
  container.RemoveAll();
  ClashingObserver clashing(container, 2);  // call 2 is for top/sub
  Node* top = nullptr;
  ASSERT_EQ(container.AddItem(W(dir / "top"), root, &top, &clashing), 0);
  EXPECT_EQ(ChildNames(top), (std::vector<std::wstring>{L"sub", L"z.txt"}));
  EXPECT_EQ(top->children.front()->type, FileContainer::NodeFile);
  EXPECT_EQ(clashing.Calls(), AddItems(3));  // top, sub, z.txt: inner.txt never
  EXPECT_EQ(container.GetDirCounts(), 1u);
}

TEST_F(FileImportTest, WithoutAnImageFileSystemFoldersAndFilesAreRefused) {
  container.SetImageFileSystem(Orlet::ImageFileSystemNone);
  const stdfs::path file = File("f.txt", 3);
  EXPECT_EQ(container.AddItem(W(Folder("folder")), root, nullptr, &observer), 105);
  EXPECT_EQ(container.AddItem(W(file), root, nullptr, &observer), 127);
  EXPECT_EQ(observer.Calls(),
            (std::vector<std::string>{"OnAddItem", "OnAddItem", Failed(file, 127)}));
  EXPECT_TRUE(root->children.empty());
  container.SetImageFileSystem(Orlet::ImageFileSystemUdf);
  EXPECT_EQ(container.AddItem(W(file), root, nullptr, nullptr), 127);
}

TEST_F(FileImportTest, FindNodeFollowsThePathFromTheStartNode) {
  File("data/photos/2009/a.jpg", 1);
  File("data/photos/2009/b.jpg", 1);
  Node* photos = nullptr;
  ASSERT_EQ(container.AddItem(W(dir / "data/photos"), root, &photos, nullptr), 0);
  Node* year = photos->children.front();
  Node* a = year->children.front();
  EXPECT_EQ(container.FindNode(W(dir / "data/photos/2009/a.jpg"), photos), a);
  EXPECT_EQ(container.FindNode(W(dir / "data/photos/2009"), photos), year);
  EXPECT_EQ(container.FindNode(W(dir / "data/photos"), photos), photos);
  EXPECT_EQ(container.FindNode(W(dir / "data/photos/2009/a.jpg"), year), a);
  // A start whose name is none of the path's elements; a missing path.
  EXPECT_EQ(container.FindNode(W(dir / "data/photos/2009/a.jpg"), year->children.back()), nullptr);
  EXPECT_EQ(container.FindNode(W(dir / "data/photos/2009/c.jpg"), photos), nullptr);
  // From the root, the path must pass through an element named like the root.
  EXPECT_EQ(container.FindNode(W(dir / "data/photos/2009/a.jpg"), nullptr), nullptr);
  container.RenameItem(root, L"data");
  EXPECT_EQ(container.FindNode(W(dir / "data/photos/2009/b.jpg"), nullptr), year->children.back());
  // An element without a node: the file exists on disk but not in the tree.
  File("data/photos/2009/new.jpg", 1);
  EXPECT_EQ(container.FindNode(W(dir / "data/photos/2009/new.jpg"), photos), nullptr);

  // A file and a directory may share a name; the one added first is found.
  Node* file = year->children.back();  // b.jpg
  Node* sameName = nullptr;
  ASSERT_EQ(container.CreateDir(L"c.jpg", year, &sameName), 0);
  ASSERT_EQ(container.RenameItem(file, L"c.jpg"), 1);
  File("data/photos/2009/c.jpg", 1);
  EXPECT_EQ(container.FindNode(W(dir / "data/photos/2009/c.jpg"), photos), file);
  container.RemoveItem(file);
  EXPECT_EQ(container.FindNode(W(dir / "data/photos/2009/c.jpg"), photos), sameName);
}

TEST_F(FileImportTest, NamesThatAreNotUtf8AndPipesAreKept) {
  const stdfs::path folder = Folder("mixed");
  const stdfs::path latin1 = File("mixed/caf\xE9.txt", 5);
  ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
  Node* made = nullptr;
  ASSERT_EQ(container.AddItem(W(folder), root, &made, &observer), 0);
  ASSERT_EQ(ChildNames(made).size(), 2u);
  const Node* cafe = made->children.front();
  EXPECT_EQ(cafe->name, std::wstring(L"caf") + wchar_t(0xDCE9) + L".txt");
  EXPECT_EQ(cafe->size, 5u);  // the very file was opened
  EXPECT_EQ(Orlet::tcs_to_mbs(cafe->sourcePath), latin1.string());
  EXPECT_EQ(container.FindNode(cafe->sourcePath, made), cafe);
  // A pipe is added without being opened (that would wait for a writer).
  const Node* pipe = made->children.back();
  EXPECT_EQ(pipe->name, L"pipe");
  EXPECT_EQ(pipe->size, 0u);
}

}  // namespace

// Hosts read nodes directly and some write them: a rename through `name`, a
// type, a node moved to another list by hand. Whatever they wrote, every
// answer of the container that depends on the names in a directory (a name
// taken, NewDir's choice, a rename refused, FindNode) is the one a scan of
// the live children gives, and entries removed and added afterwards leave
// nothing behind that reads freed memory (the sanitizer builds run this).
struct HostWrite {
  const char* name;
  // Writes to the nodes of album (a.jpg b.jpg c.jpg 2009, 2009 holding
  // x.jpg) after they were imported; may remove or add through the container.
  std::function<void(FileContainer&, Node* root, Node* album)> write;
};

class HostWriteTest : public FileImportTest, public ::testing::WithParamInterface<HostWrite> {};

Node* Child(Node* directory, const wchar_t* name) {
  for (Node* child : directory->children) {
    if (child->name == name) return child;
  }
  return nullptr;
}

TEST_P(HostWriteTest, AnswersAreThoseOfAScanOfTheChildren) {
  for (const char* file : {"album/a.jpg", "album/b.jpg", "album/c.jpg", "album/2009/x.jpg"}) {
    File(file, 1);
  }
  Node* album = nullptr;
  ASSERT_EQ(container.AddItem(W(dir / "album"), root, &album, nullptr), 0);
  GetParam().write(container, root, album);

  const std::vector<std::wstring> names = {L"a.jpg", L"b.jpg",  L"c.jpg",   L"2009",    L"x.jpg",
                                           L"album", L"NewDir", L"renamed", L"new.jpg", L"NewDir2"};
  auto scan = [](const Node* directory, const std::wstring& name, auto accept) -> Node* {
    for (Node* child : directory->children) {
      if (child->name == name && accept(*child)) return child;
    }
    return nullptr;
  };
  auto any = [](const Node&) { return true; };
  auto isDirectory = [](const Node& node) { return node.type == FileContainer::NodeDirectory; };
  for (Node* directory : {root, album, scan(album, L"2009", any)}) {
    if (directory == nullptr) continue;
    SCOPED_TRACE(Orlet::tcs_to_mbs(directory->name));
    for (const std::wstring& name : names) {
      SCOPED_TRACE(Orlet::tcs_to_mbs(name));
      // A name is taken when a scan finds it; an entry added is removed again.
      const bool taken = scan(directory, name, any) != nullptr;
      Node* added = nullptr;
      const int code = container.ImportFile(L"", name, 1, directory, &added);
      EXPECT_EQ(code, taken ? 115 : 0);
      if (code == 0) container.RemoveItem(added);
      // A rename is refused when another child of the same type has the name.
      for (Node* child :
           std::vector<Node*>(directory->children.begin(), directory->children.end())) {
        const std::wstring before = child->name;
        const Node* other = scan(directory, name, [&](const Node& node) {
          return &node != child && node.type == child->type;
        });
        EXPECT_EQ(container.RenameItem(child, name), other == nullptr ? 1 : 0);
        if (container.RenameItem(child, before) == 0) child->name = before;
      }
    }
    std::wstring free = L"NewDir";
    for (int number = 2; scan(directory, free, isDirectory) != nullptr; ++number) {
      free = L"NewDir" + std::to_wstring(number);
    }
    Node* made = nullptr;
    ASSERT_EQ(container.NewDir(directory, &made), 0);
    EXPECT_EQ(made->name, free);
    container.RemoveItem(made);
  }
  for (const char* path : {"a.jpg", "b.jpg", "c.jpg", "2009", "2009/x.jpg"}) {
    SCOPED_TRACE(path);
    const std::wstring first = Orlet::mbs_to_tcs(stdfs::path(path).begin()->string());
    Node* expected = scan(album, first, any);
    if (expected != nullptr && stdfs::path(path).has_parent_path()) {
      expected = scan(expected, L"x.jpg", any);
    }
    EXPECT_EQ(container.FindNode(W(dir / "album" / path), album), expected);
  }
}

const HostWrite kHostWrites[] = {
    {"NameWritten",
     [](FileContainer&, Node*, Node* album) { Child(album, L"a.jpg")->name = L"renamed"; }},
    {"NameOfASiblingWritten",
     [](FileContainer&, Node*, Node* album) { Child(album, L"c.jpg")->name = L"a.jpg"; }},
    {"DirectoryNamedLikeNewDir",
     [](FileContainer&, Node*, Node* album) { Child(album, L"2009")->name = L"NewDir"; }},
    {"NameWrittenThenRemoved",
     [](FileContainer& container, Node*, Node* album) {
       Node* a = Child(album, L"a.jpg");
       a->name = L"renamed";
       container.RemoveItem(a);
     }},
    {"NameWrittenThenTheOldNameAddedAgain",
     [](FileContainer& container, Node*, Node* album) {
       Child(album, L"b.jpg")->name = L"renamed";
       ASSERT_EQ(container.ImportFile(L"", L"b.jpg", 1, album, nullptr), 0);
     }},
    {"TypeWritten",
     [](FileContainer&, Node*, Node* album) {
       Node* b = Child(album, L"b.jpg");
       b->name = L"NewDir";
       b->type = FileContainer::NodeDirectory;
     }},
    {"MovedToAnotherDirectory",
     [](FileContainer&, Node* root, Node* album) {
       Node* c = Child(album, L"c.jpg");
       album->children.remove(c);
       root->children.push_back(c);
       c->parent = root;
     }},
};

INSTANTIATE_TEST_SUITE_P(Writes, HostWriteTest, ::testing::ValuesIn(kHostWrites),
                         [](const ::testing::TestParamInfo<HostWrite>& info) {
                           return std::string(info.param.name);
                         });
