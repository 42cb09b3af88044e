// Directory search and file access on the real file system.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/OrletBases.h"

namespace {

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orlet-bases-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

  void Write(const std::string& name, const std::string& content) {
    std::ofstream(dir + "/" + name) << content;
  }

  std::string dir;
};

std::vector<std::wstring> List(const std::wstring& directory, const std::wstring& pattern) {
  Orlet::FileFind find;
  std::vector<std::wstring> names;
  if (find.FindFirst(directory, pattern) == 0) return names;
  do {
    names.push_back(find.GetFileName());
  } while (find.FindNext() != 0);
  return names;
}

TEST_F(FileTest, SearchListsDotEntriesFirstThenNamesInOrder) {
  Write("b.txt", "b");
  Write("a.txt", "a");
  Write("\xC3\xA9t\xC3\xA9", "non-ASCII");  // "été"
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
  const std::wstring wide = Orlet::mbs_to_tcs(dir);

  EXPECT_EQ(List(wide, L"*.*"),
            (std::vector<std::wstring>{L".", L"..", L"a.txt", L"b.txt", L"sub", L"\u00e9t\u00e9"}));
  EXPECT_EQ(List(wide, L"*.txt"), (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
  EXPECT_TRUE(List(wide + L"/missing", L"*.*").empty());

  Orlet::FileFind find;
  EXPECT_EQ(find.GetFileName(), L"");  // nothing current before FindFirst
}

TEST_F(FileTest, SizeOfASparseFileAbove4GiB) {
  const std::string path = dir + "/big";
  const long long size = (5LL << 30) + 3;  // 5 GiB and 3 bytes, sparse
  {
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(ftruncate(fileno(file), size), 0);
    std::fclose(file);
  }
  Orlet::FileIo io;
  ASSERT_NE(io.Open(Orlet::mbs_to_tcs(path), Orlet::kGenericRead, Orlet::kShareRead,
                    Orlet::kOpenExisting),
            0);
  EXPECT_EQ(io.GetFileSize(), static_cast<uint64_t>(size));
  char byte = 'x';
  EXPECT_EQ(io.Read(static_cast<uint64_t>(size) - 1, &byte, 1), 1);
  EXPECT_EQ(byte, '\0');
}

TEST_F(FileTest, OpenRefusesMissingFilesAndDirectories) {
  Orlet::FileIo io;
  EXPECT_EQ(io.Open(Orlet::mbs_to_tcs(dir + "/missing"), Orlet::kGenericRead, Orlet::kShareRead,
                    Orlet::kOpenExisting),
            0);
  EXPECT_EQ(io.GetFileSize(), 0u);
  EXPECT_EQ(
      io.Open(Orlet::mbs_to_tcs(dir), Orlet::kGenericRead, Orlet::kShareRead, Orlet::kOpenExisting),
      0);
}

TEST_F(FileTest, ModuleDirectoryIsTheCallersDirectoryWithoutSeparator) {
  wchar_t buffer[260];
  const uint32_t length = Orlet::GetModuleDir(buffer, 260);
  ASSERT_GT(length, 0u);
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  std::string program(exe, static_cast<std::size_t>(n));
  EXPECT_EQ(Orlet::tcs_to_mbs(buffer), program.substr(0, program.rfind('/')));
  EXPECT_EQ(Orlet::GetModuleDir(buffer, 2), 0u);  // does not fit
}

}  // namespace
