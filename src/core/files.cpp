#include "core/files.h"

#include <cerrno>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tavrin {

FileErrorCode classifyFileError(int osError) {
  switch (osError) {
    case 0:
      return FileErrorCode::None;
    case ENOENT:
      return FileErrorCode::FileNotFound;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      return FileErrorCode::BadFileName;
    case EBUSY:
    case ETXTBSY:
      return FileErrorCode::FileAlreadyOpen;
    case EIO:
    case ENXIO:
    case ENODEV:
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
    case EROFS:
      return FileErrorCode::DiskNotReady;
    default:
      return FileErrorCode::PathFileAccess;
  }
}

std::vector<std::string> splitLines(std::string_view contents) {
  std::vector<std::string> lines;
  std::string current;
  bool pending = false;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    char c = contents[i];
    if (c == '\r') {
      lines.push_back(current);
      current.clear();
      pending = false;
      if (i + 1 < contents.size() && contents[i + 1] == '\n') ++i;
    } else {
      current += c;
      pending = true;
    }
  }
  if (pending) lines.push_back(current);
  return lines;
}

std::filesystem::path pathFromUtf8(std::string_view text) {
#ifdef _WIN32
  // A byte that is no UTF-8 becomes U+FFFD: the name is then one no file has,
  // and the open fails with a message instead of the conversion throwing.
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return std::filesystem::path(wide);
#else
  return std::filesystem::path(text);
#endif
}

std::string utf8FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::wstring& wide = path.native();
  if (wide.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
  return text;
#else
  return path.string();
#endif
}

namespace {
// errno for a path that exists but is no ordinary file; no system call sets it.
constexpr int kNotOrdinary = -1000;

#ifdef _WIN32
// The errno that tells the same story as a Windows error, so that messages and
// codes read alike on every system. A file another program holds without
// sharing (an open editor) is "already open".
int errnoFromWindows(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
      return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
      return ENXIO;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    default:
      return EACCES;
  }
}
#endif

std::FILE* openFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  // The wide path as it is (never the ANSI code page), shared for reading and
  // writing, and only an ordinary disk file: a device name (CON, COM1, NUL) or
  // a pipe must neither hang the program nor feed it without end.
  const bool reading = mode[0] == 'r';
  HANDLE h = CreateFileW(path.c_str(), reading ? GENERIC_READ : GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, reading ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    errno = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                ? EISDIR
                : errnoFromWindows(error);
    return nullptr;
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    errno = kNotOrdinary;
    return nullptr;
  }
  // "wb" empties the file only now that it is known to be an ordinary one.
  if (mode[0] == 'w' && !SetEndOfFile(h)) {
    errno = errnoFromWindows(GetLastError());
    CloseHandle(h);
    return nullptr;
  }
  const int flags = (reading ? _O_RDONLY : _O_WRONLY) | (mode[0] == 'a' ? _O_APPEND : 0) | _O_BINARY;
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), flags);
  if (fd < 0) {
    CloseHandle(h);
    errno = EMFILE;
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, mode);
  if (!f) _close(fd);
  return f;
#else
  // Opened without blocking and checked before use: a FIFO, a device or a
  // folder at a log's or a sequence's path must neither hang the program (a
  // FIFO blocks an ordinary open until someone opens its other end) nor feed
  // it without end (/dev/zero). Only ordinary files are read or written.
  int flags = mode[0] == 'r' ? O_RDONLY : (O_WRONLY | O_CREAT | (mode[0] == 'a' ? O_APPEND : O_TRUNC));
  int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    bool folder = S_ISDIR(st.st_mode);
    ::close(fd);
    errno = folder ? EISDIR : kNotOrdinary;
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, mode);
  if (!f) ::close(fd);
  return f;
#endif
}

FileResult failure(int err) {
  if (err == kNotOrdinary) return FileResult{FileErrorCode::BadFileName, "not an ordinary file"};
  return FileResult{classifyFileError(err), std::strerror(err)};
}

FileResult checkName(const std::filesystem::path& path) {
  if (path.empty()) return FileResult{FileErrorCode::BadFileName, "empty file name"};
  return {};
}
}  // namespace

OpenFile openForReading(const std::filesystem::path& path, FileResult& failed) {
  failed = checkName(path);
  if (!failed.ok()) return nullptr;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    failed = failure(EISDIR);
    return nullptr;
  }
  errno = 0;
  OpenFile f(openFile(path, "rb"));
  if (!f) failed = failure(errno ? errno : ENOENT);
  return f;
}

FileResult readWholeFile(const std::filesystem::path& path, std::string& contents) {
  FileResult r;
  OpenFile f = openForReading(path, r);
  if (!f) return r;
  std::ostringstream out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) out.write(buf, static_cast<std::streamsize>(n));
  if (std::ferror(f.get()) != 0) return failure(EIO);
  contents = out.str();
  return {};
}

namespace {
// Opens (mode "ab" or "wb"), writes the text whole and closes: one line or one
// header is on disk, or a failure is returned, before this returns.
FileResult writeText(const std::filesystem::path& path, const char* mode, std::string_view text) {
  if (auto r = checkName(path); !r.ok()) return r;
  errno = 0;
  std::FILE* f = openFile(path, mode);
  if (!f) return failure(errno ? errno : EIO);
  // An empty text writes nothing (fwrite must not be given a null buffer).
  bool ok = text.empty() || std::fwrite(text.data(), 1, text.size(), f) == text.size();
  int err = errno;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) return failure(err ? err : EIO);
  return {};
}
}  // namespace

FileResult appendLine(const std::filesystem::path& path, std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return writeText(path, "ab", line);
}

FileResult writeLines(const std::filesystem::path& path, const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += l + "\r\n";
  return writeText(path, "wb", all);
}

FileResult checkAppendable(const std::filesystem::path& path) { return writeText(path, "ab", {}); }

std::string keptCopyName(std::string_view name, int n) {
  const std::string tag = "~" + std::to_string(n);
  std::string out(name);
  const std::size_t slash = out.find_last_of("\\/");
  const std::size_t dot = out.size() >= 4 ? out.size() - 4 : std::string::npos;
  auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
  const bool txt = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) && out[dot] == '.' &&
                   lower(out[dot + 1]) == 't' && lower(out[dot + 2]) == 'x' && lower(out[dot + 3]) == 't';
  out.insert(txt ? dot : out.size(), tag);
  return out;
}

namespace {
// Renames, never replacing a file already under the new name: 0, or errno
// (EEXIST when the name is taken).
int renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
  if (MoveFileExW(from.c_str(), to.c_str(), 0)) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? EEXIST : errnoFromWindows(error);
#else
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
  // A file system that cannot refuse to replace: look first (the program is
  // the only writer of its log folders).
  std::error_code ec;
  if (std::filesystem::exists(to, ec) || ec) return EEXIST;
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#endif
}
}  // namespace

FileResult keepEarlier(const PathMapper& paths, const std::string& name, std::optional<std::string>& keptAs) {
  keptAs.reset();
  const std::filesystem::path from = paths.map(name);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(from, ec)) return {};  // nothing there to keep; a folder fails later
  const auto size = std::filesystem::file_size(from, ec);
  if (ec || size == 0) return {};
  for (int n = 1; n <= 99999; ++n) {
    std::string candidate = keptCopyName(name, n);
    const int err = renameNoReplace(from, paths.map(candidate));
    if (err == 0) {
      keptAs = std::move(candidate);
      return {};
    }
    if (err != EEXIST) return failure(err);
  }
  return FileResult{FileErrorCode::PathFileAccess, "no free name to keep it under"};
}

std::filesystem::path PathMapper::map(std::string_view typed) const {
#ifdef _WIN32
  // Windows has the drives: a path is used as typed unless a drive root was
  // given (--drive-root, TAVRIN_DRIVE_ROOT), say for a run kept apart.
  if (root_.empty()) return pathFromUtf8(typed);
#endif
  std::string s(typed);
  for (char& c : s)
    if (c == '\\') c = '/';
  bool drive = s.size() >= 2 && s[1] == ':' &&
               ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
  if (!drive) return pathFromUtf8(s);
  char letter = static_cast<char>(s[0] >= 'a' ? s[0] - 'a' + 'A' : s[0]);
  std::string rest = s.substr(2);
  while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
  std::filesystem::path drivePath = root_ / std::string(1, letter);
  // The drive itself always exists on the machines this program came from;
  // make its folder so that writing "C:\x.txt" works on a fresh machine.
  std::error_code ec;
  std::filesystem::create_directories(drivePath, ec);
  return rest.empty() ? drivePath : drivePath / pathFromUtf8(rest);
}

std::filesystem::path PathMapper::defaultDriveRoot() {
  if (const char* env = std::getenv("TAVRIN_DRIVE_ROOT"); env && *env) return pathFromUtf8(env);
#ifdef _WIN32
  return {};
#else
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
    return std::filesystem::path(xdg) / "tavrin" / "drives";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::filesystem::path(home) / ".local" / "share" / "tavrin" / "drives";
  return std::filesystem::temp_directory_path() / "tavrin-drives";
#endif
}

}  // namespace tavrin
