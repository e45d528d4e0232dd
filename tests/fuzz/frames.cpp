// The frame assembler fed arbitrary writes and other calls. The input is a
// list of records: a byte 0xFF is another call on the link, any other byte
// b is a write of the next b % 24 bytes. After any such history, another call
// and then the writes of a real frame must give back exactly that frame.
#include <cstring>

#include "link/frame.h"
#include "fuzz_check.h"

using namespace tavrin;

namespace {

void checkFrame(const ReceivedFrame& r) {
  const std::string d = r.describe();
  FUZZ_CHECK(d.rfind("frame mode ", 0) == 0);
  FUZZ_CHECK(r.headerOnly == (d.find("header only") != std::string::npos));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FrameAssembler a;
  std::size_t pos = 0, bytes = 0, whole = 0;
  while (pos < size) {
    const std::uint8_t b = data[pos++];
    if (b == 0xFF) {
      if (auto r = a.onOtherCall()) {
        FUZZ_CHECK(r->headerOnly);
        checkFrame(*r);
      }
      continue;
    }
    const std::size_t n = std::min<std::size_t>(b % 24, size - pos);
    std::vector<std::uint8_t> write(data + pos, data + pos + n);  // its own buffer, so ASan sees overreads
    pos += n;
    bytes += n;
    const auto frames = a.onWrite(write.data(), write.size());
    FUZZ_CHECK(frames.size() <= 2);
    for (const auto& r : frames) {
      checkFrame(r);
      if (!r.headerOnly) ++whole;
    }
  }
  FUZZ_CHECK(whole * 19 <= bytes);

  // A real frame from the last bytes of the input.
  std::uint8_t f[10] = {};
  std::memcpy(f, data + size - std::min<std::size_t>(size, sizeof f), std::min<std::size_t>(size, sizeof f));
  FrameFields fields;
  fields.mode = f[0];
  fields.freqWord = static_cast<std::int32_t>(std::uint32_t(f[1]) << 24 | f[2] << 16 | f[3] << 8 | f[4]);
  fields.phaseWord = static_cast<std::int16_t>(f[5] << 8 | f[6]);
  fields.poutHi = f[7];
  fields.poutLo = f[8];
  a.onOtherCall();
  std::vector<ReceivedFrame> got;
  for (const auto& w : frameWrites(fields)) {
    auto r = a.onWrite(w.data(), w.size());
    got.insert(got.end(), r.begin(), r.end());
  }
  if (fields.freqWord <= kHeaderOnlyMaxWord) {
    FUZZ_CHECK(got.empty());
    const auto r = a.onOtherCall();
    FUZZ_CHECK(r && r->headerOnly && r->fields.mode == fields.mode);
  } else {
    FUZZ_CHECK(got.size() == 1 && !got[0].headerOnly);
    FUZZ_CHECK(got[0].fields == fields);
    FUZZ_CHECK(!a.onOtherCall());
  }
  return 0;
}
