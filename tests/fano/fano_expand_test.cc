// The decoders: the golden payloads, the table decoder against the record-by-record
// reference on encoded and on damaged payloads, and the bounds that hold for any input.
// Payloads and outputs sit flush against an unreadable page.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codecs/byte_histogram.h"
#include "codecs/fano/fano_code_builder.h"
#include "codecs/fano/fano_compress.h"
#include "codecs/fano/fano_expand_variants.h"
#include "tests/fano/bit_string.h"
#include "tests/fano/fano_test_frames.h"
#include "tests/fano/golden_payloads.h"
#include "tests/support/guarded_buffer.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;
using Expander = FanoExpandResult (*)(const uint8_t*, uint8_t*, uint32_t, uint32_t);

struct Decoded {
  FanoExpandResult result;
  Bytes block;  // all n bytes; those not written stay zero
};

Decoded expand_with(Expander expander, const Bytes& payload, uint32_t n) {
  GuardedBuffer in(payload);
  GuardedBuffer out(n);
  const FanoExpandResult result =
      expander(in.data(), out.data(), static_cast<uint32_t>(in.size()), n);
  return Decoded{result, out.bytes()};
}

Bytes compress(const Bytes& source) {
  uint32_t counts[kFanoSymbolCount];
  count_bytes(source.data(), static_cast<uint32_t>(source.size()), counts);
  FanoCodeBook code;
  EXPECT_EQ(build_fano_code(counts, &code), FanoBuildResult::kOk);
  Bytes payload(static_cast<size_t>(fano_bytes_for_bits(code.stream_bits)));
  const auto pairs = std::make_unique<FanoPairCodeTable>();
  fano_compress(code, source.data(), static_cast<uint32_t>(source.size()), payload.data(),
                pairs.get());
  return payload;
}

Bytes golden(const std::string& path) {
  const GoldenFile* file = find_golden_file(path);
  EXPECT_NE(file, nullptr) << path;
  if (file == nullptr) return {};
  return Bytes(file->bytes, file->bytes + file->size);
}

std::string with_suffix(const std::string& fano_path, const std::string& suffix) {
  return fano_path.substr(0, fano_path.size() - 5) + suffix;
}

void expect_same_decoding(const Decoded& fast, const Decoded& reference, const std::string& what) {
  EXPECT_EQ(fast.result.status, reference.result.status) << what;
  EXPECT_EQ(fast.result.tree_result, reference.result.tree_result) << what;
  EXPECT_EQ(fast.result.bytes_written, reference.result.bytes_written) << what;
  EXPECT_EQ(fast.block, reference.block) << what;
}

TEST(FanoExpandTest, GoldenValidPayloadsDecodeToTheirFrames) {
  const std::vector<std::string> paths = golden_payload_paths("valid");
  ASSERT_GE(paths.size(), 12u);
  for (const std::string& path : paths) {
    const Bytes payload = golden(path);
    const Bytes expected = golden(with_suffix(path, ".out"));
    const uint32_t n = static_cast<uint32_t>(expected.size());
    for (Expander expander : {fano_expand, fano_expand_reference}) {
      const Decoded decoded = expand_with(expander, payload, n);
      EXPECT_EQ(decoded.result.status, FanoExpandStatus::kComplete) << path;
      EXPECT_EQ(decoded.block, expected) << path;
    }
  }
}

TEST(FanoExpandTest, EncoderWritesTheGoldenEncoderPayloadsByteForByte) {
  int checked = 0;
  for (const std::string& path : golden_payload_paths("valid")) {
    if (path.compare(0, 14, "valid/encoder_") != 0) continue;
    EXPECT_EQ(compress(golden(with_suffix(path, ".out"))), golden(path)) << path;
    ++checked;
  }
  EXPECT_GE(checked, 8);
}

TEST(FanoExpandTest, GoldenRejectPayloadsStopWithoutAFullFrame) {
  const std::vector<std::string> paths = golden_payload_paths("reject");
  ASSERT_GE(paths.size(), 6u);
  for (const std::string& path : paths) {
    const Bytes payload = golden(path);
    const Decoded fast = expand_with(fano_expand, payload, 64);
    const Decoded reference = expand_with(fano_expand_reference, payload, 64);
    EXPECT_NE(fast.result.status, FanoExpandStatus::kComplete) << path;
    expect_same_decoding(fast, reference, path);
  }
}

TEST(FanoExpandTest, RejectedTreesWriteNothing) {
  struct Case {
    const char* path;
    FanoTreeResult why;
  };
  const Case cases[] = {
      {"reject/no_leaf.fano", FanoTreeResult::kNoLeaf},
      {"reject/empty.fano", FanoTreeResult::kTruncated},
      {"reject/too_many_leaves.fano", FanoTreeResult::kTooManyLeaves},
      {"reject/leaf_deeper_than_32.fano", FanoTreeResult::kTooDeep},
      {"reject/truncated_tree.fano", FanoTreeResult::kTruncated},
  };
  for (const Case& c : cases) {
    const Decoded decoded = expand_with(fano_expand, golden(c.path), 64);
    EXPECT_EQ(decoded.result.status, FanoExpandStatus::kTreeRejected) << c.path;
    EXPECT_EQ(decoded.result.tree_result, c.why) << c.path;
    EXPECT_EQ(decoded.result.bytes_written, 0u) << c.path;
    EXPECT_EQ(decoded.block, Bytes(64, 0)) << c.path;
  }
}

TEST(FanoExpandTest, PayloadEndingEarlyStopsAtTheLastWholeCode) {
  // a b c: codes 00 01 10 and six zero padding bits, which still read as three more a.
  const Decoded decoded = expand_with(fano_expand, golden("reject/payload_ends_early.fano"), 64);
  EXPECT_EQ(decoded.result.status, FanoExpandStatus::kPayloadExhausted);
  EXPECT_EQ(decoded.result.bytes_written, 6u);
  EXPECT_EQ(Bytes(decoded.block.begin(), decoded.block.begin() + 7),
            Bytes({'a', 'b', 'c', 'a', 'a', 'a', 0}));
}

TEST(FanoExpandTest, SingleLeafTreeFillsTheFrameWithoutReadingFurther) {
  // Tree: one leaf of 0x41 (9 bits); the code is empty, so n needs no more bits.
  for (Expander expander : {fano_expand, fano_expand_reference}) {
    const Decoded decoded = expand_with(expander, bytes_from_bits(leaf(0x41)), 5000);
    EXPECT_EQ(decoded.result.status, FanoExpandStatus::kComplete);
    EXPECT_EQ(decoded.block, Bytes(5000, 0x41));
  }
}

TEST(FanoExpandTest, TableDecoderMatchesTheReferenceOnEncodedFrames) {
  const ByteMix mixes[] = {ByteMix::kNoise, ByteMix::kSkewed, ByteMix::kFewValues,
                           ByteMix::kGeometric};
  uint32_t seed = 100;
  bool saw_long_code = false;
  for (int round = 0; round < 40; ++round) {
    for (ByteMix mix : mixes) {
      const Bytes source = make_bytes(mix, 1 + (seed * 7919u) % 20000u, seed);
      ++seed;
      const Bytes payload = compress(source);
      const uint32_t n = static_cast<uint32_t>(source.size());
      const Decoded fast = expand_with(fano_expand, payload, n);
      const Decoded reference = expand_with(fano_expand_reference, payload, n);
      ASSERT_EQ(fast.block, source) << "seed " << seed;
      expect_same_decoding(fast, reference, "seed " + std::to_string(seed));

      BitCursor in = open_bit_reader(payload.data(), static_cast<uint32_t>(payload.size()));
      FanoTree tree;
      ASSERT_EQ(read_fano_tree(&in, static_cast<uint32_t>(payload.size()), &tree),
                FanoTreeResult::kOk);
      saw_long_code = saw_long_code || tree.max_code_length > 12;
    }
  }
  EXPECT_TRUE(saw_long_code) << "no frame exercised codes longer than the table";
}

TEST(FanoExpandTest, TableDecoderMatchesTheReferenceOnDamagedPayloads) {
  // Flipped bits change the tree or the codes (absent slots, lost or extra positions),
  // cuts end the payload early, appended bytes are trailing garbage: the two decoders must
  // agree on all of it.
  std::mt19937 engine(4242);
  auto random = [&engine] { return static_cast<uint32_t>(engine()); };
  for (int round = 0; round < 600; ++round) {
    const ByteMix mix = static_cast<ByteMix>(round % 4);
    const Bytes source = make_bytes(mix, 1 + random() % 3000, static_cast<uint32_t>(round));
    Bytes payload = compress(source);
    const int flips = static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) {
      const size_t bit = random() % (payload.size() * 8);
      payload[bit / 8] = static_cast<uint8_t>(payload[bit / 8] ^ (0x80u >> (bit % 8)));
    }
    if (random() % 3 == 0) payload.resize(random() % (payload.size() + 1));
    if (random() % 5 == 0) payload.push_back(static_cast<uint8_t>(random()));
    const uint32_t n = static_cast<uint32_t>(source.size() + random() % 50);
    expect_same_decoding(expand_with(fano_expand, payload, n),
                         expand_with(fano_expand_reference, payload, n),
                         "round " + std::to_string(round));
  }
}

TEST(FanoExpandTest, DecodingStopsSoonAfterThePayloadEndsWhateverN) {
  // n of a billion positions and a 6-byte payload: the decoder stops at the payload's end
  // and writes only what it decoded (the output block here is far smaller than n, flush
  // against the guard page, so a write past the decoded bytes would fault).
  const Bytes payload = golden("reject/payload_ends_early.fano");
  GuardedBuffer in(payload);
  GuardedBuffer out(6);
  for (Expander expander : {fano_expand, fano_expand_reference}) {
    const FanoExpandResult result =
        expander(in.data(), out.data(), static_cast<uint32_t>(in.size()), 1000000000u);
    EXPECT_EQ(result.status, FanoExpandStatus::kPayloadExhausted);
    EXPECT_EQ(result.bytes_written, 6u);
  }
}

TEST(FanoExpandTest, PositionsIntoAnAbsentSlotGiveNoByte) {
  // Tree: root, left slot the a/b node, right slot absent. Codes: 00 a, 11 none (two bits
  // consumed), 01 b, 10 none.
  const std::string bits = "0 1 0 1" + leaf('a') + "1" + leaf('b') + "0" + "00 11 01 10";
  for (Expander expander : {fano_expand, fano_expand_reference}) {
    const Decoded decoded = expand_with(expander, bytes_from_bits(bits), 4);
    EXPECT_EQ(decoded.result.status, FanoExpandStatus::kComplete);
    EXPECT_EQ(decoded.result.bytes_written, 2u);
    EXPECT_EQ(decoded.block, Bytes({'a', 'b', 0, 0}));
  }
}

TEST(FanoExpandTest, ZeroPositionsReadOnlyTheTree) {
  for (Expander expander : {fano_expand, fano_expand_reference}) {
    EXPECT_EQ(expand_with(expander, golden("valid/encoder_abc.fano"), 0).result.status,
              FanoExpandStatus::kComplete);
  }
}

}  // namespace
}  // namespace quorvel
