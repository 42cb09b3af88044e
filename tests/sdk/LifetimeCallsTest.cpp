// The SDK's start-up counting, handle release and error texts.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/ErrorOut.h"
#include "common/Object.h"
#include "starburn/StarBurn.h"

namespace {

TEST(LifetimeCallsTest, StartsAreCountedAndAnUnmatchedShutDownIsRefused) {
  char text[STARBURN_ERROR_TEXT_SIZE];
  ASSERT_EQ(StarBurn_UpStartEx(text, sizeof text), STARBURN_OK);
  ASSERT_EQ(StarBurn_UpStartEx(text, sizeof text), STARBURN_OK);
  EXPECT_EQ(StarBurn_DownShut(), STARBURN_OK);
  EXPECT_EQ(StarBurn_DownShut(), STARBURN_OK);
  EXPECT_EQ(StarBurn_DownShut(), STARBURN_STATUS_NOT_STARTED);
}

class Counted : public starburn::Object {
 public:
  explicit Counted(int* alive) : alive(alive) { ++*alive; }
  ~Counted() override { --*alive; }

 private:
  int* alive;
};

TEST(LifetimeCallsTest, DestroyReleasesLiveHandlesOnceAndIgnoresOthers) {
  int alive = 0;
  void* handle = starburn::HandleTable::Instance().Add(new Counted(&alive));
  void* copy = handle;
  StarBurn_Destroy(&handle);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(alive, 0);
  StarBurn_Destroy(&copy);  // stale: nothing happens, the caller's value stays
  EXPECT_NE(copy, nullptr);
  int local = 0;
  void* foreign = &local;
  StarBurn_Destroy(&foreign);
  EXPECT_EQ(foreign, &local);
  StarBurn_Destroy(nullptr);
}

TEST(LifetimeCallsTest, ErrorTextIsCutToItsBufferAndAlwaysTerminated) {
  char text[8];
  std::memset(text, 'x', sizeof text);
  uint32_t systemError = 0;
  starburn::ErrorOut out{text, sizeof text, &systemError};
  EXPECT_EQ(out.Fail(STARBURN_STATUS_IO_ERROR, "a long message", 5), STARBURN_STATUS_IO_ERROR);
  EXPECT_STREQ(text, "a long ");
  EXPECT_EQ(systemError, 5u);

  char small[4];
  EXPECT_FALSE(starburn::CopyText("abcd", small, sizeof small));  // never cut
  EXPECT_STREQ(small, "");
  EXPECT_TRUE(starburn::CopyText("abc", small, sizeof small));
  EXPECT_STREQ(small, "abc");
}

}  // namespace
