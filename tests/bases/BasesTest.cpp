// The base services as the library and a host use them: text conversion,
// directory search on the real file system, and worker threads. File sizes
// come through the container's import (FileContainerTest), the module
// directory through the ASPI probe (aspi_probe_tests).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <locale>
#include <string>
#include <vector>

#include "platform/OrletBases.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using Orlet::kInfinite;

#if defined(_WIN32)
TEST(TextConversionTest, RoundTripsInTheAnsiCodePage) {
  struct Case {
    const char* bytes;
    const wchar_t* wide;
    const char* back;
  };
  // A process whose ANSI code page is UTF-8 reaches every name; one in a
  // Western code page holds Latin-1 and writes the rest as '?'.
  const std::vector<Case> cases =
      GetACP() == CP_UTF8 ? std::vector<Case>{{"caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80",
                                               L"caf\u00e9 \u65e5 \U0001F600",
                                               "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"}}
                          : std::vector<Case>{{"caf\xE9", L"caf\u00e9", "caf\xE9"},
                                              {nullptr, L"caf\u00e9 \u65e5", "caf\xE9 ?"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.back);
    if (c.bytes != nullptr) {
      EXPECT_EQ(Orlet::mbs_to_tcs(c.bytes), c.wide);
    }
    EXPECT_EQ(Orlet::tcs_to_mbs(c.wide), c.back);
  }
}
#else
TEST(TextConversionTest, RoundTripsUnderEveryUtf8Locale) {
  struct Case {
    const char* bytes;  // null: the text has no byte form
    const wchar_t* wide;
    const char* back;
  };
  const Case cases[] = {
      {"caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", L"caf\u00e9 \u65e5 \U0001F600",
       "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"},
      // Bytes that are not UTF-8 are carried one character each and come back.
      {"r\xE9sum\xE9.txt", L"r\xDCE9sum\xDCE9.txt", "r\xE9sum\xE9.txt"},
      {"\xC0\xAF", L"\xDCC0\xDCAF", "\xC0\xAF"},                              // overlong
      {"ab\xE6\x97", L"ab\xDCE6\xDC97", "ab\xE6\x97"},                        // cut short
      {"\xED\xA0\x80", L"\xDCED\xDCA0\xDC80", "\xED\xA0\x80"},                // a surrogate
      {"\xF4\x90\x80\x80", L"\xDCF4\xDC90\xDC80\xDC80", "\xF4\x90\x80\x80"},  // past U+10FFFF
      // A lone surrogate cannot be written: it becomes '?', the rest stays.
      {nullptr, L"a\xD800z", "a?z"},
  };
  std::vector<std::locale> locales = {std::locale::classic(), std::locale()};
  try {
    locales.emplace_back("C.UTF-8");
  } catch (const std::runtime_error&) {
    ADD_FAILURE() << "no C.UTF-8 locale on this machine";
  }
  for (const std::locale& locale : locales) {
    for (const Case& c : cases) {
      SCOPED_TRACE(locale.name() + " " + c.back);
      EXPECT_EQ(c.bytes == nullptr ? c.wide : Orlet::mbs_to_tcs(c.bytes, locale), c.wide);
      EXPECT_EQ(Orlet::tcs_to_mbs(c.wide, locale), c.back);
      EXPECT_EQ(Orlet::tcs_to_wcs(c.wide, locale), c.wide);
    }
  }
}

#endif

TEST(FileFindTest, ListsDotEntriesFirstThenNamesInByteOrder) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("orlet-bases-" + std::to_string(std::rand()));
  std::filesystem::create_directories(dir / "sub");
  for (const char* name : {"b.txt", "a.txt", "\xC3\xA9t\xC3\xA9", "noext"}) {
    std::ofstream(dir / std::filesystem::u8path(name)) << "x";  // UTF-8 to the system's form
  }
  const struct {
    std::filesystem::path directory;
    const wchar_t* names;
  } cases[] = {
      {dir, L". .. a.txt b.txt noext sub \u00e9t\u00e9 "},
      {dir / "missing", L""},
  };
  for (const auto& c : cases) {
    Orlet::FileFind find;
    EXPECT_EQ(find.GetFileName(), L"");  // nothing current before the first
    std::wstring names;
    // "*.*", the one pattern the library asks for.
    if (find.FindFirst(c.directory.wstring(), L"*.*") != 0) {
      do {
        names += find.GetFileName() + L" ";
      } while (find.FindNext() != 0);
    }
    EXPECT_EQ(names, c.names) << c.directory;
    EXPECT_EQ(find.FindNext(), 0);
    EXPECT_EQ(find.GetFileName(), L"");  // nothing current after the last
  }
  std::filesystem::remove_all(dir);
}

// Runs until asked to stop.
class Worker : public Orlet::Thread {
 public:
  ~Worker() override { StopThread(kInfinite, 1); }
  int ThreadProc() override {
    ++runs;
    started = true;
    while (IsStopThread(10) == 0) {
    }
    return 0;
  }
  void Start() {
    started = false;
    ASSERT_NE(StartThread(0), 0);
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  std::atomic<int> runs{0};
  std::atomic<bool> started{false};
};

TEST(ThreadTest, StartStopAndRestart) {
  Worker worker;
  EXPECT_EQ(worker.StopThread(kInfinite, 1), 1);  // never ran: answers at once
  EXPECT_EQ(worker.IsThreadRunning(), 0);
  worker.Start();
  EXPECT_EQ(worker.IsThreadRunning(), 1);
  EXPECT_EQ(worker.StartThread(0), 0);  // one body at a time
  EXPECT_EQ(worker.StopThread(kInfinite, 1), 1);
  EXPECT_EQ(worker.IsThreadRunning(), 0);
  EXPECT_EQ(worker.IsStopThread(0), 1);

  worker.Start();
  EXPECT_EQ(worker.runs, 2);
  EXPECT_EQ(worker.IsStopThread(0), 0);  // a restart clears the stop request
  EXPECT_EQ(worker.StopThread(kInfinite, 1), 1);
}

// Tells when its thread has ended: a thread's own objects are destroyed as it
// exits, after the body and everything around it have returned.
struct ThreadEnd {
  std::promise<void>* ended = nullptr;
  ~ThreadEnd() {
    if (ended != nullptr) ended->set_value();
  }
};

// Frees its own object, as a host does that destroys a service inside its
// job's last event.
struct FreesItself : Orlet::Thread {
  explicit FreesItself(std::promise<void>* ended) : ended(ended) {}
  int ThreadProc() override {
    thread_local ThreadEnd end;
    end.ended = ended;
    delete this;
    return 0;
  }
  std::promise<void>* ended;
};

TEST(ThreadTest, ABodyThatFreesItsOwnObjectEndsWithoutTouchingIt) {
  std::promise<void> ended;
  ASSERT_NE((new FreesItself(&ended))->StartThread(0), 0);
  // The sanitizer builds catch any touch of the freed object on the way out.
  EXPECT_EQ(ended.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

}  // namespace
