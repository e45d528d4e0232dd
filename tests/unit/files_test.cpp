// Files: the line reader, file error codes, drive-letter paths. (Appending a
// log line: tests/behaviour/current_test.cpp.)
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>
#include <string>
#include <vector>

#include "core/files.h"
#include "../behaviour/rig.h"

namespace tavrin {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitLines, EndsLinesAtCrOrCrLfOnly) {
  struct Case {
    const char* contents;
    Lines lines;
  };
  const Case cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\r\ntwo\r\n", {"one", "two"}},
      {"one\rtwo\r", {"one", "two"}},
      {"one\r\ntwo", {"one", "two"}},
      {"a\nb\r\nc", {"a\nb", "c"}},         // a lone LF stays inside its line
      {"\n", {"\n"}},
      {"a\r\n\r\n\r\nb", {"a", "", "", "b"}},  // empty lines are kept
      {"a\r\r\nb", {"a", "", "b"}},
      {"\r\n", {""}},
  };
  for (const auto& c : cases) EXPECT_EQ(splitLines(c.contents), c.lines) << '"' << c.contents << '"';
}

TEST(FileErrors, AreToldApartByTheirCodes) {
  testing::TempDir dir;
  std::string contents = "untouched";
  auto missing = readWholeFile(dir.path() / "Tavrin.ini", contents);
  EXPECT_EQ(missing.code, FileErrorCode::FileNotFound);
  EXPECT_FALSE(missing.detail.empty());
  EXPECT_EQ(contents, "untouched");

  EXPECT_EQ(readWholeFile("", contents).code, FileErrorCode::BadFileName);
  EXPECT_EQ(appendLine("", "x").code, FileErrorCode::BadFileName);
  EXPECT_FALSE(readWholeFile(dir.path(), contents).ok());  // a folder is not a file
  EXPECT_FALSE(appendLine(dir.path() / "no-such-folder" / "log.txt", "x").ok());
#ifndef _WIN32
  // Neither a FIFO (an open would wait for a writer for ever) nor a device
  // that never ends is read or written: each is refused at once.
  auto fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::filesystem::path& p : {fifo, std::filesystem::path("/dev/zero")}) {
    EXPECT_EQ(readWholeFile(p, contents).code, FileErrorCode::BadFileName) << p;
    EXPECT_FALSE(appendLine(p, "x").ok()) << p;
  }
#else
  // Nor a device: NUL would swallow a log, CON wait for a keyboard.
  EXPECT_EQ(readWholeFile("NUL", contents).code, FileErrorCode::BadFileName);
  for (const char* p : {"NUL", "CON"}) {
    EXPECT_FALSE(readWholeFile(p, contents).ok()) << p;
    EXPECT_FALSE(appendLine(p, "x").ok()) << p;
  }
#endif

  const std::pair<int, FileErrorCode> errors[] = {{0, FileErrorCode::None},
                                                  {ENOENT, FileErrorCode::FileNotFound},
                                                  {ENAMETOOLONG, FileErrorCode::BadFileName},
                                                  {EIO, FileErrorCode::DiskNotReady},
                                                  {EACCES, FileErrorCode::PathFileAccess}};
  for (auto [err, code] : errors) EXPECT_EQ(classifyFileError(err), code) << err;
}

TEST(Files, NamesAreUtf8OnEverySystem) {
  // Letters of three scripts: no single ANSI code page holds them all.
  const std::u8string name = u8"Pr\u00fcfstand-\u03b4\u03bf\u03ba-\u0440\u043e\u0442\u043e\u0440.txt";
  const std::string text(name.begin(), name.end());
  EXPECT_EQ(pathFromUtf8(text), std::filesystem::path(name));
  EXPECT_EQ(utf8FromPath(pathFromUtf8(text)), text);

  testing::TempDir dir;
  const PathMapper asTyped{std::filesystem::path()};
  const std::string typed = utf8FromPath(dir.path()) + "/" + text;  // on Windows with its drive letter
  ASSERT_TRUE(appendLine(asTyped.map(typed), "3000,50").ok());
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / name));
  std::string contents;
  EXPECT_TRUE(readWholeFile(asTyped.map(typed), contents).ok());
  EXPECT_EQ(contents, "3000,50\r\n");
  // Bytes that are no UTF-8 name no file; they are reported, never thrown.
  EXPECT_EQ(readWholeFile(dir.path() / pathFromUtf8("\xff\xfe.txt"), contents).code, FileErrorCode::FileNotFound);
}

TEST(PathMapper, PutsDriveLettersUnderTheDriveRoot) {
  testing::TempDir dir;
  PathMapper paths(dir.path());
  EXPECT_EQ(paths.map("C:\\stator-1.txt"), dir.path() / "C" / "stator-1.txt");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "C"));  // a fresh machine can write there
  EXPECT_EQ(paths.map("c:\\Windows\\Tavrin.ini"), dir.path() / "C" / "Windows/Tavrin.ini");
  EXPECT_EQ(paths.map("D:/data/run.txt"), dir.path() / "D" / "data/run.txt");
  EXPECT_EQ(paths.map("StimDemo.txt"), std::filesystem::path("StimDemo.txt"));
  EXPECT_EQ(paths.map("logs/run.txt"), std::filesystem::path("logs/run.txt"));
  EXPECT_EQ(paths.map("/tmp/run.txt"), std::filesystem::path("/tmp/run.txt"));
}

}  // namespace
}  // namespace tavrin
