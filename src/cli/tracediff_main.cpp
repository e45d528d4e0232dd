// tavrin-tracediff A B: compares two link traces with a time tolerance and
// prints the first difference. Exit 0 when they match, 1 when they differ,
// 2 on a bad command line or a file that cannot be read.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>

#include "cli/option_table.h"
#include "cli/options.h"
#include "cli/tracediff.h"
#include "core/escape.h"
#include "core/files.h"

namespace {
// A trace file read through a buffer of its own: only that much of it is in
// memory at a time.
class FileBuffer : public std::streambuf {
 public:
  explicit FileBuffer(std::FILE* file) : file_(file) {}

 private:
  int_type underflow() override {
    const std::size_t n = std::fread(buffer_, 1, sizeof buffer_, file_);
    if (n == 0) return traits_type::eof();
    setg(buffer_, buffer_, buffer_ + n);
    return traits_type::to_int_type(buffer_[0]);
  }
  std::FILE* file_;
  char buffer_[1 << 16];
};

std::string usage() {
  return "usage: tavrin-tracediff [--tolerance MS] [--relative FRACTION] [--any-device] TRACE_A TRACE_B\n"
         "Compares two link traces line by line, times within a tolerance.\n" +
         tavrin::optionHelp(tavrin::kTavrinTraceDiff);
}
}  // namespace

int main(int argc, char** argv) {
  tavrin::ParsedWords words;
  std::string error;
  if (!tavrin::parseArguments(tavrin::kTavrinTraceDiff, argc, argv, words, error)) {
    std::cerr << "tavrin-tracediff: " << tavrin::escapedName(error) << '\n';
    return 2;
  }
  if (words.options.help) {
    std::cout << usage();
    return 0;
  }
  if (words.options.version) {
    std::cout << tavrin::versionText("tavrin-tracediff") << '\n';
    return 0;
  }
  if (words.plain.size() > 2) {
    std::cerr << "tavrin-tracediff: unexpected '" << tavrin::escapedName(words.plain[2]) << "'\n" << usage();
    return 2;
  }
  if (words.plain.size() != 2) {
    std::cerr << usage();
    return 2;
  }
  const std::string* files = words.plain.data();
  auto cannotRead = [&](int k, const std::string& why) {
    std::cerr << "tavrin-tracediff: cannot read " << tavrin::escapedName(files[k]) << ": " << why << '\n';
    return 2;
  };
  tavrin::OpenFile file[2];
  for (int k = 0; k < 2; ++k) {
    tavrin::FileResult r;
    file[k] = tavrin::openForReading(tavrin::pathFromUtf8(files[k]), r);
    if (!file[k]) return cannotRead(k, r.detail);
  }
  FileBuffer bufferA(file[0].get()), bufferB(file[1].get());
  std::istream traceA(&bufferA), traceB(&bufferB);
  auto c = tavrin::compareTraces(traceA, traceB, words.options.tolerance);
  // A read that failed part way ends that trace early: said as such, never
  // as a difference.
  for (int k = 0; k < 2; ++k)
    if (std::ferror(file[k].get())) return cannotRead(k, std::strerror(EIO));
  std::cout << tavrin::comparisonText(c, files[0], files[1]);
  return c.same ? 0 : 1;
}
