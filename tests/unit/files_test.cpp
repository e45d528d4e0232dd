// Files: the line reader, open-append-close logging, file error codes, drive-letter paths.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/files.h"
#include "test_support.h"

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
      {"; comment\r\n1024\r\n", {"; comment", "1024"}},
  };
  for (const auto& c : cases) EXPECT_EQ(splitLines(c.contents), c.lines) << '"' << c.contents << '"';
}

std::string contentsOf(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(AppendLine, WritesTextWithCrLfAndAppendsOnEachCall) {
  test::TempDir dir;
  auto file = dir.path() / "stator-1.txt";
  ASSERT_TRUE(appendLine(file, "\"Sweep\"").ok());
  EXPECT_EQ(contentsOf(file), "\"Sweep\"\r\n");  // on disk as soon as the call returns
  ASSERT_TRUE(appendLine(file, "1.3,44000,120").ok());
  EXPECT_EQ(contentsOf(file), "\"Sweep\"\r\n1.3,44000,120\r\n");

  std::string read;
  ASSERT_TRUE(readWholeFile(file, read).ok());
  EXPECT_EQ(splitLines(read), (Lines{"\"Sweep\"", "1.3,44000,120"}));

  ASSERT_TRUE(truncateFile(file).ok());
  EXPECT_EQ(contentsOf(file), "");
}

TEST(FileErrors, AreToldApartByTheirCodes) {
  test::TempDir dir;
  std::string contents = "untouched";
  auto missing = readWholeFile(dir.path() / "Tavrin.ini", contents);
  EXPECT_EQ(missing.code, FileErrorCode::FileNotFound);
  EXPECT_EQ(static_cast<int>(missing.code), 53);
  EXPECT_FALSE(missing.detail.empty());
  EXPECT_EQ(contents, "untouched");

  EXPECT_EQ(readWholeFile("", contents).code, FileErrorCode::BadFileName);
  EXPECT_EQ(appendLine("", "x").code, FileErrorCode::BadFileName);
  EXPECT_FALSE(readWholeFile(dir.path(), contents).ok());  // a folder is not a file
  EXPECT_FALSE(appendLine(dir.path() / "no-such-folder" / "log.txt", "x").ok());

  EXPECT_EQ(classifyFileError(0), FileErrorCode::None);
  EXPECT_EQ(static_cast<int>(classifyFileError(ENOENT)), 53);
  EXPECT_EQ(static_cast<int>(classifyFileError(ENAMETOOLONG)), 52);
  EXPECT_EQ(static_cast<int>(classifyFileError(EIO)), 71);
  EXPECT_EQ(classifyFileError(EACCES), FileErrorCode::PathFileAccess);
}

TEST(PathMapper, PutsDriveLettersUnderTheDriveRoot) {
  test::TempDir dir;
  PathMapper paths(dir.path());
  EXPECT_EQ(paths.map("C:\\stator-1.txt"), dir.path() / "C" / "stator-1.txt");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "C"));  // a fresh machine can write there
  EXPECT_EQ(paths.map("c:\\Windows\\Tavrin.ini"), dir.path() / "C" / "Windows/Tavrin.ini");
  EXPECT_EQ(paths.map("D:/data/run.txt"), dir.path() / "D" / "data/run.txt");
  EXPECT_EQ(paths.map("StimDemo.txt"), std::filesystem::path("StimDemo.txt"));
  EXPECT_EQ(paths.map("logs/run.txt"), std::filesystem::path("logs/run.txt"));
  EXPECT_EQ(paths.map("/tmp/run.txt"), std::filesystem::path("/tmp/run.txt"));

  // A log written through a mapped name lands where the mapping says.
  ASSERT_TRUE(appendLine(paths.map("C:\\Cyclecnt.txt"), "\"x\"").ok());
  EXPECT_EQ(contentsOf(dir.path() / "C" / "Cyclecnt.txt"), "\"x\"\r\n");
}

}  // namespace
}  // namespace tavrin
