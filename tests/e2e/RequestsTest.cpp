// Burn and Erase as a host asks for them on real disc states, and the drive
// record a host reads for each medium.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "HostFixture.h"
#include "orlet/DriveInfo.h"
#include "platform/OrletBases.h"

namespace {

using Orlet::DriveInfo;
using Strings = std::vector<std::string>;

// A disc of medium in drive 0, holding one session when written; a pressed
// disc holds 64 KiB of zeros.
class RequestTest : public e2e::HostFixture {
 protected:
  void Disc(const char* medium, bool written) {
    if (std::string(medium).find("-rom") != std::string::npos) {
      std::ofstream(Scratch("disc.iso")) << std::string(1 << 16, '\0');
    }
    Attach(medium, Scratch("disc.iso"));
    if (written) BurnOk({MakeTree("first", 1)}, 1);
  }
};

// One request's answer, refusals in order of precedence: a stopped service,
// an index outside the list, no disc, a disc the drive cannot write, a
// rewritable disc holding data without force.
struct BurnRequest {
  const char* name;
  const char* medium;
  bool written;
  bool started;
  std::size_t index;
  int force;
  int answer;
};

class BurnRequestTest : public RequestTest, public testing::WithParamInterface<BurnRequest> {};

TEST_P(BurnRequestTest, IsRefusedOrStartsAJobThatWrites) {
  const BurnRequest& request = GetParam();
  Disc(request.medium, request.written);
  if (!request.started) service->Uninitialize();
  e2e::HostBurnObserver observer({MakeTree("second", 2)});
  service->SetBurnObserver(&observer);
  ASSERT_EQ(service->Burn(request.index, L"", 65535, request.force), request.answer);
  if (request.answer != Orlet::ResultOk) {
    EXPECT_EQ(observer.Calls(), Strings{});
    return;
  }
  ASSERT_TRUE(observer.WaitForEnd());
  EXPECT_EQ(observer.Events().back(), "OnBurnEvent(7,0)");
  DriveInfo info;
  ASSERT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  // A continued disc keeps its label; a new one takes the job's, NoName when
  // the host gives none.
  EXPECT_EQ(info.volumeLabel, request.written ? L"E2E" : L"NoName");
}

const BurnRequest kBurnRequests[] = {
    {"NotStarted", "cd-r", false, false, 0, 0, Orlet::ResultNotStarted},
    {"IndexOutsideTheList", "cd-r", false, true, 1, 0, Orlet::ResultInvalidArgument},
    {"NoDisc", "empty", false, true, 0, 1, Orlet::ResultNoDisc},
    {"PressedDisc", "cd-rom", false, true, 0, 1, Orlet::ResultNotSupported},
    {"RewritableCdHoldingData", "cd-rw", true, true, 0, 0, Orlet::ResultDiscNotBlank},
    {"RewritableDvdHoldingData", "dvd+rw", true, true, 0, 0, Orlet::ResultDiscNotBlank},
    {"RewritableBdHoldingData", "bd-re", true, true, 0, 0, Orlet::ResultDiscNotBlank},
    {"RewritableHoldingDataForced", "cd-rw", true, true, 0, 1, Orlet::ResultOk},
    {"BlankRewritable", "dvd-rw", false, true, 0, 0, Orlet::ResultOk},
    {"WriteOnceHoldingData", "cd-r", true, true, 0, 0, Orlet::ResultOk},
};

std::string RequestName(const testing::TestParamInfo<BurnRequest>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Burn, BurnRequestTest, testing::ValuesIn(kBurnRequests), RequestName);

// Erase refusals in order of precedence (no observer, a stopped service, an
// index outside the list; then a blank disc before one that cannot be
// erased, and both before an erase already running), each told to the
// observer as a refused erase.
struct EraseRequest {
  const char* name;
  const char* medium;
  bool written;
  bool started;
  bool observed;
  std::size_t index;
  const char* insideAt;  // the erase's event inside which the request comes; "" none
  int answer;
};

class EraseRequestTest : public RequestTest, public testing::WithParamInterface<EraseRequest> {};

TEST_P(EraseRequestTest, IsRefusedOrErases) {
  const EraseRequest& request = GetParam();
  Disc(request.medium, request.written);
  if (!request.started) service->Uninitialize();
  e2e::HostEraseObserver observer;
  service->SetEraseObserver(request.observed ? &observer : nullptr);
  int answer = -1;
  if (request.insideAt[0] == '\0') {
    answer = service->Erase(request.index);
  } else {
    e2e::HostEraseObserver inner;
    observer.hookAt = request.insideAt;
    observer.hook = [&] {
      service->SetEraseObserver(&inner);
      answer = service->Erase(request.index);
      EXPECT_EQ(inner.Calls(), Strings{"OnEraseEvent(4,257)"});
    };
    EXPECT_EQ(service->Erase(0), Orlet::ResultOk);
  }
  EXPECT_EQ(answer, request.answer);
  if (request.answer != Orlet::ResultOk && request.insideAt[0] == '\0') {
    EXPECT_EQ(observer.Calls(), request.observed ? Strings{"OnEraseEvent(4,257)"} : Strings{});
  }
}

const EraseRequest kEraseRequests[] = {
    {"NoObserver", "cd-rw", true, true, false, 0, "", Orlet::ResultNoObserver},
    {"NotStarted", "cd-rw", true, false, true, 0, "", Orlet::ResultNotStarted},
    {"IndexOutsideTheList", "cd-rw", false, true, true, 1, "", Orlet::ResultInvalidArgument},
    {"BlankDisc", "cd-rw", false, true, true, 0, "", Orlet::ResultDiscBlank},
    {"WriteOnceDisc", "cd-r", true, true, true, 0, "", Orlet::ResultDiscNotErasable},
    {"PressedDisc", "dvd-rom", false, true, true, 0, "", Orlet::ResultDiscNotErasable},
    {"WhileAnEraseBlanks", "cd-rw", true, true, true, 0, "OnEraseEvent(2,0)", Orlet::ResultBusy},
    {"BlankedWhileTheEraseRuns", "cd-rw", true, true, true, 0, "OnEraseEvent(3,0)",
     Orlet::ResultDiscBlank},
    {"RewritableHoldingData", "bd-re", true, true, true, 0, "", Orlet::ResultOk},
};

INSTANTIATE_TEST_SUITE_P(Erase, EraseRequestTest, testing::ValuesIn(kEraseRequests),
                         [](const testing::TestParamInfo<EraseRequest>& info) {
                           return std::string(info.param.name);
                         });

// A second Burn while a job runs is refused, and the job keeps its own label.
TEST_F(RequestTest, SecondBurnDuringAJobIsRefused) {
  Disc("dvd+r", false);
  e2e::HostBurnObserver observer({MakeTree("first", 1)});
  observer.hookAt = "OnFillContainer";
  observer.hook = [this] {
    EXPECT_EQ(service->Burn(0, L"SECOND", 65535, 0), Orlet::ResultThreadFailed);
  };
  ASSERT_EQ(RunBurn(observer, 0, L"FIRST").back(), "OnBurnEvent(7,0)");
  DriveInfo info;
  ASSERT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  EXPECT_EQ(info.volumeLabel, L"FIRST");
}

std::string Joined(const std::vector<Orlet::SpeedEntry>& speeds) {
  std::string text;
  for (const Orlet::SpeedEntry& entry : speeds) {
    text += (text.empty() ? "" : " ") + Orlet::tcs_to_mbs(entry.label);
  }
  return text;
}

// What the drive record shows for each medium: its name and family, whether
// the drive writes it, its space, whether it is erasable, and the speeds the
// drive takes for it (write, then read).
struct Record {
  const char* medium;
  bool written;
  const char* name;
  const char* family;  // "cd", "dvd", "bd" or ""
  int writable;
  const char* space;
  uint32_t erasable;
  const char* writeSpeeds;
  const char* readSpeeds;
};

// Without a disc the drive lists the CD steps up to the first above its
// maximum, unprobed; the speeds the virtual drive reads each family at.
constexpr const char* kCdSteps =
    "1.0x 2.0x 2.2x 3.0x 4.0x 8.0x 10.0x 12.0x 16.0x 20.0x 24.0x 32.0x 40.0x 44.0x 48.0x 52.0x";
constexpr const char* kCdReads = "10.0x 20.0x 32.0x 40.0x 48.0x";
constexpr const char* kDvdReads = "2.0x 4.0x 8.0x 12.0x 16.0x";
constexpr const char* kBdReads = "2.0x 4.0x 6.0x";

class DriveRecordTest : public RequestTest, public testing::WithParamInterface<Record> {};

TEST_P(DriveRecordTest, ShowsTheMediumAndItsSpeeds) {
  const Record& row = GetParam();
  Disc(row.medium, row.written);
  DriveInfo info;
  ASSERT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  EXPECT_EQ(Orlet::tcs_to_mbs(info.discTypeName), row.name);
  EXPECT_EQ(std::string(info.isCd != 0 ? "cd" : "") + (info.isDvd != 0 ? "dvd" : "") +
                (info.isBd != 0 ? "bd" : ""),
            row.family);
  EXPECT_EQ(service->IsDiscWritable(info), row.writable);
  EXPECT_EQ(Orlet::tcs_to_mbs(info.spaceText), row.space);
  EXPECT_EQ(info.isErasable, row.erasable);
  EXPECT_EQ(Joined(info.writeSpeeds), row.writeSpeeds);
  EXPECT_EQ(Joined(info.readSpeeds), row.readSpeeds);
  EXPECT_EQ(info.driveLetter, L"D:");
  EXPECT_EQ(info.deviceName, L"CdRom0");
}

const Record kRecords[] = {
    {"empty", false, "Empty", "", 0, "", 0, kCdSteps, kCdSteps},
    {"cd-rom", false, "CD-ROM", "cd", 0, "0.06 MB", 0, "", ""},
    {"cd-r", false, "CD-R", "cd", 1, "Blank", 0, "4.0x 8.0x 16.0x 24.0x 32.0x 48.0x", kCdReads},
    {"cd-r", true, "CD-R", "cd", 1, "0.59 MB", 0, "4.0x 8.0x 16.0x 24.0x 32.0x 48.0x", kCdReads},
    {"cd-rw", true, "CD-RW", "cd", 1, "0.59 MB", 1, "4.0x 8.0x 16.0x 24.0x", kCdReads},
    {"dvd-rom", false, "DVD-ROM", "dvd", 0, "0.06 MB", 0, "", ""},
    {"dvd-r", false, "DVD-R", "dvd", 1, "Blank", 0, kDvdReads, kDvdReads},
    {"dvd-rw", false, "DVD-RW", "dvd", 1, "Blank", 1, "2.0x 4.0x 6.0x", kDvdReads},
    {"dvd-ram", false, "DVD-RAM", "dvd", 1, "Blank", 1, "2.0x 3.0x 5.0x", kDvdReads},
    {"dvd+r", false, "DVD+R", "dvd", 1, "Blank", 0, kDvdReads, kDvdReads},
    {"dvd+rw", true, "DVD+RW", "dvd", 1, "0.07 MB", 1, "2.4x 4.0x 8.0x", kDvdReads},
    {"dvd+r-dl", false, "DVD+R DL", "dvd", 1, "Blank", 0, "2.4x 4.0x 8.0x", kDvdReads},
    {"dvd-r-dl", false, "DVD-R DL", "dvd", 1, "Blank", 0, "2.4x 4.0x 8.0x", kDvdReads},
    {"bd-rom", false, "BD-ROM", "bd", 0, "0.06 MB", 0, "1.0x", kBdReads},
    {"bd-r", false, "BD-R", "bd", 1, "Blank", 0, "1.0x 2.0x 4.0x 6.0x", kBdReads},
    {"bd-re", false, "BD-RE", "bd", 1, "Blank", 1, "1.0x 2.0x", kBdReads},
    {"bd-re", true, "BD-RE", "bd", 1, "0.07 MB", 1, "1.0x 2.0x", kBdReads},
};

INSTANTIATE_TEST_SUITE_P(Media, DriveRecordTest, testing::ValuesIn(kRecords),
                         [](const testing::TestParamInfo<Record>& info) {
                           std::string name;
                           for (const char* c = info.param.medium; *c != '\0'; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c)) != 0) name += *c;
                             if (*c == '+') name += "Plus";
                           }
                           return name + (info.param.written ? "Written" : "Blank");
                         });

}  // namespace
