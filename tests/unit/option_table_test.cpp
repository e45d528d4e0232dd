// The one option table: names are unique, every program's --help shows each
// option it takes, and the backend registry's own options drive the checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "cli/option_table.h"
#include "cli/options.h"

using namespace tavrin;

TEST(OptionTable, NamesAreUniqueAndEveryProgramsHelpShowsItsOptions) {
  std::set<std::string> names;
  for (const auto& o : optionTable()) EXPECT_TRUE(names.insert(o.info.name).second) << o.info.name;
  for (unsigned program : {kTavrin, kTavrinPlot, kTavrinTraceDiff, kTavrinSimBoard}) {
    const std::string help = optionHelp(program);
    for (const auto& o : optionTable())
      EXPECT_EQ(help.find(std::string(o.info.name) + (o.info.kind == OptionKind::Flag ? "" : " ")) != std::string::npos,
                (o.info.programs & program) != 0)
          << o.info.name << " in the help of program " << program;
  }
}

// README.md's table under "Command line" names exactly tavrin's options.
TEST(OptionTable, ReadmeNamesEveryOptionOfTavrin) {
  std::ifstream in(TAVRIN_README);
  ASSERT_TRUE(in) << TAVRIN_README;
  std::set<std::string> inReadme, inTable;
  bool inSection = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("## ", 0) == 0) inSection = line == "## Command line";
    if (!inSection || line.rfind("| `-", 0) != 0) continue;
    for (std::size_t at = line.find("`-"); at != std::string::npos && at < line.find(" |"); at = line.find("`-", at + 1))
      inReadme.insert(line.substr(at + 1, line.find_first_of(" `", at + 1) - at - 1));
  }
  for (const auto& o : optionTable())
    if (o.info.programs & kTavrin) inTable.insert(o.info.name);
  EXPECT_EQ(inReadme, inTable);
}

TEST(OptionTable, ABackendsOwnOptionsGoWithItsBoard) {
  std::string error;
  EXPECT_FALSE(parseOptions({"--board", "sim", "--inband-lines", "--port", "/dev/ttyUSB0"}, error));
  EXPECT_EQ(error, "option --port goes with --board serial");
  EXPECT_FALSE(parseOptions({"--board=serial", "--inband-lines"}, error));
  EXPECT_EQ(error, "--board serial needs --port PATH (e.g. /dev/ttyUSB0, COM3; --list-boards shows them)");
  EXPECT_TRUE(parseOptions({"--board=serial", "--port=/dev/pts/3", "--inband-lines", "--sim-seed", "4"}, error));
  // The simulated board's settings also shape --list-boards, so they go with any board.
  EXPECT_TRUE(parseOptions({"--board", "d2xx", "--sim-seed", "4", "--ftdi-library", "x.so"}, error));
  // Only the simulated board answers in virtual time.
  EXPECT_TRUE(parseOptions({"--board", "sim", "--script", "s.txt"}, error));
  for (const char* board : {"d2xx", "ftdi"}) {
    EXPECT_FALSE(parseOptions({"--board", board, "--script", "s.txt"}, error)) << board;
    EXPECT_NE(error.find("add --realtime"), std::string::npos) << error;
  }
}

TEST(OptionTable, OtherProgramsTakeOptionsAnywhereAndTheirOwnOnly) {
  ParsedWords w;
  std::string error;
  ASSERT_TRUE(parseWords(kTavrinTraceDiff, {"a", "--tolerance", "5", "b", "--any-device"}, w, error)) << error;
  EXPECT_EQ(w.plain, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(w.options.tolerance.ms, 5);
  EXPECT_TRUE(w.options.tolerance.anyDevice);
  EXPECT_FALSE(parseWords(kTavrinTraceDiff, {"--relative", "2"}, w, error));
  EXPECT_EQ(error, "option --relative needs a number from 0 to 1, not '2'");
  EXPECT_FALSE(parseWords(kTavrinSimBoard, {"--pty", "--trace", "x"}, w, error));
  EXPECT_EQ(error, "unknown option --trace (try --help)");
  ParsedWords plot;
  ASSERT_TRUE(parseWords(kTavrinPlot, {"-o", "x.svg", "log.txt", "--", "-odd"}, plot, error)) << error;
  EXPECT_EQ(plot.options.outputFile, "x.svg");
  EXPECT_EQ(plot.plain, (std::vector<std::string>{"log.txt", "-odd"}));
  // The program itself: -h is help, an unknown dash word is refused (not run as a batch file), a file whose name
  // begins with a dash goes after --, and what follows the first plain word is the command-line text.
  auto tavrin = [&](const std::vector<std::string>& args) { return parseOptions(args, error); };
  EXPECT_TRUE(tavrin({"-h"})->help);
  EXPECT_FALSE(tavrin({"-x"}));
  EXPECT_EQ(error, "unknown option -x (try --help)");
  EXPECT_EQ(tavrin({"--board", "sim", "--", "-x.txt"})->commandLine, "-x.txt");
  EXPECT_EQ(tavrin({"--board", "sim", "a b.txt", "-x"})->commandLine, "a b.txt -x");
  for (unsigned program : {kTavrin, kTavrinPlot, kTavrinTraceDiff, kTavrinSimBoard})
    EXPECT_TRUE(parseWords(program, {"--version"}, w, error) && w.options.version) << program;
}

// The remote control: loopback by default, any other address only with a token; headless it needs no batch file.
TEST(OptionTable, TheRemoteControlListensOnLoopbackOrWithAToken) {
  std::string error;
  auto tavrin = [&](const std::vector<std::string>& args) { return parseOptions(args, error); };
  EXPECT_TRUE(tavrin({"--board", "sim", "--headless", "--remote", "5025"})) << error;
  EXPECT_TRUE(tavrin({"--board", "sim", "--remote", "[::1]:0"})) << error;
  EXPECT_FALSE(tavrin({"--board", "sim", "--remote", "0.0.0.0:5025"}));
  EXPECT_EQ(error, "--remote on 0.0.0.0:5025 is reachable from other machines: it needs --remote-token-file FILE");
  EXPECT_TRUE(tavrin({"--board", "sim", "--remote", "0.0.0.0:5025", "--remote-token-file", "t"})) << error;
  for (const char* bad : {"65536", "x", "host:", ":5025", "1 2"}) {
    EXPECT_FALSE(tavrin({"--board", "sim", "--remote", bad})) << bad;
    EXPECT_EQ(error.rfind("--remote needs [ADDRESS:]PORT", 0), 0u) << error;
  }
  EXPECT_FALSE(tavrin({"--board", "sim", "--remote-token-file", "t"}));
  EXPECT_FALSE(tavrin({"--board", "sim", "--remote", "5025", "--script", "s.txt"}));
}

#ifndef _WIN32  // the file's place comes from XDG_CONFIG_HOME here
// The configuration file: used where the command line names nothing, overridden by it, ignored with --no-config;
// a line it cannot take is said and left out; saving the board keeps the file's other sections and comments.
TEST(OptionTable, TheConfigurationFileKeepsTheConnection) {
  const auto dir = std::filesystem::temp_directory_path() / ("tavrin-conf-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  std::filesystem::create_directories(dir / "tavrin");
  std::ofstream(dir / "tavrin" / "tavrin.conf") << "# mine\r\n[other]\r\nx = 1\r\n[link]\r\nboard = serial\r\n"
                                                  "port = /dev/ttyUSB3\r\nbord = sim\r\n";
  std::string error, problem;
  auto parse = [&](const std::vector<std::string>& args) {
    problem.clear();
    return parseOptions(args, error, [&](const std::string& p) { problem = p; });
  };
  auto o = parse({"--script", "s.txt", "--realtime"});
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->backend.board + " " + o->backend.port, "serial /dev/ttyUSB3");
  EXPECT_NE(problem.find("line 7: unknown key 'bord'"), std::string::npos) << problem;
  EXPECT_EQ(parse({"--board", "sim"})->backend.port, "");  // a port goes with the serial board only
  EXPECT_EQ(parse({"--port", "/dev/ttyS0"})->backend.port, "/dev/ttyS0");
  EXPECT_EQ(parse({"--no-config", "--board", "sim"})->backend.board, "sim");
  EXPECT_TRUE(problem.empty());

  BackendOptions chosen;
  chosen.board = "ftdi";
  ASSERT_TRUE(saveConnection(chosen, error)) << error;
  std::ifstream in(dir / "tavrin" / "tavrin.conf");
  const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(saved, "# mine\r\n[other]\r\nx = 1\r\n[link]\r\nboard = ftdi\r\n");
  EXPECT_EQ(parse({"--list-boards"})->backend.board, "ftdi");
  ::unsetenv("XDG_CONFIG_HOME");
  std::filesystem::remove_all(dir);
}
#endif
