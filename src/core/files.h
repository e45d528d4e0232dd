// Files as the program uses them: whole-line text files, append-and-close
// logging, the four file error codes and drive-letter path mapping.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

// The error codes operators know from the program's file messages.
enum class FileErrorCode : int {
  None = 0,
  BadFileName = 52,
  FileNotFound = 53,
  FileAlreadyOpen = 55,
  DiskNotReady = 71,
  PathFileAccess = 75,  // anything else: no message of its own
};

// Sorts an operating-system error number into one of the codes above. Used by
// every file that the program reads or writes, so all report alike.
FileErrorCode classifyFileError(int osError);

// Splits file contents into lines. A line ends at CR or CR LF; a lone LF does
// not end a line and stays part of it. A last line without an end counts.
std::vector<std::string> splitLines(std::string_view contents);

struct FileResult {
  FileErrorCode code = FileErrorCode::None;
  std::string detail;  // the operating system's words, for messages
  bool ok() const { return code == FileErrorCode::None; }
};

// Reads a whole file. Fails with FileNotFound when it is absent.
FileResult readWholeFile(const std::filesystem::path& path, std::string& contents);

// An open file, closed when it goes.
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file to read it a piece at a time (a file too large to hold whole),
// by readWholeFile's rules: only an ordinary file, never a folder, a device or
// a pipe. Null with the reason in `failed` when it cannot be opened.
OpenFile openForReading(const std::filesystem::path& path, FileResult& failed);

// Opens for appending (creating it if absent), writes text plus CR LF, closes.
// Each line is on disk when this returns.
FileResult appendLine(const std::filesystem::path& path, std::string_view text);

// Empties (or creates) a file and writes the lines, each with CR LF, in one
// open-write-close.
FileResult writeLines(const std::filesystem::path& path, const std::vector<std::string>& lines);

// Whether the file can be opened for appending (it is created if absent,
// nothing is written): the check a procedure makes before it starts.
FileResult checkAppendable(const std::filesystem::path& path);

class PathMapper;

// The name an earlier file is kept under: "~N" before a ".txt" ending (in any
// case), else after the whole name: C:\stator-1.txt gives C:\stator-1~1.txt.
std::string keptCopyName(std::string_view name, int n);

// Before a file that holds bytes is emptied and written anew: moves it aside,
// in one rename that never replaces another file, to the first free
// keptCopyName(name, 1, 2, ...), and names it in keptAs. Nothing is done for a
// file that is absent or empty. On failure the file is where it was.
FileResult keepEarlier(const PathMapper& paths, const std::string& name, std::optional<std::string>& keptAs);

// A path from the program's UTF-8 text, and back. On Windows both go through
// the wide characters Windows names files with, never the ANSI code page (which
// garbles any letter outside it); bytes that are no UTF-8 become U+FFFD.
std::filesystem::path pathFromUtf8(std::string_view text);
std::string utf8FromPath(const std::filesystem::path& path);

// Maps the paths operators type to the host's file system. On Windows without
// a drive root a path is used as typed. Otherwise "C:\stator-1.txt" lives at
// <driveRoot>/C/stator-1.txt and backslashes become slashes; other paths are
// used as they are.
class PathMapper {
 public:
  explicit PathMapper(std::filesystem::path driveRoot) : root_(std::move(driveRoot)) {}
  std::filesystem::path map(std::string_view typed) const;
  const std::filesystem::path& driveRoot() const { return root_; }

  // --drive-root, else TAVRIN_DRIVE_ROOT, else a per-user data folder.
  static std::filesystem::path defaultDriveRoot();

 private:
  std::filesystem::path root_;
};

}  // namespace tavrin
