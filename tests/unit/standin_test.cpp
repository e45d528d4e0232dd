// The d2xx backend on a stand-in libftd2xx.so: same link trace as the simulated board; a library that is missing or
// lacks a call.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <optional>
#include <string>

#include "cli/session.h"
#include "core/files.h"
#include "link/d2xx_library.h"
#include "../behaviour/rig.h"

namespace tavrin {
namespace {

// The test's own hold on the stand-in, for its hooks. Holding it also keeps the library (and its board) loaded between
// the loader's loads and unloads.
struct StandInHooks {
  void* handle = dlopen(TAVRIN_STANDIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  template <class Fn>
  Fn* hook(const char* name) const {
    return handle ? reinterpret_cast<Fn*>(dlsym(handle, name)) : nullptr;
  }
  void (*setClock)(double (*)(void*), void*) = hook<void(double (*)(void*), void*)>("TavrinStandIn_SetClock");
  int (*reset)(const char*) = hook<int(const char*)>("TavrinStandIn_Reset");
  // The calls as the library received them, traced on its side of the boundary.
  const char* (*received)() = hook<const char*()>("TavrinStandIn_Received");

  ~StandInHooks() {
    if (setClock) setClock(nullptr, nullptr);
    if (handle) dlclose(handle);
  }
  bool ok() const { return setClock && reset && received; }
  // A fresh board with these faults, on the run's virtual clock.
  void prepare(const std::string& faults, VirtualToolkit& tk) {
    ASSERT_EQ(reset(faults.c_str()), 0) << faults;
    setClock([](void* tk) { return static_cast<VirtualToolkit*>(tk)->nowMs(); }, &tk);
  }
};

// The program as the command line wires it, on one backend, its link traced to a file.
struct SessionRun {
  SessionRun(const char* board, const std::string& library, const std::string& faults = "") {
    options.backend.board = board;
    options.backend.d2xxLibrary = library;
    std::string error;
    EXPECT_TRUE(sim::parseFaults(faults, options.backend.sim, error)) << error;
    options.driveRoot = (dir.path() / "drives").string();
    options.traceFile = (dir.path() / "link.trace").string();
    session.emplace(options, tk);
  }
  Mainform& form() { return session->program().form; }
  // Start-up, then what is posted; the exit status if the program ended.
  std::optional<int> run() {
    try {
      session->program().Form_Load();
      while (tk.hasPendingActions()) tk.waitForEvents();
    } catch (const ProgramEnded& e) {
      return e.status;
    } catch (const RunLimitReached&) {
    }
    return std::nullopt;
  }
  // Start-up, the start values typed in, "Send Data", then the window closed.
  std::string runSendData() {
    Mainform& f = form();
    tk.post(100, [&] {
      f.setText(f.txtFrekvens_DDS1, "44000");
      f.setText(f.txtFase_DDS2, "90");
    });
    tk.post(200, [&] { f.fire(f.cmdWrite, Event::Click); });
    tk.post(300, [&] { session->program().Form_Unload(); });
    EXPECT_EQ(run(), 0);
    std::string trace;
    EXPECT_TRUE(readWholeFile(options.traceFile, trace).ok());
    return trace;
  }

  testing::TempDir dir;
  VirtualToolkit tk;
  Options options;
  std::optional<Session> session;
};

// The same run on the simulated board and through the stand-in library, with each fault.
TEST(StandInTrace, MatchesTheSimulatedBoard) {
  for (const std::string faults : {"", "reset", "open", "no-device", "dtr", "late"}) {
    SCOPED_TRACE(faults);
    StandInHooks hooks;
    ASSERT_TRUE(hooks.ok()) << dlerror();
    SessionRun viaSim("sim", "", faults);
    SessionRun viaLibrary("d2xx", TAVRIN_STANDIN_LIBRARY);
    ASSERT_NE(dynamic_cast<D2xxLibrary*>(&viaLibrary.session->backend()), nullptr);
    hooks.prepare(faults, viaLibrary.tk);
    const std::string libraryTrace = viaLibrary.runSendData();
    EXPECT_EQ(libraryTrace, viaSim.runSendData());
    // Every argument crossed the C boundary intact: flags, baud rate, bytes, texts.
    EXPECT_EQ(std::string(hooks.received()), libraryTrace);
    EXPECT_EQ(viaLibrary.form().dump(), viaSim.form().dump());
  }
}

TEST(StandInLibrary, ALibraryThatCannotBeUsedIsNamedAtStartUpAndTheProgramCarriesOn) {
  const std::pair<std::string, std::string> cases[] = {
      {"/nonexistent/libftd2xx.so", "cannot load /nonexistent/libftd2xx.so"},
      {TAVRIN_PARTIAL_LIBRARY, std::string(TAVRIN_PARTIAL_LIBRARY) + " lacks FT_GetQueueStatus"}};
  for (const auto& [library, error] : cases) {
    SessionRun run("d2xx", library);
    ASSERT_TRUE(run.session->ok());
    EXPECT_FALSE(run.run().has_value());
    const Control& info = run.form().Info;
    EXPECT_EQ(info.text.rfind("Comm ERROR: " + error, 0), 0u) << info.text;
    EXPECT_EQ(info.forecolor, colors::red);
    EXPECT_EQ(run.form().module1.DeviceHandle, nullptr);
  }
}

}  // namespace
}  // namespace tavrin
