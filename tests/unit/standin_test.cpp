// The d2xx backend on a stand-in libftd2xx.so: same link trace as the simulated board, missing calls.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

#include "cli/session.h"
#include "link/d2xx_library.h"
#include "shell/backends.h"
#include "test_support.h"

namespace tavrin {
namespace {

// The test's own hold on the stand-in, for its hooks. Holding it also keeps the
// library (and its board) loaded between the loader's loads and unloads.
class StandInHooks {
 public:
  StandInHooks() {
    handle_ = dlopen(TAVRIN_STANDIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) return;
    setClock_ = reinterpret_cast<SetClockFn>(dlsym(handle_, "TavrinStandIn_SetClock"));
    reset_ = reinterpret_cast<ResetFn>(dlsym(handle_, "TavrinStandIn_Reset"));
    received_ = reinterpret_cast<ReceivedFn>(dlsym(handle_, "TavrinStandIn_Received"));
  }
  ~StandInHooks() {
    if (setClock_) setClock_(nullptr, nullptr);
    if (handle_) dlclose(handle_);
  }
  bool ok() const { return handle_ && setClock_ && reset_ && received_; }
  // The calls as the library received them, traced on its side of the boundary.
  std::string received() const { return received_(); }
  // A fresh board with these faults, on the bench's virtual clock.
  void prepare(const std::string& faults, VirtualToolkit& tk) {
    ASSERT_EQ(reset_(faults.c_str()), 0) << faults;
    setClock_([](void* tk) { return static_cast<VirtualToolkit*>(tk)->nowMs(); }, &tk);
  }

 private:
  using SetClockFn = void (*)(double (*)(void*), void*);
  using ResetFn = int (*)(const char*);
  using ReceivedFn = const char* (*)();
  void* handle_ = nullptr;
  SetClockFn setClock_ = nullptr;
  ResetFn reset_ = nullptr;
  ReceivedFn received_ = nullptr;
};

std::unique_ptr<D2xx> openBackend(const char* board, const std::string& library, std::function<double()> clock,
                                  const std::string& faults, std::string& whyNot) {
  BackendOptions o;
  o.board = board;
  o.d2xxLibrary = library;
  if (!sim::parseFaults(faults, o.sim, whyNot)) return nullptr;
  return findBackend(board)->open(o, std::move(clock), whyNot);
}

// Start-up, the start values typed in, "Send Data", then the window closed.
std::string runSendData(test::Bench& bench) {
  Mainform& f = bench.form();
  bench.start();
  bench.tk.post(100, [&] {
    f.setText(f.txtFrekvens_DDS1, "44000");
    f.setText(f.txtFase_DDS2, "90");
  });
  bench.tk.post(200, [&] { f.fire(f.cmdWrite, Event::Click); });
  bench.tk.post(300, [&] { bench.program->Form_Unload(); });
  bench.run();
  EXPECT_EQ(bench.endStatus, 0);
  return bench.takeTrace();
}

class StandInTrace : public ::testing::TestWithParam<const char*> {};

TEST_P(StandInTrace, MatchesTheSimulatedBoard) {
  const std::string faults = GetParam();
  StandInHooks hooks;
  ASSERT_TRUE(hooks.ok()) << dlerror();

  test::Bench viaSim([&](std::function<double()> clock) {
    std::string why;
    auto b = openBackend("sim", "", std::move(clock), faults, why);
    EXPECT_TRUE(b) << why;
    return b;
  });
  std::string simTrace = runSendData(viaSim);

  test::Bench viaLibrary([&](std::function<double()> clock) {
    std::string why;
    auto b = openBackend("d2xx", TAVRIN_STANDIN_LIBRARY, std::move(clock), "", why);
    EXPECT_TRUE(b) << why;
    return b;
  });
  ASSERT_NE(dynamic_cast<D2xxLibrary*>(viaLibrary.backend.get()), nullptr);
  hooks.prepare(faults, viaLibrary.tk);
  std::string libraryTrace = runSendData(viaLibrary);

  EXPECT_NE(simTrace.find("FT_Close"), std::string::npos) << simTrace;
  EXPECT_EQ(libraryTrace, simTrace);
  // Every argument crossed the C boundary intact: flags, baud rate, bytes, texts.
  EXPECT_EQ(hooks.received(), libraryTrace);
  EXPECT_EQ(viaLibrary.form().Info.text, viaSim.form().Info.text);
  EXPECT_EQ(viaLibrary.form().dump(), viaSim.form().dump());
}

INSTANTIATE_TEST_SUITE_P(Faults, StandInTrace, ::testing::Values("", "reset", "open", "no-device", "dtr", "late"),
                         [](const auto& info) {
                           std::string n = *info.param ? info.param : "none";
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

TEST(StandInLibrary, CarriesTheFrameToTheBoard) {
  StandInHooks hooks;
  ASSERT_TRUE(hooks.ok());
  std::string error;
  auto lib = D2xxLibrary::load(TAVRIN_STANDIN_LIBRARY, error);
  ASSERT_TRUE(lib) << error;
  VirtualToolkit tk;
  hooks.prepare("", tk);

  std::uint32_t count = 0;
  char none[1] = {0};
  EXPECT_EQ(lib->listDevices(&count, none, ft::LIST_NUMBER_ONLY), ft::OK);
  EXPECT_EQ(count, 1u);
  char description[64] = {0};
  ASSERT_EQ(lib->listDevices(nullptr, description, ft::LIST_BY_INDEX | ft::OPEN_BY_DESCRIPTION), ft::OK);
  FtHandle h = nullptr;
  ASSERT_EQ(lib->openEx(description, ft::OPEN_BY_DESCRIPTION, &h), ft::OK);
  EXPECT_EQ(lib->setBaudRate(h, 19200), ft::OK);
  EXPECT_EQ(lib->setBaudRate(h, 0), ft::INVALID_PARAMETER);  // the value arrives as sent
  EXPECT_EQ(lib->setDataCharacteristics(h, 8, 0, 0), ft::OK);
  EXPECT_EQ(lib->setFlowControl(h, 0, 0, 0), ft::OK);
  // A current request: the reply comes 20 ms later, read through FT_GetQueueStatus and FT_Read.
  const std::uint8_t request[] = {0x02, 0x07};
  std::uint32_t written = 0;
  EXPECT_EQ(lib->write(h, request, 2, &written), ft::OK);
  EXPECT_EQ(written, 2u);
  std::uint32_t queued = 99;
  EXPECT_EQ(lib->getQueueStatus(h, &queued), ft::OK);
  EXPECT_EQ(queued, 0u);
  tk.post(20, [] {});
  tk.waitForEvents();
  EXPECT_EQ(lib->getQueueStatus(h, &queued), ft::OK);
  ASSERT_GT(queued, 3u);
  char reply[32] = {0};
  std::uint32_t got = 0;
  EXPECT_EQ(lib->read(h, reply, queued, &got), ft::OK);
  EXPECT_EQ(got, queued);
  EXPECT_EQ(std::string(reply, 5), "ADC&H");
  EXPECT_EQ(lib->close(h), ft::OK);
  EXPECT_EQ(lib->close(h), ft::INVALID_HANDLE);
}

TEST(StandInLibrary, ALibraryLackingACallIsRefusedByName) {
  std::string error;
  auto lib = D2xxLibrary::load(TAVRIN_PARTIAL_LIBRARY, error);
  EXPECT_EQ(lib, nullptr);
  EXPECT_EQ(error, std::string(TAVRIN_PARTIAL_LIBRARY) + " lacks FT_GetQueueStatus");

  // At start-up the operator reads it in Info, and the program carries on.
  test::TempDir dir;
  Options o;
  o.backend.board = "d2xx";
  o.backend.d2xxLibrary = TAVRIN_PARTIAL_LIBRARY;
  o.driveRoot = dir.path().string();
  VirtualToolkit tk;
  Session session(o, tk);
  try {
    session.program().Form_Load();
  } catch (const ProgramEnded&) {
  } catch (const RunLimitReached&) {
  }
  const Control& info = session.program().form.Info;
  EXPECT_EQ(info.text.rfind("Comm ERROR: " + error, 0), 0u) << info.text;
  EXPECT_EQ(info.forecolor, colors::red);
}

TEST(StandInLibrary, AMissingLibraryIsNamedInTheError) {
  std::string error;
  EXPECT_EQ(D2xxLibrary::load("/nonexistent/libftd2xx.so", error), nullptr);
  EXPECT_EQ(error.rfind("cannot load /nonexistent/libftd2xx.so", 0), 0u) << error;
}

}  // namespace
}  // namespace tavrin
