// The library backends on stand-in libftd2xx.so and libftdi1 (1.5, and an older one without ftdi_tcioflush) around
// the simulated board.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/session.h"
#include "core/files.h"
#include "link/frame.h"
#include "link/ftdi_library.h"
#include "../behaviour/rig.h"

namespace tavrin {
namespace {

// The test's hold on a stand-in, for its hooks; it keeps the library (and its board) loaded between the program's
// loads and unloads.
struct StandInHooks {
  explicit StandInHooks(const char* library) : handle(dlopen(library, RTLD_NOW | RTLD_LOCAL)) {}
  void* handle;
  template <class Fn>
  Fn* hook(const char* name) const {
    return handle ? reinterpret_cast<Fn*>(dlsym(handle, name)) : nullptr;
  }
  void (*setClock)(double (*)(void*), void*) = hook<void(double (*)(void*), void*)>("TavrinStandIn_SetClock");
  int (*reset)(const char*) = hook<int(const char*)>("TavrinStandIn_Reset");
  const char* (*received)() = hook<const char*()>("TavrinStandIn_Received");
  // libftdi1's stand-in only.
  const char* (*ftdiCalls)() = hook<const char*()>("TavrinStandIn_FtdiCalls");
  void (*ftdiUsbFault)(const char*) = hook<void(const char*)>("TavrinStandIn_FtdiUsbFault");
  int (*ftdiLive)() = hook<int()>("TavrinStandIn_FtdiLive");

  StandInHooks(const StandInHooks&) = delete;
  StandInHooks& operator=(const StandInHooks&) = delete;
  ~StandInHooks() {
    if (setClock) setClock(nullptr, nullptr);
    if (handle) dlclose(handle);
  }
  bool ok() const { return setClock && reset && received; }
  void prepare(const std::string& faults, VirtualToolkit& tk) {
    ASSERT_EQ(reset(faults.c_str()), 0) << faults;
    setClock([](void* tk) { return static_cast<VirtualToolkit*>(tk)->nowMs(); }, &tk);
  }
};

// The program as the command line wires it, on one backend, its link traced to a file.
struct SessionRun {
  SessionRun(const std::string& board, const std::string& library, const std::string& faults = "") {
    options.backend.board = board;
    (board == "ftdi" ? options.backend.ftdiLibrary : options.backend.d2xxLibrary) = library;
    std::string error;
    EXPECT_TRUE(sim::parseFaults(faults, options.backend.sim, error)) << error;
    options.driveRoot = (dir.path() / "drives").string();
    options.traceFile = (dir.path() / "link.trace").string();
    session.emplace(options, tk);
  }
  Mainform& form() { return session->program().form; }
  std::optional<int> run() {
    try {
      session->program().Form_Load();
      while (tk.hasPendingActions()) tk.waitForEvents();
    } catch (const ProgramEnded& e) {
      return e.status;
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

const struct {
  std::string board;
  const char* library;
} kStandIns[] = {{"d2xx", TAVRIN_STANDIN_LIBRARY},
                 {"ftdi", TAVRIN_FTDI_STANDIN_LIBRARY},
                 {"ftdi", TAVRIN_FTDI_OLD_STANDIN_LIBRARY}};

// No fault, then every fault of the simulated board but unplug=N: a board that is gone makes libftdi1's control calls
// fail as any failed transfer does, so the ftdi backend honestly says IO_ERROR where the simulated board says
// DEVICE_NOT_FOUND.
std::vector<std::string> standInFaults() {
  std::vector<std::string> out = {""};
  for (const auto& f : sim::kFaults) {
    if (f.name == "unplug") continue;
    EXPECT_FALSE(f.counted) << f.name << ": which count to run the stand-ins with?";
    out.emplace_back(f.name);
  }
  return out;
}

// A trace's writes and the frames they made.
std::string writes(const std::string& trace) {
  std::string out, line;
  for (std::istringstream in(trace); std::getline(in, line);)
    if (line.find(" FT_Write ") != std::string::npos || line.find(" frame ") != std::string::npos) out += line + "\n";
  return out;
}

TEST(StandInTrace, MatchesTheSimulatedBoard) {
  for (const auto& standIn : kStandIns) {
    for (const std::string& faults : standInFaults()) {
      SCOPED_TRACE(std::string(standIn.library) + " with faults '" + faults + "'");
      StandInHooks hooks(standIn.library);
      ASSERT_TRUE(hooks.ok() && (standIn.board == "d2xx" || (hooks.ftdiCalls && hooks.ftdiLive))) << dlerror();
      SessionRun viaSim("sim", "", faults);
      std::optional<SessionRun> viaLibrary(std::in_place, standIn.board, standIn.library);
      hooks.prepare(faults, viaLibrary->tk);
      const std::string libraryTrace = viaLibrary->runSendData();
      EXPECT_EQ(libraryTrace, viaSim.runSendData());
      // Every argument crossed the C boundary intact: libftd2xx passes each call straight on, and through libftdi1
      // every byte the program wrote reached the board, in order.
      const std::string received = hooks.received();
      if (standIn.board == "d2xx") {
        EXPECT_EQ(received, libraryTrace);
      } else if (faults.empty()) {
        EXPECT_NE(writes(libraryTrace), "");
        EXPECT_EQ(writes(received), writes(libraryTrace));
        // The set-up reached libftdi1 as its calls, and the device closed.
        const std::string calls = hooks.ftdiCalls();
        const bool old = std::string(standIn.library) == TAVRIN_FTDI_OLD_STANDIN_LIBRARY;
        const std::string setUp = std::string("ftdi_set_latency_timer 1 -> 0\nftdi_usb_reset -> 0\n") +
                                  (old ? "ftdi_usb_purge_buffers" : "ftdi_tcioflush") +
                                  " -> 0\nftdi_set_baudrate 19200 -> 0\nftdi_set_line_property 8 0 0 -> 0\n"
                                  "ftdi_setflowctrl 0000 -> 0\nftdi_setrts 0 -> 0\nftdi_setdtr 0 -> 0\n";
        EXPECT_NE(calls.find(setUp), std::string::npos) << calls;
        EXPECT_NE(calls.find("ftdi_usb_close -> 0\nftdi_free -> 0\n"), std::string::npos) << calls;
      }
      // The same state, but for the reason a library may give after the window's message: "(…)".
      std::vector<std::string> libraryDump = viaLibrary->form().dump(), simDump = viaSim.form().dump();
      for (std::string& line : libraryDump) {
        const auto reason = line.find(" (");
        if (line.rfind("Info.text=Comm ERROR: ", 0) == 0 && reason != std::string::npos && faults.size())
          line.erase(reason, line.find(")  ", reason) + 1 - reason);
      }
      EXPECT_EQ(libraryDump, simDump);
      viaLibrary.reset();  // every context and list of libftdi1 freed, whatever failed
      if (standIn.board == "ftdi") {
        EXPECT_EQ(hooks.ftdiLive(), 0);
      }
    }
  }
}

TEST(StandInLibrary, ALibraryThatCannotBeUsedIsNamedAtStartUpAndTheProgramCarriesOn) {
  const std::string partial = TAVRIN_PARTIAL_LIBRARY;
  const struct {
    std::string board, library, error;
  } cases[] = {{"d2xx", "/nonexistent/libftd2xx.so", "cannot load /nonexistent/libftd2xx.so"},
               {"d2xx", partial, partial + " lacks FT_GetQueueStatus"},
               {"ftdi", "/nonexistent/libftdi1.so.2", "cannot load /nonexistent/libftdi1.so.2"},
               {"ftdi", partial, partial + " lacks ftdi_new"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.board + " " + c.library);
    SessionRun run(c.board, c.library);
    ASSERT_TRUE(run.session->ok());
    EXPECT_FALSE(run.run().has_value());
    const Control& info = run.form().Info;
    EXPECT_EQ(info.text.rfind("Comm ERROR: " + c.error, 0), 0u) << info.text;
  }
}

// ---- libftdi1 ----

// The ftdi backend on the stand-in, with a USB trouble set.
struct FtdiOnStandIn {
  explicit FtdiOnStandIn(const char* library = TAVRIN_FTDI_STANDIN_LIBRARY, const std::string& usbFault = "")
      : hooks(library) {
    EXPECT_TRUE(hooks.ok() && hooks.ftdiUsbFault && hooks.ftdiCalls) << dlerror();
    EXPECT_EQ(hooks.reset(""), 0);
    hooks.setClock([](void* ms) { return *static_cast<double*>(ms); }, &nowMs);
    hooks.ftdiUsbFault(usbFault.c_str());
    std::string error;
    lib = FtdiLibrary::load(library, error);
    EXPECT_NE(lib, nullptr) << error;
  }
  double nowMs = 0;
  StandInHooks hooks;
  std::unique_ptr<FtdiLibrary> lib;
  LinkHandle handle = nullptr;
};

TEST(FtdiStandIn, UsbTroublesAreToldApartInTheStatusAndInWords) {
  const std::string board = "Tavrin Drive Board (simulated)";
  const struct {
    const char* usbFault;
    std::string description;
    LinkStatus status;
    const char* says;
  } cases[] = {
      {"access", board, ft::DEVICE_NOT_OPENED, "the USB device could not be opened, most likely for want of"},
      {"permission", board, ft::DEVICE_NOT_OPENED, "no permission on the USB device (libftdi1: inappropriate"},
      {"driver", board, ft::DEVICE_NOT_OPENED, "a kernel driver (ftdi_sio) holds the USB device"},
      // -3 is libftdi1's "device not found" too: its message tells them apart.
      {"config", board, ft::DEVICE_NOT_OPENED, "a kernel driver (ftdi_sio) holds the USB device"},
      {"", "Another Board", ft::DEVICE_NOT_FOUND, "no FTDI device with the description \"Another Board\""},
      {"no-libusb", board, ft::OTHER_ERROR, "libftdi1 could not start: ftdi_new failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.usbFault + (" " + c.description));
    FtdiOnStandIn f(TAVRIN_FTDI_STANDIN_LIBRARY, c.usbFault);
    EXPECT_EQ(f.lib->openByDescription(c.description, f.handle), c.status);
    EXPECT_EQ(f.lib->lastProblem().rfind(c.says, 0), 0u) << f.lib->lastProblem();
    EXPECT_EQ(f.handle, nullptr);
  }
  // Not found on one product id, the search goes on to the next.
  FtdiOnStandIn f;
  ASSERT_EQ(f.lib->openByDescription("Another Board", f.handle), ft::DEVICE_NOT_FOUND);
  EXPECT_NE(std::string(f.hooks.ftdiCalls()).find("6015 \"Another Board\" -> -3"), std::string::npos);
}

TEST(FtdiStandIn, TheBoardListSaysWhyItSeesNone) {
  const Backend* ftdi = findBackend("ftdi");
  ASSERT_NE(ftdi, nullptr);
  BackendOptions options;
  auto whyNone = [&] {
    const BoardList l = ftdi->list(options);
    EXPECT_TRUE(l.boards.empty());
    return l.whyNone;
  };
  options.ftdiLibrary = "/nonexistent/libftdi1.so.2";
  std::string why = whyNone();
  EXPECT_EQ(why.rfind("libftdi1 missing: cannot load /nonexistent/libftdi1.so.2", 0), 0u) << why;
  EXPECT_NE(why.find("apt-get install libftdi1-2"), std::string::npos) << why;

  options.ftdiLibrary = TAVRIN_FTDI_STANDIN_LIBRARY;
  StandInHooks hooks(TAVRIN_FTDI_STANDIN_LIBRARY);
  ASSERT_TRUE(hooks.ok() && hooks.ftdiUsbFault && hooks.ftdiLive);
  ASSERT_EQ(hooks.reset("no-device"), 0);
  EXPECT_EQ(whyNone(), "no FTDI device on the USB bus (vendor 0403, product 6001, 6010, 6011, 6014 or 6015)");

  // A device is there but its strings cannot be read: permission, not "no device".
  ASSERT_EQ(hooks.reset(""), 0);
  hooks.ftdiUsbFault("access");
  why = whyNone();
  EXPECT_EQ(why.rfind("1 FTDI device(s) found, none readable: ", 0), 0u) << why;
  EXPECT_NE(why.find("permission"), std::string::npos) << why;
  EXPECT_EQ(hooks.ftdiLive(), 0);
}

TEST(FtdiStandIn, EveryOperationAnswersAnHonestStatus) {
  for (const char* library : {TAVRIN_FTDI_STANDIN_LIBRARY, TAVRIN_FTDI_OLD_STANDIN_LIBRARY}) {
    SCOPED_TRACE(library);
    const bool old = std::string(library) == TAVRIN_FTDI_OLD_STANDIN_LIBRARY;
    FtdiOnStandIn f(library);
    FtdiLibrary& lib = *f.lib;
    std::uint32_t n = 0;
    ASSERT_EQ(lib.deviceCount(n), ft::OK);
    ASSERT_EQ(lib.openByDescription("Tavrin Drive Board (simulated)", f.handle), ft::OK);
    const LinkHandle h = f.handle;
    std::uint8_t buf[32] = {};

    // What the link cannot ask of libftdi1.
    EXPECT_EQ(lib.setBaudRate(h, 0), ft::INVALID_BAUD_RATE);
    EXPECT_EQ(lib.setDataCharacteristics(h, 9, 0, 0), ft::INVALID_PARAMETER);
    EXPECT_EQ(lib.setFlowControl(h, 0x400, 0x11, 0x13), ft::NOT_SUPPORTED);
    EXPECT_EQ(lib.purge(h, 4), ft::INVALID_PARAMETER);
    // One way only: the calls of 1.5; an older library's one-way purges had the directions swapped.
    EXPECT_EQ(lib.purge(h, ft::PURGE_RX), old ? ft::NOT_SUPPORTED : ft::OK);
    EXPECT_EQ(lib.purge(h, ft::PURGE_TX), old ? ft::NOT_SUPPORTED : ft::OK);

    // A handle the backend never gave out, or the null one.
    for (LinkHandle bad : {reinterpret_cast<LinkHandle>(reinterpret_cast<std::uintptr_t>(h) + 1), LinkHandle{}}) {
      const LinkStatus got[] = {lib.reset(bad),      lib.purge(bad, 3),           lib.setBaudRate(bad, 19200),
                                lib.setDtr(bad),     lib.setFlowControl(bad, 0, 0, 0),
                                lib.setDataCharacteristics(bad, 8, 0, 0),         lib.write(bad, {buf, 1}, n),
                                lib.queueStatus(bad, n), lib.read(bad, buf, n),   lib.close(bad)};
      for (LinkStatus s : got) EXPECT_EQ(s, ft::INVALID_HANDLE);
    }

    // The count is what has arrived; a read takes part of it and leaves the rest counted.
    FrameFields request;
    request.mode = 7;
    request.freqWord = *frequencyWord(44000);
    request.poutHi = 1;
    auto request7 = [&] {
      for (const auto& bytes : frameWrites(request)) {
        ASSERT_EQ(lib.write(h, bytes, n), ft::OK);
        EXPECT_EQ(n, bytes.size());
      }
      f.nowMs += 1000;  // past the board's latency
    };
    request7();
    EXPECT_EQ(lib.queueStatus(h, n), ft::OK);
    EXPECT_EQ(n, 10u);  // "ADC&H...\r\n"
    EXPECT_EQ(lib.read(h, std::span(buf, 4), n), ft::OK);
    EXPECT_EQ(std::string(buf, buf + n), "ADC&");
    EXPECT_EQ(lib.queueStatus(h, n), ft::OK);
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(lib.read(h, buf, n), ft::OK);
    EXPECT_EQ(n, 6u);
    request7();  // a read without a count first takes what has arrived too
    EXPECT_EQ(lib.read(h, buf, n), ft::OK);
    EXPECT_EQ(std::string(buf, buf + n).substr(0, 5), "ADC&H");

    // A chip that answers a read only when data has come (QEMU's emulated
    // FT232): the reply still comes whole, and a look at an empty queue waits
    // a moment, not libftdi1's 5 s, and finds it empty rather than failed.
    f.hooks.ftdiUsbFault("nak");
    request7();
    EXPECT_EQ(lib.queueStatus(h, n), ft::OK);
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(lib.read(h, buf, n), ft::OK);
    EXPECT_EQ(std::string(buf, buf + n).substr(0, 5), "ADC&H");
    EXPECT_EQ(lib.queueStatus(h, n), ft::OK);
    EXPECT_EQ(n, 0u);
    const std::string calls = f.hooks.ftdiCalls();
    EXPECT_NE(calls.find("(waited 20 ms, 0 bytes lost) -> -7"), std::string::npos) << calls;
    for (auto at = calls.find(" bytes lost"); at != std::string::npos; at = calls.find(" bytes lost", at + 1))
      EXPECT_EQ(calls.compare(at - 2, 2, " 0"), 0) << calls;  // none held a byte it lost
    f.hooks.ftdiUsbFault("");

    EXPECT_EQ(lib.close(h), ft::OK);
    EXPECT_EQ(lib.close(h), ft::INVALID_HANDLE);  // closed is closed
  }
}

}  // namespace
}  // namespace tavrin
