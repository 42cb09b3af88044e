#include "HostFixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "common/Object.h"
#include "devices/DeviceRegistry.h"
#include "platform/OrletBases.h"
#include "starburn/StarBurn.h"
#include "virtual/Medium.h"

namespace e2e {

namespace fs = std::filesystem;

namespace {

void WriteFile(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The journal: the program links with --wrap for each call wrapped below, so
// the library's calls pass through the wrappers and the SDK's own do not.
std::mutex journalMutex;
bool journaling = false;             // guarded by journalMutex
std::vector<std::string> journaled;  // guarded by journalMutex

void Note(std::string call) {
  std::lock_guard<std::mutex> lock(journalMutex);
  if (journaling) journaled.push_back(std::move(call));
}

std::string Text(uint32_t value) { return std::to_string(value); }

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
  scratch = folder + "/host-XXXXXX";
  ASSERT_NE(mkdtemp(scratch.data()), nullptr);
  // Only the drives a test attaches: none from the environment, none of the
  // machine's own.
  unsetenv("STARBURN_VIRTUAL_DRIVES");
  setenv("STARBURN_REAL_DRIVES", "0", 1);
  noCurrentWriteSpeed = false;
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

Strings HostFixture::RunBurn(HostBurnObserver& observer, int force, const std::wstring& label) {
  service->SetBurnObserver(&observer);
  const int accepted = service->Burn(0, label, 65535, force);
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

Orlet::DriveInfo HostFixture::Info() {
  Orlet::DriveInfo info;
  EXPECT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  return info;
}

void* HostFixture::HoldDrive() {
  void* device = nullptr;
  char error[STARBURN_ERROR_TEXT_SIZE];
  const uint32_t recording = 0;  // the last argument: 0 holds the drive alone
  const StarBurnStatus status = StarBurn_CdvdBurnerGrabber_CreateEx(
      &device, error, sizeof error, nullptr, nullptr, nullptr, nullptr, "CdRom0", recording);
  return status == STARBURN_OK ? device : nullptr;
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

Strings Calls(const std::string& text) {
  static const std::map<char, std::string> kNames = {
      {'P', "OnPrepareEvent("},    {'B', "OnBurnEvent("},    {'E', "OnEraseEvent("},
      {'I', "OnAskImportSession"}, {'F', "OnFillContainer"}, {'T', "OnEraseEstimate(9000)"}};
  Strings calls;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    std::string call = kNames.at(word[0]);
    if (word.size() > 1) {
      call += word.substr(1) + (word.find(',') == std::string::npos ? ",0)" : ")");
    }
    calls.push_back(call);
  }
  return calls;
}

Strings JournalSdkCalls(bool on) {
  std::lock_guard<std::mutex> lock(journalMutex);
  if (on) journaled.clear();
  journaling = on;
  return journaled;
}

// The device calls' common head, as parameters and as arguments.
#define HEAD void *d, char *t, uint32_t n, uint32_t *s, StarBurnCommandFailure *f
#define PASS d, t, n, s, f
// A journaled SDK call: its full and journaled names, its parameters, its
// arguments, the text of the arguments the journal shows.
#define WRAPPED(full, name, params, args, shown)            \
  extern "C" StarBurnStatus __real_StarBurn_##full params;  \
  extern "C" StarBurnStatus __wrap_StarBurn_##full params { \
    Note(std::string(name "(") + (shown) + ")");            \
    return __real_StarBurn_##full args;                     \
  }
#define JOURNALED(name, ...) WRAPPED(CdvdBurnerGrabber_##name, #name, __VA_ARGS__)

JOURNALED(CreateEx,
          (void** d, char* t, uint32_t n, uint32_t* s, StarBurnCommandFailure* f,
           StarBurnCallback c, void* x, const char* name, uint32_t shared),
          (d, t, n, s, f, c, x, name, shared), Text(shared))
JOURNALED(TestUnitReady, (HEAD), (PASS), "")
JOURNALED(GetBUP, (HEAD, uint8_t* on, uint32_t* can), (PASS, on, can), "")
JOURNALED(SetBUP, (HEAD, uint32_t on), (PASS, on), Text(on))
JOURNALED(SetSpeeds, (HEAD, uint32_t r, uint32_t w), (PASS, r, w), Text(r) + ", " + Text(w))
#define SPEEDS HEAD, uint32_t *a, uint32_t *b, uint32_t *c, uint32_t *e
extern "C" StarBurnStatus __real_StarBurn_CdvdBurnerGrabber_GetSpeeds(SPEEDS);
extern "C" StarBurnStatus __wrap_StarBurn_CdvdBurnerGrabber_GetSpeeds(SPEEDS) {
  Note("GetSpeeds()");
  const StarBurnStatus status = __real_StarBurn_CdvdBurnerGrabber_GetSpeeds(PASS, a, b, c, e);
  if (HostFixture::noCurrentWriteSpeed && c != nullptr) *c = 0;
  return status;
}
JOURNALED(TrackAtOnceFromTree,
          (HEAD, void* tree, uint8_t test, uint8_t close, uint8_t multi, uint32_t mode,
           uint32_t retries),
          (PASS, tree, test, close, multi, mode, retries),
          Text(test) + ", " + Text(close) + ", " + Text(multi) + ", " + Text(mode))
JOURNALED(CloseSession, (HEAD), (PASS), "")
JOURNALED(Eject, (HEAD), (PASS), "")
JOURNALED(Blank, (HEAD, uint32_t quick), (PASS, quick), Text(quick))
JOURNALED(LoadEx, (HEAD, uint32_t wait), (PASS, wait), Text(wait))

extern "C" void __real_StarBurn_Destroy(void** handle);
extern "C" void __wrap_StarBurn_Destroy(void** handle) {
  Note("Destroy()");
  __real_StarBurn_Destroy(handle);
}

WRAPPED(ISO9660JolietFileTree_BuildImage, "BuildImage",
        (void* tree, char* t, uint32_t n, uint32_t* s, uint32_t start, uint32_t pad, uint32_t times,
         const char* label, const char* publisher, const char* application),
        (tree, t, n, s, start, pad, times, label, publisher, application),
        Text(start) + ", " + label)

}  // namespace e2e
