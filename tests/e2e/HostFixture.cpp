#include "HostFixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/Object.h"
#include "devices/DeviceRegistry.h"
#include "devices/Medium.h"
#include "platform/OrletBases.h"
#include "starburn/StarBurn.h"

namespace e2e {

namespace fs = std::filesystem;

namespace {

// Burn's speed argument: as fast as the drive goes.
constexpr unsigned kFastest = 65535;

void WriteFile(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

HostBurnObserver::HostBurnObserver(Strings sources) {
  fill = [sources = std::move(sources)](Orlet::FileContainer* container) {
    for (const std::string& source : sources) {
      Orlet::FileContainer::Node* added = nullptr;
      EXPECT_EQ(
          container->AddItem(Orlet::mbs_to_tcs(source), container->GetRoot(), &added, nullptr),
          Orlet::ResultOk)
          << source;
    }
  };
}

Strings HostBurnObserver::Events() const {
  Strings events;
  for (const std::string& call : Calls()) {
    if (call.rfind("OnBurnProgress", 0) != 0 && call.rfind("OnTreeName", 0) != 0) {
      events.push_back(call);
    }
  }
  return events;
}

void HostFixture::SetUp() {
  const char* base = std::getenv("ORLET_E2E_SCRATCH");
  const std::string folder = base != nullptr && base[0] != '\0' ? base : "/tmp";
  fs::create_directories(folder);
  std::string pattern = folder + "/host-XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  scratch = pattern;
  // Only the drives a test attaches: none from the environment, none of the
  // machine's own.
  unsetenv("STARBURN_VIRTUAL_DRIVES");
  setenv("STARBURN_REAL_DRIVES", "0", 1);
  ASSERT_NO_FATAL_FAILURE(StartService());
  starburn::DeviceRegistry::Instance().DetachAll();
}

void HostFixture::TearDown() {
  if (held != nullptr) StarBurn_Destroy(&held);
  if (service != nullptr) {
    service->Uninitialize();
    EXPECT_EQ(Orlet::DestroyMediaBurning(service), Orlet::ResultOk);
  }
  // The library released every device and tree handle it opened.
  EXPECT_EQ(starburn::HandleTable::Instance().Count(), 0u);
  starburn::DeviceRegistry::Instance().DetachAll();
  recorder.reset();
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
}

void HostFixture::StartService() {
  ASSERT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
  ASSERT_EQ(service->Initialize(), Orlet::ResultOk);
}

std::string HostFixture::MakeTree(const std::string& name, int seed) const {
  std::string root = Scratch(name);
  const std::string number = std::to_string(seed);
  WriteFile(root + "/readme.txt", "session " + number + "\n");
  WriteFile(root + "/data/blocks.bin", std::string(5000 + seed, static_cast<char>('a' + seed)));
  WriteFile(root + "/\xc3\xa9t\xc3\xa9/plage.txt", "plage " + number);
  fs::create_directories(root + "/empty");
  return root;
}

void HostFixture::Attach(const char* medium, const std::string& disc) {
  const std::string image = Scratch("disc.iso");
  if (disc == "zeros") WriteFile(image, std::string(1 << 16, '\0'));
  std::string error;
  ASSERT_EQ(starburn::EmulatedRecorder::Create(starburn::FindMedium(medium), image,
                                               starburn::DriveModel::AllMedia(), &recorder, &error),
            STARBURN_OK)
      << error;
  ASSERT_EQ(starburn::DeviceRegistry::Instance().AttachVirtual({recorder}, &error), STARBURN_OK)
      << error;
  service->StartDriveSearch(0, 0);
  ASSERT_EQ(service->GetDriveCount(), 1u);
  if (disc == "ours") {
    ASSERT_NO_FATAL_FAILURE(BurnOk({MakeTree("first", 1)}, 1));
  }
}

Strings HostFixture::RunBurn(HostBurnObserver& observer, int force,
                                              const std::wstring& label) {
  service->SetBurnObserver(&observer);
  const int accepted = service->Burn(0, label, kFastest, force);
  EXPECT_EQ(accepted, Orlet::ResultOk);
  if (accepted != Orlet::ResultOk) return {};
  EXPECT_TRUE(observer.WaitForEnd());
  return observer.Events();
}

void HostFixture::BurnOk(const Strings& sources, int force) {
  HostBurnObserver observer(sources);
  const auto events = RunBurn(observer, force);
  ASSERT_FALSE(events.empty());
  ASSERT_EQ(events.back(), "OnBurnEvent(7,0)") << testing::PrintToString(events);
}

uint32_t HostFixture::NextSession() {
  Orlet::DriveInfo info;
  EXPECT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  return info.sessionStartAddress;
}

void* HostFixture::HoldDrive() {
  Orlet::DriveInfo info;
  EXPECT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  void* device = nullptr;
  char error[STARBURN_ERROR_TEXT_SIZE];
  const uint32_t recording = 0;  // the last argument: 0 holds the drive alone
  if (StarBurn_CdvdBurnerGrabber_CreateEx(&device, error, sizeof error, nullptr, nullptr, nullptr,
                                          nullptr, Orlet::tcs_to_mbs(info.deviceName).c_str(),
                                          recording) != STARBURN_OK) {
    return nullptr;
  }
  return device;
}

bool HostFixture::DriveIsFree() {
  if (held != nullptr) StarBurn_Destroy(&held);
  void* device = HoldDrive();
  if (device == nullptr) return false;
  StarBurn_Destroy(&device);
  return true;
}

DiscBytes HostFixture::ReadDisc() const {
  return {ReadFile(Scratch("disc.iso")), ReadFile(Scratch("disc.iso.state"))};
}

uint32_t HostFixture::LastTrackStart() const {
  const std::string state = ReadDisc().state;
  const std::size_t last = state.rfind("\ntrack ");
  return last == std::string::npos ? 0 : std::stoul(state.substr(last + 7));
}

std::string HostFixture::ReadersFind(uint32_t start, const Strings& specs) const {
  // The arguments are quoted for the shell; test paths hold no single quote.
  std::string command = "/usr/bin/python3 '" + std::string(ORLET_E2E_DIR) + "/disc_check.py' '" +
                        Scratch("disc.iso") + "' " + std::to_string(start);
  for (const std::string& spec : specs) command += " '" + spec + "'";
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return "cannot run " + command;
  std::string output;
  char buffer[4096];
  for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output.append(buffer, got);
  const int status = pclose(pipe);
  return status == 0 ? "" : output + "(status " + std::to_string(status) + ")";
}

Act Fail(uint8_t opcode, starburn::SenseCodes sense, uint32_t skip, uint32_t times) {
  return [=](HostFixture& host) {
    starburn::FaultPlan plan;
    plan.commands.push_back({opcode, skip, times, sense});
    host.recorder->SetFaults(plan);
  };
}

Strings Through(const Strings& sequence, const std::string& last, const Strings& tail) {
  Strings calls;
  for (const std::string& call : sequence) {
    calls.push_back(call);
    if (call == last) break;
  }
  calls.insert(calls.end(), tail.begin(), tail.end());
  return calls;
}

}  // namespace e2e
