#include "codecs/lzo_expand.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codecs/codec_factory.h"
#include "codecs/lzo_api.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

const Bytes kEnd = {0x11, 0x00, 0x00};

// A literal run of count bytes (count >= 19) from the start, spelled with the long-length
// form: instruction 0, zero bytes worth 255 each, then the rest.
Bytes long_literal_run(size_t count, uint8_t fill) {
  Bytes run = {0x00};
  size_t rest = count - 18;
  for (; rest > 255; rest -= 255) run.push_back(0x00);
  run.push_back(static_cast<uint8_t>(rest));
  return run + Bytes(count, fill);
}

struct StreamCase {
  const char* name;
  Bytes stream;
  size_t capacity;
  bool accepted;
  Bytes decoded;  // when accepted
};

// Each instruction form once, then the streams lzo1x_expand must hand back to liblzo2.
std::vector<StreamCase> stream_cases() {
  const Bytes run2100 = long_literal_run(2100, 'r');
  const Bytes run16400 = long_literal_run(16400, 'f');
  const Bytes after_run = Bytes(2100, 'r') + Bytes{'r', 'r', 'r', 'x'};
  const Bytes far = Bytes(16400, 'f') + Bytes{'f', 'f', 'f'};
  return {
      {"FirstByteLiteralRun", Bytes{17 + 5} + text("hello") + kEnd, 64, true, text("hello")},
      // 19: two literals, state 2; 00 00: a 2-byte match 1 back; 25 04 00: 7 bytes 2 back.
      {"ShortMatchAfterTrailingLiterals",
       Bytes{17 + 2} + text("ab") + Bytes{0x00, 0x00, 0x20 | 5, 0x04, 0x00} + kEnd, 64, true,
       text("abbbbbbbbbb")},
      // 0x52: 3 + 0 bytes from (H=1)*8 + 4 + 1 = 13 back, then 2 trailing literals.
      {"NearMatchWithTrailingLiterals",
       Bytes{17 + 13} + text("0123456789abc") + Bytes{0x40 | (4 << 2) | 2, 0x01} + text("XY") +
           kEnd,
       64, true, text("0123456789abc012XY")},
      // After a run of four or more, code 01 is a 3-byte match 2049 back, then one literal.
      {"ThreeByteMatchAfterALongRun", run2100 + Bytes{0x01, 0x00, 'x'} + kEnd, 4096, true,
       after_run},
      // 11 04 00: 3 bytes from 16384 + 1 back.
      {"FarMatch", run16400 + Bytes{0x11, 0x04, 0x00} + kEnd, 20000, true, far},
      // 20 40 00 00: 31 + 0x40 + 2 bytes from 1 back, longer than a 16-byte piece.
      {"RunOfOneByte", Bytes{17 + 1} + text("z") + Bytes{0x20, 0x40, 0x00, 0x00} + kEnd, 300, true,
       Bytes(1 + 31 + 0x40 + 2, 'z')},
      {"EmptyStream", kEnd, 16, true, {}},
      {"NoInput", {}, 16, false, {}},
      {"NoEndMarker", Bytes{17 + 5} + text("hello"), 64, false, {}},
      {"BytesAfterTheEndMarker", Bytes{17 + 1} + text("a") + kEnd + Bytes{0x00}, 64, false, {}},
      {"MatchBeforeTheStart",
       Bytes{17 + 1} + text("a") + Bytes{0x40 | (1 << 2), 0x00} + kEnd,
       64,
       false,
       {}},
      {"OutputTooSmall", Bytes{17 + 5} + text("hello") + kEnd, 4, false, {}},
      {"MatchPastTheOutput",
       Bytes{17 + 1} + text("z") + Bytes{0x20, 0x40, 0x00, 0x00} + kEnd,
       40,
       false,
       {}},
      {"LengthCutShort", Bytes{17 + 1} + text("z") + Bytes{0x20, 0x00, 0x00}, 4096, false, {}},
  };
}

class LzoExpandTest : public testing::TestWithParam<StreamCase> {
 protected:
  static void SetUpTestSuite() { init_codec_libraries(); }
};

// What lzo1x_expand accepts, liblzo2 decodes to the same bytes, and what it declines,
// liblzo2 rejects too (the caller then reports liblzo2's verdict).
TEST_P(LzoExpandTest, AgreesWithLiblzo2) {
  const StreamCase& c = GetParam();
  Bytes fast(c.capacity);
  size_t fast_len = 0;
  const bool accepted =
      lzo1x_expand(c.stream.data(), c.stream.size(), fast.data(), c.capacity, &fast_len);
  ASSERT_EQ(accepted, c.accepted);
  Bytes reference(c.capacity);
  lzo_uint reference_len = c.capacity;
  const int result = lzo1x_decompress_safe(c.stream.data(), c.stream.size(), reference.data(),
                                           &reference_len, nullptr);
  EXPECT_EQ(result == LZO_E_OK, accepted) << "liblzo2 says " << result;
  if (!accepted) return;
  EXPECT_EQ(Bytes(fast.begin(), fast.begin() + static_cast<long>(fast_len)), c.decoded);
  EXPECT_EQ(Bytes(reference.begin(), reference.begin() + static_cast<long>(reference_len)),
            c.decoded);
}

INSTANTIATE_TEST_SUITE_P(Streams, LzoExpandTest, testing::ValuesIn(stream_cases()),
                         [](const testing::TestParamInfo<StreamCase>& param_info) {
                           return std::string(param_info.param.name);
                         });

}  // namespace
}  // namespace quorvel
