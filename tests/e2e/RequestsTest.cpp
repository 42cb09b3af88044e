// Burn and Erase as a host asks for them on real disc states, and the drive
// record a host reads for each medium.

#include <gtest/gtest.h>

#include "HostFixture.h"
#include "orlet/DriveInfo.h"
#include "platform/OrletBases.h"

namespace {

using e2e::Strings;
using Orlet::DriveInfo;

// One request's answer, refusals in order of precedence: an index outside
// the list, no disc, a disc the drive cannot write or erase, a rewritable disc
// holding data without force. A refused burn tells the observer nothing, a
// refused erase tells it so; a burn started runs to its end.
struct Request {
  const char* name;
  bool erase;  // Erase, else Burn
  const char* medium;
  const char* disc;  // Attach's
  std::size_t index;
  int force;
  int answer;
  const char* heard;  // the observer's calls in short, without progress and tree texts
};

class RequestTest : public e2e::HostFixture, public testing::WithParamInterface<Request> {};

TEST_P(RequestTest, IsRefusedOrStartsAJob) {
  const Request& request = GetParam();
  ASSERT_NO_FATAL_FAILURE(Attach(request.medium, request.disc));
  const e2e::DiscBytes before = ReadDisc();
  e2e::HostBurnObserver burner({MakeTree("second", 2)});
  support::RecordingEraseObserver eraser;
  service->SetBurnObserver(&burner);
  service->SetEraseObserver(&eraser);
  if (request.erase) {
    EXPECT_EQ(service->Erase(request.index), request.answer);
  } else {
    ASSERT_EQ(service->Burn(request.index, L"", 65535, request.force), request.answer);
    if (request.answer == Orlet::ResultOk) {
      ASSERT_TRUE(burner.WaitForEnd());
    }
  }
  const Strings heard = e2e::Calls(request.heard);
  EXPECT_EQ(request.erase ? eraser.Calls() : burner.Events(), heard);
  if (heard.empty() || heard.back() != "OnBurnEvent(7,0)") {
    EXPECT_EQ(ReadDisc(), before);
    return;
  }
  EXPECT_EQ(Info().volumeLabel, L"E2E");  // a continued disc keeps its label
}

const Request kRequests[] = {
    {"IndexOutsideTheList", false, "cd-r", "blank", 1, 0, Orlet::ResultInvalidArgument, ""},
    {"NoDisc", false, "empty", "blank", 0, 1, Orlet::ResultNoDisc, ""},
    {"PressedDisc", false, "cd-rom", "zeros", 0, 1, Orlet::ResultNotSupported, ""},
    {"RewritableCdHoldingData", false, "cd-rw", "ours", 0, 0, Orlet::ResultDiscNotBlank, ""},
    {"RewritableBdHoldingData", false, "bd-re", "ours", 0, 0, Orlet::ResultDiscNotBlank, ""},
    {"RewritableDataForced", false, "cd-rw", "ours", 0, 1, Orlet::ResultOk, "P1 P2 I F B1 P5 B7"},
    // Data in no file system the job reads: never written over.
    {"WriteOnceHoldingOtherData", false, "cd-r", "zeros", 0, 0, Orlet::ResultOk, "P1 B4"},
    {"EraseOutsideTheList", true, "cd-rw", "blank", 1, 0, Orlet::ResultInvalidArgument, "E4,257"},
    {"ErasePressedDisc", true, "dvd-rom", "zeros", 0, 0, Orlet::ResultDiscNotErasable, "E4,257"},
};

INSTANTIATE_TEST_SUITE_P(Requests, RequestTest, testing::ValuesIn(kRequests),
                         e2e::RowName<Request>);

std::string Joined(const std::vector<Orlet::SpeedEntry>& speeds) {
  std::string text;
  for (const Orlet::SpeedEntry& entry : speeds) {
    text += (text.empty() ? "" : " ") + Orlet::tcs_to_mbs(entry.label);
  }
  return text;
}

// The drive record per medium: name|family|writable|erasable|space|free
// seconds (of the free bytes' low 32 bits, as the record has always counted)
// |whole seconds; then the speeds the drive takes for it, write and read.
struct Record {
  const char* medium;
  const char* disc;
  const char* record;
  const char* writeSpeeds;
  const char* readSpeeds;
};

// Without a disc the drive lists the CD steps up to the first above its
// maximum, unprobed; the speeds the virtual drive reads each family at.
constexpr const char* kCdSteps =
    "1.0x 2.0x 2.2x 3.0x 4.0x 8.0x 10.0x 12.0x 16.0x 20.0x 24.0x 32.0x 40.0x 44.0x 48.0x 52.0x";
constexpr const char* kCdRWrites = "4.0x 8.0x 16.0x 24.0x 32.0x 48.0x";
constexpr const char* kCdReads = "10.0x 20.0x 32.0x 40.0x 48.0x";
constexpr const char* kDvdHighs = "2.4x 4.0x 8.0x";
constexpr const char* kDvdReads = "2.0x 4.0x 8.0x 12.0x 16.0x";
constexpr const char* kBdReads = "2.0x 4.0x 6.0x";

class DriveRecordTest : public e2e::HostFixture, public testing::WithParamInterface<Record> {};

TEST_P(DriveRecordTest, ShowsTheMediumAndItsSpeeds) {
  const Record& row = GetParam();
  SCOPED_TRACE(std::string(row.medium) + " " + row.disc);
  ASSERT_NO_FATAL_FAILURE(Attach(row.medium, row.disc));
  const DriveInfo info = Info();
  using std::to_string;
  const std::string family = std::string(info.isCd != 0 ? "cd" : "") +
                             (info.isDvd != 0 ? "dvd" : "") + (info.isBd != 0 ? "bd" : "");
  EXPECT_EQ(Orlet::tcs_to_mbs(info.discTypeName) + "|" + family + "|" +
                to_string(service->IsDiscWritable(info)) + "|" + to_string(info.isErasable) + "|" +
                Orlet::tcs_to_mbs(info.spaceText) + "|" + to_string(info.freeSeconds) + "|" +
                to_string(info.capacitySeconds),
            row.record);
  EXPECT_EQ(Joined(info.writeSpeeds), row.writeSpeeds);
  EXPECT_EQ(Joined(info.readSpeeds), row.readSpeeds);
  // Packet and track at once, in the record's order: SAO, raw, packet, TAO.
  EXPECT_EQ(std::vector<uint32_t>(info.writeModes, info.writeModes + 4),
            (std::vector<uint32_t>{0, 0, 1, 1}));
  EXPECT_EQ(info.driveLetter, L"D:");
  EXPECT_EQ(info.deviceName, L"CdRom0");
}

const Record kRecords[] = {
    {"empty", "blank", "Empty||0|0||0|0", kCdSteps, kCdSteps},
    {"cd-rom", "zeros", "CD-ROM|cd|0|0|0.06 MB|0|0", "", ""},
    {"cd-r", "blank", "CD-R|cd|1|0|Blank|4797|4797", kCdRWrites, kCdReads},
    {"cd-r", "ours", "CD-R|cd|1|0|0.59 MB|4641|4797", kCdRWrites, kCdReads},
    {"cd-rw", "ours", "CD-RW|cd|1|1|0.59 MB|4641|4797", "4.0x 8.0x 16.0x 24.0x", kCdReads},
    {"dvd-rom", "zeros", "DVD-ROM|dvd|0|0|0.06 MB|0|-1", "", ""},
    {"dvd-r", "blank", "DVD-R|dvd|1|0|Blank|2684|2117", kDvdReads, kDvdReads},
    {"dvd-rw", "blank", "DVD-RW|dvd|1|1|Blank|2684|2117", "2.0x 4.0x 6.0x", kDvdReads},
    {"dvd-ram", "blank", "DVD-RAM|dvd|1|1|Blank|1860|2071", "2.0x 3.0x 5.0x", kDvdReads},
    {"dvd+r", "blank", "DVD+R|dvd|1|0|Blank|2639|2103", kDvdReads, kDvdReads},
    {"dvd+rw", "ours", "DVD+RW|dvd|1|1|0.07 MB|2638|2103", kDvdHighs, kDvdReads},
    {"dvd+r-dl", "blank", "DVD+R DL|dvd|1|0|Blank|27688|3954", kDvdHighs, kDvdReads},
    {"dvd-r-dl", "blank", "DVD-R DL|dvd|1|0|Blank|27660|3947", kDvdHighs, kDvdReads},
    {"bd-rom", "zeros", "BD-ROM|bd|0|0|0.06 MB|0|-1", "1.0x", kBdReads},
    {"bd-r", "blank", "BD-R|bd|1|0|Blank|23115|11274", "1.0x 2.0x 4.0x 6.0x", kBdReads},
    {"bd-re", "blank", "BD-RE|bd|1|1|Blank|17872|10914", "1.0x 2.0x", kBdReads},
    {"bd-re", "ours", "BD-RE|bd|1|1|0.07 MB|17871|10914", "1.0x 2.0x", kBdReads},
};

INSTANTIATE_TEST_SUITE_P(Media, DriveRecordTest, testing::ValuesIn(kRecords));

}  // namespace
