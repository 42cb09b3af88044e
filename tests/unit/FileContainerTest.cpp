// The file container's tree as a host sees it: record layout, totals, names,
// removal, renaming, and the image-file-system rules.

#include <gtest/gtest.h>

#include <cstddef>
#include <list>
#include <string>
#include <type_traits>
#include <vector>

#include "orlet/MediaBurning.h"

namespace {

using Orlet::FileContainer;
using Node = FileContainer::Node;

// Exposes the protected checks and the fields' places.
class Container : public FileContainer {
 public:
  using FileContainer::CheckDirRestrictions;
  using FileContainer::CheckFileRestriction;
  using FileContainer::CheckValidName;
  using FileContainer::CheckValidRootName;
  using FileContainer::CreateDirInternal;
  using FileContainer::RenameItemInternal;
  using FileContainer::RenameRoot;

  std::ptrdiff_t ImageFileSystemOffset() const { return Offset(&imageFileSystem); }
  std::ptrdiff_t RootOffset() const { return Offset(&root); }

 private:
  std::ptrdiff_t Offset(const void* field) const {
    return static_cast<const char*>(field) -
           reinterpret_cast<const char*>(static_cast<const FileContainer*>(this));
  }
};

std::vector<std::wstring> ChildNames(const Node* node) {
  std::vector<std::wstring> names;
  for (const Node* child : node->children) names.push_back(child->name);
  return names;
}

constexpr std::ptrdiff_t After(std::ptrdiff_t offset, std::size_t size, std::size_t align) {
  const auto end = offset + static_cast<std::ptrdiff_t>(size);
  const auto a = static_cast<std::ptrdiff_t>(align);
  return (end + a - 1) / a * a;
}

TEST(FileContainerTest, NodeAndContainerFieldsKeepTheirOrder) {
  Node node;
  const char* base = reinterpret_cast<const char*>(&node);
  auto at = [base](const void* field) { return static_cast<const char*>(field) - base; };
  // Each field follows the one before it, at the next place its alignment allows.
  std::ptrdiff_t expected = 0;
  EXPECT_EQ(at(&node.type), expected);
  EXPECT_EQ(at(&node.reserved), expected = After(expected, 4, alignof(uint32_t)));
  EXPECT_EQ(at(&node.imported), expected = After(expected, 4, alignof(uint32_t)));
  EXPECT_EQ(at(&node.dirCount), expected = After(expected, 4, alignof(uint32_t)));
  EXPECT_EQ(at(&node.fileCount), expected = After(expected, 4, alignof(uint32_t)));
  EXPECT_EQ(at(&node.blockCount), expected = After(expected, 4, alignof(uint32_t)));
  EXPECT_EQ(at(&node.size), expected = After(expected, 4, alignof(uint64_t)));
  EXPECT_EQ(at(&node.parent), expected = After(expected, 8, alignof(Node*)));
  EXPECT_EQ(at(&node.children),
            expected = After(expected, sizeof(Node*), alignof(std::list<Node*>)));
  EXPECT_EQ(at(&node.name),
            expected = After(expected, sizeof(std::list<Node*>), alignof(std::wstring)));
  EXPECT_EQ(at(&node.sourcePath),
            expected = After(expected, sizeof(std::wstring), alignof(std::wstring)));
  static_assert(sizeof(node.type) == 4 && sizeof(node.blockCount) == 4 && sizeof(node.size) == 8);

  // A new node: every number 0, no parent, no children, empty strings.
  EXPECT_EQ(
      node.type + node.reserved + node.imported + node.dirCount + node.fileCount + node.blockCount,
      0u);
  EXPECT_EQ(node.size, 0u);
  EXPECT_EQ(node.parent, nullptr);
  EXPECT_TRUE(node.children.empty() && node.name.empty() && node.sourcePath.empty());

  // The container: its table pointer, then the image file system, then the root.
  Container container;
  EXPECT_EQ(container.ImageFileSystemOffset(), static_cast<std::ptrdiff_t>(sizeof(void*)));
  EXPECT_EQ(container.RootOffset(), After(sizeof(void*), 4, alignof(Node*)));
  EXPECT_TRUE(std::has_virtual_destructor_v<FileContainer>);
  static_assert(!std::is_copy_constructible_v<FileContainer>);
  static_assert(!std::is_copy_assignable_v<FileContainer>);
}

TEST(FileContainerTest, RootCarriesLabelAndDriveAndASecondRootStartsAfresh) {
  Container container;
  container.SetImageFileSystem(Orlet::ImageFileSystemJoliet);
  Node* root = container.AddRoot(L"Holiday", L'E');
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(container.GetRoot(), root);
  EXPECT_EQ(root->type, FileContainer::NodeDirectory);
  EXPECT_EQ(root->name, L"Holiday");
  EXPECT_EQ(root->sourcePath, L"E:\\");
  EXPECT_EQ(root->parent, nullptr);
  EXPECT_EQ(root->dirCount, 0u);

  Node* dir = nullptr;
  ASSERT_EQ(container.CreateDir(L"a", root, &dir), 0);
  ASSERT_EQ(container.ImportFile(L"A.TXT;1", L"a.txt", 5000, dir, nullptr), 0);
  EXPECT_EQ(container.GetDirCounts(), 1u);
  EXPECT_EQ(container.GetFileCounts(), 1u);

  Node* second = container.AddRoot(L"Other", L'D');
  EXPECT_EQ(container.GetRoot(), second);
  EXPECT_EQ(second->sourcePath, L"D:\\");
  EXPECT_TRUE(second->children.empty());
  EXPECT_EQ(container.GetDirCounts(), 0u);
  EXPECT_EQ(container.GetFileCounts(), 0u);
  EXPECT_EQ(second->size, 0u);
  EXPECT_EQ(container.GetImageFileSystem(), Orlet::ImageFileSystemJoliet);
  // The old names are free in the new tree.
  EXPECT_EQ(container.CreateDir(L"a", second, nullptr), 0);
}

TEST(FileContainerTest, NewDirTakesTheLowestFreeNameAmongDirectories) {
  Container container;
  container.SetImageFileSystem(Orlet::ImageFileSystemJoliet);
  Node* root = container.AddRoot(L"Disc", L'D');
  // A file called NewDir does not hold the name back from a directory.
  ASSERT_EQ(container.ImportFile(L"NEWDIR;1", L"NewDir", 1, root, nullptr), 0);

  Node* made[3] = {};
  for (Node*& node : made) ASSERT_EQ(container.NewDir(root, &node), 0);
  EXPECT_EQ(made[0]->name, L"NewDir");
  EXPECT_EQ(made[1]->name, L"NewDir2");
  EXPECT_EQ(made[2]->name, L"NewDir3");
  EXPECT_EQ(made[0]->type, FileContainer::NodeDirectory);
  EXPECT_EQ(container.GetDirCounts(), 3u);

  container.RemoveItem(made[1]);
  EXPECT_EQ(made[1], nullptr);
  Node* again = nullptr;
  ASSERT_EQ(container.NewDir(root, &again), 0);
  EXPECT_EQ(again->name, L"NewDir2");
  Node* next = nullptr;
  ASSERT_EQ(container.NewDir(root, &next), 0);
  EXPECT_EQ(next->name, L"NewDir4");
  EXPECT_EQ(ChildNames(root),
            (std::vector<std::wstring>{L"NewDir", L"NewDir", L"NewDir3", L"NewDir2", L"NewDir4"}));

  Node* untouched = root;
  EXPECT_EQ(container.NewDir(nullptr, &untouched), 104);
  EXPECT_EQ(untouched, root);
}

TEST(FileContainerTest, CreateDirAndImportFileRefusals) {
  Container container;
  container.SetImageFileSystem(Orlet::ImageFileSystemIso9660Level2);
  Node* root = container.AddRoot(L"Disc", L'D');
  ASSERT_EQ(container.ImportFile(L"DOCS;1", L"docs", 10, root, nullptr), 0);

  Node* out = root;
  EXPECT_EQ(container.CreateDir(L"docs", root, &out), 115);  // a sibling file has the name
  EXPECT_EQ(container.CreateDir(L"", root, &out), 104);
  EXPECT_EQ(container.CreateDir(L"x", nullptr, &out), 104);
  EXPECT_EQ(container.ImportFile(L"DOCS;1", L"docs", 10, root, &out), 115);
  EXPECT_EQ(container.ImportFile(L"X;1", L"", 10, root, &out), 104);
  EXPECT_EQ(container.ImportFile(L"X;1", L"x", 10, nullptr, &out), 104);
  EXPECT_EQ(out, root);  // refusals leave the out parameter alone
  // Names are compared exactly: another case is another name.
  EXPECT_EQ(container.CreateDir(L"Docs", root, &out), 0);
  EXPECT_EQ(out->name, L"Docs");
  EXPECT_EQ(container.GetFileCounts(), 1u);
  EXPECT_EQ(container.GetDirCounts(), 1u);
  EXPECT_EQ(root->size, 10u);
}

TEST(FileContainerTest, ImportedFilesCountButNeedNoBlocks) {
  Container container;
  container.SetImageFileSystem(Orlet::ImageFileSystemJoliet);
  Node* root = container.AddRoot(L"Disc", L'D');
  Node* dir = nullptr;
  ASSERT_EQ(container.CreateDir(L"old", root, &dir), 0);
  Node* file = nullptr;
  ASSERT_EQ(container.ImportFile(L"OLD/MOVIE.AVI;1", L"movie.avi", 10'000'000, dir, &file), 0);
  EXPECT_EQ(file->type, FileContainer::NodeFile);
  EXPECT_EQ(file->imported, 1u);
  EXPECT_EQ(file->sourcePath, L"OLD/MOVIE.AVI;1");
  EXPECT_EQ(file->parent, dir);
  EXPECT_EQ(dir->size, 10'000'000u);
  EXPECT_EQ(root->size, 10'000'000u);
  EXPECT_EQ(dir->fileCount, 1u);
  EXPECT_EQ(container.GetFileCounts(), 1u);
  EXPECT_EQ(container.GetTotalSize(), 0u);
  EXPECT_EQ(root->blockCount, 0u);

  // No image file system is needed and no size limit applies.
  container.SetImageFileSystem(Orlet::ImageFileSystemNone);
  ASSERT_EQ(container.ImportFile(L"BIG;1", L"big", 6ULL << 30, root, nullptr), 0);
  EXPECT_EQ(root->size, 10'000'000u + (6ULL << 30));
}

TEST(FileContainerTest, RemovingASubtreeTakesItsTotalsOut) {
  Container container;
  container.SetImageFileSystem(Orlet::ImageFileSystemUdf);  // directories count 2 blocks
  Node* root = container.AddRoot(L"Disc", L'D');
  Node* keep = nullptr;
  Node* gone = nullptr;
  Node* sub1 = nullptr;
  Node* sub2 = nullptr;
  ASSERT_EQ(container.CreateDir(L"keep", root, &keep), 0);
  ASSERT_EQ(container.CreateDir(L"gone", root, &gone), 0);
  ASSERT_EQ(container.CreateDir(L"sub1", gone, &sub1), 0);
  ASSERT_EQ(container.CreateDir(L"sub2", sub1, &sub2), 0);
  ASSERT_EQ(container.ImportFile(L"A", L"a", 100, gone, nullptr), 0);
  ASSERT_EQ(container.ImportFile(L"B", L"b", 200, sub1, nullptr), 0);
  ASSERT_EQ(container.ImportFile(L"C", L"c", 300, sub2, nullptr), 0);
  ASSERT_EQ(container.ImportFile(L"D", L"d", 400, keep, nullptr), 0);
  EXPECT_EQ(gone->dirCount, 3u);
  EXPECT_EQ(gone->fileCount, 3u);
  EXPECT_EQ(gone->blockCount, 6u);
  EXPECT_EQ(root->dirCount, 4u);
  EXPECT_EQ(root->fileCount, 4u);
  EXPECT_EQ(root->size, 1000u);
  EXPECT_EQ(container.GetTotalSize(), 8u * 2048);

  container.RemoveItem(gone);
  EXPECT_EQ(gone, nullptr);
  EXPECT_EQ(root->dirCount, 1u);   // 3 directories fewer
  EXPECT_EQ(root->fileCount, 1u);  // 3 files fewer
  EXPECT_EQ(root->size, 400u);
  EXPECT_EQ(container.GetTotalSize(), 2u * 2048);
  EXPECT_EQ(ChildNames(root), std::vector<std::wstring>{L"keep"});
  // The removed names are free again.
  EXPECT_EQ(container.CreateDir(L"gone", root, nullptr), 0);
}

TEST(FileContainerTest, RemovingTheRootEmptiesTheTreeButKeepsTheRoot) {
  Container container;
  container.SetImageFileSystem(Orlet::ImageFileSystemJoliet);
  Node* root = container.AddRoot(L"Disc", L'F');
  ASSERT_EQ(container.CreateDir(L"a", root, nullptr), 0);
  ASSERT_EQ(container.ImportFile(L"B", L"b", 10, root, nullptr), 0);

  Node* handle = root;
  container.RemoveItem(handle);
  EXPECT_EQ(handle, root);
  EXPECT_EQ(container.GetRoot(), root);
  EXPECT_TRUE(root->children.empty());
  EXPECT_EQ(root->dirCount + root->fileCount + root->blockCount, 0u);
  EXPECT_EQ(root->size, 0u);
  EXPECT_EQ(root->name, L"Disc");
  EXPECT_EQ(root->sourcePath, L"F:\\");
  EXPECT_EQ(container.CreateDir(L"a", root, nullptr), 0);
}

TEST(FileContainerTest, RenameRules) {
  Container container;
  container.SetImageFileSystem(Orlet::ImageFileSystemJoliet);
  Node* root = container.AddRoot(L"Disc", L'D');
  Node* dir = nullptr;
  Node* file = nullptr;
  Node* other = nullptr;
  ASSERT_EQ(container.CreateDir(L"shared", root, &dir), 0);
  ASSERT_EQ(container.ImportFile(L"F", L"file", 1, root, &file), 0);
  ASSERT_EQ(container.ImportFile(L"O", L"other", 1, root, &other), 0);

  EXPECT_EQ(container.RenameItem(file, L"shared"), 1);  // a directory has it: allowed
  EXPECT_EQ(file->name, L"shared");
  EXPECT_EQ(container.RenameItem(other, L"shared"), 0);  // a file has it
  EXPECT_EQ(other->name, L"other");
  EXPECT_EQ(container.RenameItem(other, L""), 0);
  EXPECT_EQ(container.RenameItem(other, L"other"), 1);  // its own name
  EXPECT_EQ(container.RenameItem(root, L"New label"), 1);
  EXPECT_EQ(root->name, L"New label");
  EXPECT_EQ(container.RenameItem(root, L""), 0);
  EXPECT_EQ(container.RenameRoot(L"Label 2"), 1);
  EXPECT_EQ(root->name, L"Label 2");
  EXPECT_EQ(container.RenameItem(nullptr, L"x"), 0);
  EXPECT_EQ(container.RenameItemInternal(root, L"x"), 0);  // the root has no siblings to ask

  // Renaming keeps the children's order and the new name is found, the old one free.
  EXPECT_EQ(ChildNames(root), (std::vector<std::wstring>{L"shared", L"shared", L"other"}));
  EXPECT_EQ(container.CreateDir(L"file", root, nullptr), 0);
  EXPECT_EQ(container.ImportFile(L"S", L"shared", 1, root, nullptr), 115);
  // Once the directory is gone, the renamed file still holds the name.
  container.RemoveItem(dir);
  EXPECT_EQ(container.CreateDir(L"shared", root, nullptr), 115);
  EXPECT_EQ(container.RenameItem(file, L"renamed"), 1);
  EXPECT_EQ(container.CreateDir(L"shared", root, nullptr), 0);
}

TEST(FileContainerTest, ImageFileSystemDecidesWhatMayBeAdded) {
  struct Case {
    Orlet::ImageFileSystem value;
    int createDir;
    uint32_t directoryBlocks;
    int newDir;
  };
  const Case cases[] = {
      {Orlet::ImageFileSystemNone, 105, 0, 127},
      {Orlet::ImageFileSystemIso9660, 0, 0, 0},
      {Orlet::ImageFileSystemIso9660Level2, 0, 0, 0},
      {Orlet::ImageFileSystemJoliet, 0, 0, 0},
      {Orlet::ImageFileSystemUdf, 0, 2, 127},
      {static_cast<Orlet::ImageFileSystem>(7), 0, 0, 127},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.value));
    Container container;
    container.SetImageFileSystem(c.value);
    EXPECT_EQ(container.GetImageFileSystem(), c.value);
    Node* root = container.AddRoot(L"Disc", L'D');
    Node* dir = nullptr;
    EXPECT_EQ(container.CreateDir(L"made", root, &dir), c.createDir);
    if (c.createDir == 0) {
      EXPECT_EQ(dir->blockCount, c.directoryBlocks);
      EXPECT_EQ(container.GetTotalSize(), c.directoryBlocks * 2048u);
      EXPECT_EQ(container.GetDirCounts(), 1u);
    }
    EXPECT_EQ(container.NewDir(root, nullptr), c.newDir);
    EXPECT_EQ(container.ImportFile(L"I", L"imported", 7, root, nullptr), 0);
  }
}

TEST(FileContainerTest, BlocksOfADirectoryDependOnTheValueWhenItWasMade) {
  Container container;
  container.SetImageFileSystem(Orlet::ImageFileSystemUdf);
  Node* root = container.AddRoot(L"Disc", L'D');
  Node* early = nullptr;
  ASSERT_EQ(container.CreateDir(L"early", root, &early), 0);
  container.SetImageFileSystem(Orlet::ImageFileSystemJoliet);
  ASSERT_EQ(container.CreateDir(L"late", root, nullptr), 0);
  EXPECT_EQ(root->blockCount, 2u);
  container.RemoveItem(early);
  EXPECT_EQ(root->blockCount, 0u);
}

TEST(FileContainerTest, NestingRuleCountsOnlyTheNamesOwnElements) {
  for (auto value : {Orlet::ImageFileSystemIso9660, Orlet::ImageFileSystemIso9660Level2,
                     Orlet::ImageFileSystemJoliet}) {
    SCOPED_TRACE(static_cast<int>(value));
    Container container;
    container.SetImageFileSystem(value);
    Node* root = container.AddRoot(L"Disc", L'D');
    const int nine = value == Orlet::ImageFileSystemIso9660 ? 2107 : 0;
    EXPECT_EQ(container.CheckDirRestrictions(L"a/b/c/d/e/f/g/h/i", root), nine);
    EXPECT_EQ(container.CheckDirRestrictions(L"a/b/c/d/e/f/g/h", root), 0);
    EXPECT_EQ(container.CreateDir(L"a/b/c/d/e/f/g/h/i", root, nullptr), nine);
    EXPECT_EQ(container.CreateDir(L"a/b/c/d/e/f/g/h", root, nullptr), 0);
    // A backslash is part of a name on this platform, not a separator.
    EXPECT_EQ(container.CreateDir(L"a\\b\\c\\d\\e\\f\\g\\h\\i", root, nullptr), 0);
    // A plain name passes however deep the tree already is.
    Node* parent = root;
    for (int level = 0; level < 12; ++level) {
      ASSERT_EQ(container.CreateDir(L"level", parent, &parent), 0);
    }
    EXPECT_EQ(container.GetDirCounts(), nine == 0 ? 15u : 14u);
  }
  Container none;
  Node* root = none.AddRoot(L"Disc", L'D');
  EXPECT_EQ(none.CheckDirRestrictions(L"plain", root), 105);
  EXPECT_EQ(none.CheckDirRestrictions(L"a/b/c/d/e/f/g/h/i", root), 105);
}

TEST(FileContainerTest, FileLimitAndNameChecks) {
  Container container;
  EXPECT_EQ(container.CheckFileRestriction(0), 127);
  for (auto value : {Orlet::ImageFileSystemIso9660, Orlet::ImageFileSystemIso9660Level2,
                     Orlet::ImageFileSystemJoliet}) {
    container.SetImageFileSystem(value);
    EXPECT_EQ(container.CheckFileRestriction(4294967296ULL), 0);
    EXPECT_EQ(container.CheckFileRestriction(4294967297ULL), 105);
  }
  container.SetImageFileSystem(Orlet::ImageFileSystemUdf);
  EXPECT_EQ(container.CheckFileRestriction(1), 127);

  EXPECT_EQ(container.CheckValidName(L""), 0);
  EXPECT_EQ(container.CheckValidName(L"x"), 1);
  EXPECT_EQ(container.CheckValidRootName(L""), 104);
  EXPECT_EQ(container.CheckValidRootName(L"x"), 0);

  std::list<Node*> found;
  Node* root = container.AddRoot(L"Disc", L'D');
  EXPECT_EQ(container.FindNodeFromName(L"Disc", found, root), 105);
  EXPECT_TRUE(found.empty());
}

}  // namespace
