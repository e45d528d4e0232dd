// The library backends on stand-in libraries around the simulated board: the d2xx backend on a stand-in
// libftd2xx.so, the ftdi backend on a stand-in libftdi1 (as 1.5, and as an older one without ftdi_tcioflush). Each
// gives the same link trace as the simulated board under every fault it can show; a library that is missing or lacks
// a call; libftdi1's calls as they arrive, and the USB troubles it tells apart.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/session.h"
#include "core/files.h"
#include "link/d2xx_library.h"
#include "link/frame.h"
#include "link/ftdi_library.h"
#include "../behaviour/rig.h"

namespace tavrin {
namespace {

// The test's own hold on a stand-in, for its hooks. Holding it also keeps the library (and its board) loaded between
// the loader's loads and unloads.
struct StandInHooks {
  explicit StandInHooks(const char* library) : handle(dlopen(library, RTLD_NOW | RTLD_LOCAL)) {}
  void* handle;
  template <class Fn>
  Fn* hook(const char* name) const {
    return handle ? reinterpret_cast<Fn*>(dlsym(handle, name)) : nullptr;
  }
  void (*setClock)(double (*)(void*), void*) = hook<void(double (*)(void*), void*)>("TavrinStandIn_SetClock");
  int (*reset)(const char*) = hook<int(const char*)>("TavrinStandIn_Reset");
  // The calls as the board received them, traced on the library's side of the boundary.
  const char* (*received)() = hook<const char*()>("TavrinStandIn_Received");
  // libftdi1's stand-in only: the library calls as they arrived, a USB trouble, what it has not freed.
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
  // A fresh board with these faults, on the run's virtual clock.
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

// The library backends, each on its stand-in.
struct StandIn {
  const char* board;
  const char* library;
  bool (*isBackend)(Link&);
  // The board sees the very calls the program makes (the library passes each straight on).
  bool boardSeesTheProgramsCalls;
};
const StandIn kStandIns[] = {
    {"d2xx", TAVRIN_STANDIN_LIBRARY, [](Link& l) { return dynamic_cast<D2xxLibrary*>(&l) != nullptr; }, true},
    {"ftdi", TAVRIN_FTDI_STANDIN_LIBRARY, [](Link& l) { return dynamic_cast<FtdiLibrary*>(&l) != nullptr; }, false},
    {"ftdi", TAVRIN_FTDI_OLD_STANDIN_LIBRARY, [](Link& l) { return dynamic_cast<FtdiLibrary*>(&l) != nullptr; },
     false},
};

// Every fault of the simulated board but unplug=N: a board that is gone makes libftdi1's control calls fail as any
// failed transfer does, so the ftdi backend honestly says IO_ERROR where the simulated board says DEVICE_NOT_FOUND.
const char* const kFaults[] = {"",     "list", "serial", "description", "open",   "reset",  "purge",
                               "baud", "data", "flow",   "rts",         "dtr",    "close",  "no-device",
                               "silent", "short", "late", "garbled"};

// The same run on the simulated board and through each stand-in library, with each fault.
TEST(StandInTrace, MatchesTheSimulatedBoard) {
  for (const StandIn& standIn : kStandIns) {
    for (const std::string faults : kFaults) {
      SCOPED_TRACE(std::string(standIn.library) + " with faults '" + faults + "'");
      StandInHooks hooks(standIn.library);
      ASSERT_TRUE(hooks.ok()) << dlerror();
      SessionRun viaSim("sim", "", faults);
      SessionRun viaLibrary(standIn.board, standIn.library);
      ASSERT_TRUE(standIn.isBackend(viaLibrary.session->backend()));
      hooks.prepare(faults, viaLibrary.tk);
      const std::string libraryTrace = viaLibrary.runSendData();
      EXPECT_EQ(libraryTrace, viaSim.runSendData());
      // Every argument crossed the C boundary intact: flags, baud rate, bytes, texts.
      if (standIn.boardSeesTheProgramsCalls) {
        EXPECT_EQ(std::string(hooks.received()), libraryTrace);
      }
      EXPECT_EQ(viaLibrary.form().dump(), viaSim.form().dump());
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
    EXPECT_EQ(info.forecolor, colors::red);
    EXPECT_EQ(run.form().module1.DeviceHandle, nullptr);
  }
}

// ---- libftdi1 ----

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The bytes of the lines that start with `call`, from the field after the count (trace: "T FT_Write 02 01 -> 0";
// libftdi1's calls: "ftdi_write_data 2 02 01 -> 2").
std::string writtenBytes(const std::string& text, const std::string& call, std::size_t skipFields) {
  std::string bytes;
  for (const std::string& line : lines(text)) {
    std::size_t at = line.find(call + " ");
    if (at == std::string::npos) continue;
    std::istringstream fields(line.substr(at + call.size()));
    std::string field;
    for (std::size_t i = 0; i < skipFields; ++i) fields >> field;
    while (fields >> field && field != "->") bytes += field + " ";
  }
  return bytes;
}

TEST(FtdiStandIn, TheElevenStepsReachLibftdi1AsItsCalls) {
  const std::vector<std::string> setUp = {
      "ftdi_new -> 0",
      "ftdi_usb_find_all 0403 6001 -> 1",
      "ftdi_usb_find_all 0403 6010 -> 0",
      "ftdi_usb_find_all 0403 6011 -> 0",
      "ftdi_usb_find_all 0403 6014 -> 0",
      "ftdi_usb_find_all 0403 6015 -> 0",
      "ftdi_usb_get_strings serial 17 -> 0",
      "ftdi_usb_get_strings description 65 -> 0",
      "ftdi_new -> 0",
      "ftdi_usb_open_desc 0403 6001 \"Tavrin Drive Board (simulated)\" -> 0",
      "ftdi_set_latency_timer 1 -> 0",
      "ftdi_usb_reset -> 0",
      "PURGE -> 0",
      "ftdi_set_baudrate 19200 -> 0",
      "ftdi_set_line_property 8 0 0 -> 0",
      "ftdi_setflowctrl 0000 -> 0",
      "ftdi_setrts 0 -> 0",
      "ftdi_setdtr 0 -> 0",
  };
  for (const char* library : {TAVRIN_FTDI_STANDIN_LIBRARY, TAVRIN_FTDI_OLD_STANDIN_LIBRARY}) {
    SCOPED_TRACE(library);
    StandInHooks hooks(library);
    ASSERT_TRUE(hooks.ok() && hooks.ftdiCalls && hooks.ftdiLive) << dlerror();
    const bool old = std::string(library) == TAVRIN_FTDI_OLD_STANDIN_LIBRARY;
    std::string trace, calls;
    {
      SessionRun run("ftdi", library);
      hooks.prepare("", run.tk);
      trace = run.runSendData();
      calls = hooks.ftdiCalls();
      EXPECT_EQ(static_cast<FtdiLibrary&>(run.session->backend()).purgesWithDeprecatedCall(), old);
    }
    const std::vector<std::string> got = lines(calls);
    ASSERT_GE(got.size(), setUp.size()) << calls;
    for (std::size_t i = 0; i < setUp.size(); ++i) {
      std::string want = setUp[i];
      if (want == "PURGE -> 0") want = old ? "ftdi_usb_purge_buffers -> 0" : "ftdi_tcioflush -> 0";
      EXPECT_EQ(got[i], want) << "call " << i;
    }
    // Every byte the program wrote went out in ftdi_write_data, in order; the device was closed and every context
    // and list freed once the backend was gone.
    EXPECT_EQ(writtenBytes(calls, "ftdi_write_data", 1), writtenBytes(trace, "FT_Write", 0));
    EXPECT_NE(writtenBytes(trace, "FT_Write", 0), "");
    EXPECT_NE(calls.find("ftdi_usb_close -> 0\nftdi_free -> 0\n"), std::string::npos) << calls;
    EXPECT_EQ(hooks.ftdiLive(), 0);
  }
}

// The ftdi backend on the stand-in, with the device open.
struct FtdiOnStandIn {
  explicit FtdiOnStandIn(const char* library = TAVRIN_FTDI_STANDIN_LIBRARY, const std::string& usbFault = "")
      : hooks(library) {
    EXPECT_TRUE(hooks.ok() && hooks.ftdiUsbFault) << dlerror();
    EXPECT_EQ(hooks.reset(""), 0);
    hooks.setClock([](void* ms) { return *static_cast<double*>(ms); }, &nowMs);
    hooks.ftdiUsbFault(usbFault.c_str());
    std::string error;
    lib = FtdiLibrary::load(library, error);
    EXPECT_NE(lib, nullptr) << error;
  }
  LinkStatus open() {
    std::uint32_t count = 0;
    std::string description;
    EXPECT_EQ(lib->deviceCount(count), ft::OK);
    EXPECT_EQ(lib->deviceDescription(0, description), ft::OK);
    return lib->openByDescription(description, handle);
  }
  double nowMs = 0;
  StandInHooks hooks;
  std::unique_ptr<FtdiLibrary> lib;
  LinkHandle handle = nullptr;
};

TEST(FtdiStandIn, UsbTroublesAreToldApartInTheStatusAndInWords) {
  {
    SCOPED_TRACE("libusb cannot start");
    FtdiOnStandIn f(TAVRIN_FTDI_STANDIN_LIBRARY, "no-libusb");
    std::uint32_t count = 0;
    EXPECT_EQ(f.lib->deviceCount(count), ft::OTHER_ERROR);
    EXPECT_NE(f.lib->lastProblem().find("ftdi_new failed"), std::string::npos) << f.lib->lastProblem();
  }
  {
    SCOPED_TRACE("the device cannot be opened for its strings: its node's permission");
    FtdiOnStandIn f(TAVRIN_FTDI_STANDIN_LIBRARY, "access");
    std::uint32_t count = 0;
    std::string text;
    EXPECT_EQ(f.lib->deviceCount(count), ft::OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(f.lib->deviceSerial(0, text), ft::DEVICE_NOT_OPENED);
    EXPECT_NE(f.lib->lastProblem().find("permission"), std::string::npos) << f.lib->lastProblem();
    EXPECT_EQ(f.lib->openByDescription("Tavrin Drive Board (simulated)", f.handle), ft::DEVICE_NOT_OPENED);
    EXPECT_NE(f.lib->lastProblem().find("permission"), std::string::npos) << f.lib->lastProblem();
    EXPECT_EQ(f.handle, nullptr);
  }
  const struct {
    const char* fault;
    const char* says;
  } openFaults[] = {
      {"permission", "no permission on the USB device (libftdi1: inappropriate permissions on device! (-8))"},
      {"driver", "a kernel driver (ftdi_sio) holds the USB device and could not be detached"},
      // -3 is libftdi1's "device not found" too: its message tells them apart.
      {"config", "a kernel driver (ftdi_sio) holds the USB device and could not be detached"},
  };
  for (const auto& c : openFaults) {
    SCOPED_TRACE(c.fault);
    FtdiOnStandIn f(TAVRIN_FTDI_STANDIN_LIBRARY, c.fault);
    EXPECT_EQ(f.open(), ft::DEVICE_NOT_OPENED);
    EXPECT_EQ(f.lib->lastProblem().rfind(c.says, 0), 0u) << f.lib->lastProblem();
    EXPECT_EQ(f.handle, nullptr);
  }
  {
    SCOPED_TRACE("no device with that description: every product id is tried");
    FtdiOnStandIn f;
    EXPECT_EQ(f.lib->openByDescription("Another Board", f.handle), ft::DEVICE_NOT_FOUND);
    EXPECT_EQ(f.lib->lastProblem(), "no FTDI device with the description \"Another Board\"");
    const std::string calls = f.hooks.ftdiCalls();
    for (const char* product : {"6001", "6010", "6011", "6014", "6015"})
      EXPECT_NE(calls.find(std::string("ftdi_usb_open_desc 0403 ") + product + " \"Another Board\" -> -3"),
                std::string::npos)
          << calls;
  }
}

TEST(FtdiStandIn, TheBoardListSaysWhyItSeesNone) {
  const Backend* ftdi = findBackend("ftdi");
  ASSERT_NE(ftdi, nullptr);
  BackendOptions options;
  options.ftdiLibrary = "/nonexistent/libftdi1.so.2";
  BoardList l = ftdi->list(options);
  EXPECT_TRUE(l.boards.empty());
  EXPECT_EQ(l.whyNone.rfind("libftdi1 missing: cannot load /nonexistent/libftdi1.so.2", 0), 0u) << l.whyNone;
  EXPECT_NE(l.whyNone.find("apt-get install libftdi1-2"), std::string::npos) << l.whyNone;

  options.ftdiLibrary = TAVRIN_FTDI_STANDIN_LIBRARY;
  StandInHooks hooks(TAVRIN_FTDI_STANDIN_LIBRARY);
  ASSERT_TRUE(hooks.ok() && hooks.ftdiUsbFault);
  ASSERT_EQ(hooks.reset(""), 0);
  l = ftdi->list(options);
  ASSERT_EQ(l.boards.size(), 1u) << l.whyNone;
  EXPECT_EQ(l.boards[0].serial, "TVSIM001");
  EXPECT_EQ(l.boards[0].description, "Tavrin Drive Board (simulated)");

  ASSERT_EQ(hooks.reset("no-device"), 0);
  l = ftdi->list(options);
  EXPECT_TRUE(l.boards.empty());
  EXPECT_EQ(l.whyNone, "no FTDI device on the USB bus (vendor 0403, product 6001, 6010, 6011, 6014 or 6015)");

  ASSERT_EQ(hooks.reset(""), 0);
  hooks.ftdiUsbFault("access");
  l = ftdi->list(options);
  EXPECT_TRUE(l.boards.empty());
  EXPECT_EQ(l.whyNone.rfind("1 FTDI device(s) found, none readable: ", 0), 0u) << l.whyNone;
  EXPECT_NE(l.whyNone.find("permission"), std::string::npos) << l.whyNone;
  EXPECT_EQ(hooks.ftdiLive(), 0);
}

TEST(FtdiStandIn, EveryOperationAnswersAnHonestStatus) {
  for (const char* library : {TAVRIN_FTDI_STANDIN_LIBRARY, TAVRIN_FTDI_OLD_STANDIN_LIBRARY}) {
    SCOPED_TRACE(library);
    const bool old = std::string(library) == TAVRIN_FTDI_OLD_STANDIN_LIBRARY;
    FtdiOnStandIn f(library);
    ASSERT_EQ(f.open(), ft::OK);
    FtdiLibrary& lib = *f.lib;
    const LinkHandle h = f.handle;
    LinkHandle other = reinterpret_cast<LinkHandle>(reinterpret_cast<std::uintptr_t>(h) + 1);
    std::uint32_t n = 0;
    std::uint8_t buf[4] = {};

    // What the link cannot ask of libftdi1.
    EXPECT_EQ(lib.setBaudRate(h, 0), ft::INVALID_BAUD_RATE);
    EXPECT_EQ(lib.setDataCharacteristics(h, 9, 0, 0), ft::INVALID_PARAMETER);
    EXPECT_EQ(lib.setDataCharacteristics(h, 8, 3, 0), ft::INVALID_PARAMETER);
    EXPECT_EQ(lib.setDataCharacteristics(h, 8, 0, 5), ft::INVALID_PARAMETER);
    EXPECT_EQ(lib.setFlowControl(h, 0x400, 0x11, 0x13), ft::NOT_SUPPORTED);
    EXPECT_EQ(lib.setFlowControl(h, 0x300, 0, 0), ft::INVALID_PARAMETER);
    EXPECT_EQ(lib.purge(h, 4), ft::INVALID_PARAMETER);
    // One way only: the calls of 1.5; an older library's one-way purges had the directions swapped.
    EXPECT_EQ(lib.purge(h, ft::PURGE_RX), old ? ft::NOT_SUPPORTED : ft::OK);
    EXPECT_EQ(lib.purge(h, ft::PURGE_TX), old ? ft::NOT_SUPPORTED : ft::OK);
    EXPECT_EQ(lib.purge(h, ft::PURGE_RX | ft::PURGE_TX), ft::OK);

    // A handle the backend never gave out, or the null one.
    for (LinkHandle bad : {other, LinkHandle{}}) {
      EXPECT_EQ(lib.reset(bad), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.purge(bad, 3), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.setBaudRate(bad, 19200), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.setDataCharacteristics(bad, 8, 0, 0), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.setFlowControl(bad, 0, 0, 0), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.setDtr(bad), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.clrDtr(bad), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.setRts(bad), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.clrRts(bad), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.write(bad, std::span<const std::uint8_t>(buf, 1), n), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.queueStatus(bad, n), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.read(bad, buf, n), ft::INVALID_HANDLE);
      EXPECT_EQ(lib.close(bad), ft::INVALID_HANDLE);
    }

    // The queue count is what has arrived; a read takes part of it and leaves the rest counted.
    ASSERT_EQ(lib.setDtr(h), ft::OK);
    FrameFields request;
    request.mode = 7;
    request.freqWord = *frequencyWord(44000);
    request.poutHi = 1;
    for (const auto& bytes : frameWrites(request)) {
      ASSERT_EQ(lib.write(h, bytes, n), ft::OK);
      EXPECT_EQ(n, bytes.size());
    }
    EXPECT_EQ(lib.queueStatus(h, n), ft::OK);
    EXPECT_EQ(n, 0u);  // the board answers after its latency
    f.nowMs = 1000;
    EXPECT_EQ(lib.queueStatus(h, n), ft::OK);
    EXPECT_EQ(n, 10u);  // "ADC&H...\r\n"
    EXPECT_EQ(lib.read(h, buf, n), ft::OK);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::string(buf, buf + 4), "ADC&");
    EXPECT_EQ(lib.queueStatus(h, n), ft::OK);
    EXPECT_EQ(n, 6u);
    std::uint8_t rest[32] = {};
    EXPECT_EQ(lib.read(h, rest, n), ft::OK);
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(lib.read(h, rest, n), ft::OK);
    EXPECT_EQ(n, 0u);
    // A read without a count first takes what has arrived too.
    for (const auto& bytes : frameWrites(request)) ASSERT_EQ(lib.write(h, bytes, n), ft::OK);
    f.nowMs = 2000;
    EXPECT_EQ(lib.read(h, rest, n), ft::OK);
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(std::string(rest, rest + 4), "ADC&");

    EXPECT_EQ(lib.close(h), ft::OK);
    EXPECT_EQ(lib.close(h), ft::INVALID_HANDLE);  // closed is closed
    EXPECT_EQ(lib.setDtr(h), ft::INVALID_HANDLE);
  }
}

}  // namespace
}  // namespace tavrin
