// The literal stage of the deflate decoder: its table against a bit-by-bit decoder of the
// same code, the streams it takes (ours, zlib's, hand-written ones) against zlib, and the
// streams it must leave to the general engine, with what the whole inflater then gives
// against that engine alone. Streams and outputs sit flush against an unreadable page.
#include "codecs/deflate/literal_inflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "codecs/deflate/deflate_huffman_code.h"
#include "codecs/deflate/deflate_literal_encoder.h"
#include "codecs/deflate/literal_decode_table.h"
#include "codecs/deflate/stream_inflater.h"
#include "tests/codecs/codec_test_support.h"
#include "tests/codecs/deflate_stream_writer.h"
#include "tests/support/guarded_buffer.h"

namespace quorvel {
namespace {

using Symbols = std::vector<uint32_t>;

// ---- The table against a bit-by-bit decoder ----

// Decodes one code from bit `at` of `bits` (stream bits, first lowest), reading at most
// `available` bits; false when no code ends within them.
struct CodeMap {
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> symbol_of;  // (length, code) -> symbol

  explicit CodeMap(const std::vector<uint8_t>& lengths) {
    const std::vector<uint32_t> codes = canonical_codes(lengths);
    for (uint32_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] != 0) symbol_of[{lengths[s], codes[s]}] = s;
    }
  }

  bool decode(uint32_t bits, uint32_t at, uint32_t available, LiteralCodeMatch* match) const {
    uint32_t code = 0;
    for (uint32_t length = 1; at + length <= available && length <= 15; ++length) {
      code = code << 1 | ((bits >> (at + length - 1)) & 1u);
      const auto found = symbol_of.find({length, code});
      if (found != symbol_of.end()) {
        *match = LiteralCodeMatch{found->second, length};
        return true;
      }
    }
    return false;
  }
};

void expect_table_matches(const std::vector<uint8_t>& lengths) {
  LiteralDecodeTable table;
  ASSERT_TRUE(table.build(lengths.data(), static_cast<uint32_t>(lengths.size())));
  const CodeMap map(lengths);
  for (uint32_t index = 0; index < (1u << kLiteralTableBits); ++index) {
    SCOPED_TRACE("index " + std::to_string(index));
    const uint64_t entry = table.entry(index);
    uint32_t at = 0;
    uint32_t count = 0;
    LiteralCodeMatch match{};
    while (count < kMostLiteralsPerEntry && map.decode(index, at, kLiteralTableBits, &match) &&
           match.symbol < 256) {
      EXPECT_EQ((LiteralDecodeTable::literals(entry) >> (8 * count)) & 0xFFu, match.symbol);
      at += match.length;
      ++count;
    }
    ASSERT_EQ(LiteralDecodeTable::literal_count(entry), count);
    if (count != 0) {
      EXPECT_EQ(LiteralDecodeTable::bit_count(entry), at);
      continue;
    }
    // No literal: the first code, whatever the bits after the index are.
    for (uint32_t after = 0; after < (1u << kLongCodeExtraBits); ++after) {
      const uint32_t bits = index | after << kLiteralTableBits;
      ASSERT_TRUE(map.decode(bits, 0, 15, &match));
      const LiteralCodeMatch got = table.first_code(entry, after);
      EXPECT_EQ(got.symbol, match.symbol) << "after " << after;
      EXPECT_EQ(got.length, match.length) << "after " << after;
    }
  }
}

std::vector<uint8_t> fixed_lengths() {
  std::vector<uint8_t> lengths(288);
  for (uint32_t s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  return lengths;
}

std::vector<uint8_t> lengths_for(const std::vector<uint32_t>& counts, uint32_t max_length) {
  std::vector<uint8_t> lengths(counts.size());
  build_code_lengths(counts.data(), static_cast<uint32_t>(counts.size()), max_length,
                     lengths.data());
  return lengths;
}

// Codes of every shape the table has to hold: the fixed code; one literal and end of block
// (1-bit codes, more than six per look-up); a 1-bit code among longer ones; skewed counts
// that run to 15 bits; counts that give length symbols codes too; and even lengths of 8 and 9
// bits.
TEST(LiteralDecodeTableTest, EntriesMatchABitByBitDecoder) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> codes = {{"fixed", fixed_lengths()}};
  std::vector<uint32_t> one_literal(257, 0);
  one_literal[7] = 1000;
  one_literal[256] = 1;
  codes.emplace_back("one literal and end of block", lengths_for(one_literal, 15));
  // A filtered camera frame: one value of 1 bit, a few of 2 to 6, so that the seventh code an
  // entry has no room for is of another length than the sixth.
  std::vector<uint32_t> one_frequent(257, 0);
  one_frequent[0] = 100000;
  for (uint32_t s = 1; s < 9; ++s) one_frequent[s] = 20000 >> s;
  one_frequent[255] = 3000;
  one_frequent[256] = 1;
  codes.emplace_back("one frequent literal among a few", lengths_for(one_frequent, 15));
  std::vector<uint32_t> fibonacci(257, 0);
  for (uint32_t s = 0, a = 1, b = 1; s < 40; ++s, a += b, std::swap(a, b)) fibonacci[s * 5] = a;
  fibonacci[256] = 1;
  codes.emplace_back("Fibonacci counts, cut to 15 bits", lengths_for(fibonacci, 15));
  std::mt19937 random(5);
  for (int round = 0; round < 4; ++round) {
    std::vector<uint32_t> counts(286);
    for (uint32_t& count : counts) {
      const auto draw = static_cast<uint32_t>(random());
      count = draw % 4 == 0 ? 0 : static_cast<uint32_t>(random()) % (1u << (draw >> 2) % 16);
    }
    counts[256] = 1;
    codes.emplace_back("random counts " + std::to_string(round), lengths_for(counts, 15));
  }
  std::vector<uint8_t> flat(257, 9);
  for (uint32_t s = 0; s < 255; ++s) flat[s] = 8;  // 255 of 8 bits, two of 9: complete
  codes.emplace_back("8 and 9 bits", flat);
  for (const auto& [name, lengths] : codes) {
    SCOPED_TRACE(name);
    expect_table_matches(lengths);
  }
}

TEST(LiteralDecodeTableTest, RefusesCodesThatAreNotComplete) {
  std::vector<uint8_t> complete(257, 0);
  complete[0] = 1;
  complete[256] = 1;
  std::vector<uint8_t> incomplete = complete;
  incomplete[256] = 2;
  std::vector<uint8_t> over_full = complete;
  over_full[1] = 1;
  std::vector<uint8_t> without_end_of_block = complete;
  without_end_of_block[256] = 0;
  without_end_of_block[1] = 1;
  const std::vector<uint8_t> empty(257, 0);
  LiteralDecodeTable table;
  EXPECT_TRUE(table.build(complete.data(), 257));
  EXPECT_FALSE(table.build(incomplete.data(), 257));
  EXPECT_FALSE(table.build(over_full.data(), 257));
  EXPECT_FALSE(table.build(without_end_of_block.data(), 257));
  EXPECT_FALSE(table.build(empty.data(), 257));
}

// ---- Whole streams ----

class LiteralInflaterTest : public testing::Test {
 protected:
  void SetUp() override {
    literal_ = LiteralInflater::create();
    inflater_ = StreamInflater::create();
    ASSERT_NE(literal_, nullptr);
    ASSERT_NE(inflater_, nullptr);
  }

  struct Result {
    LiteralInflateStatus status;
    Bytes bytes;  // the `produced` bytes, when complete
  };

  Result literal(const Bytes& stream, uint32_t capacity) {
    GuardedBuffer in(stream);
    GuardedBuffer out(capacity);
    const LiteralInflateResult result =
        literal_->inflate(in.data(), static_cast<uint32_t>(in.size()), out.data(), capacity);
    Bytes bytes;
    if (result.status == LiteralInflateStatus::kComplete) {
      bytes.assign(out.data(), out.data() + result.produced);
    } else {
      EXPECT_EQ(result.produced, 0u);
    }
    return Result{result.status, bytes};
  }

  // What a client sees of the stream (the status and the produced bytes) from the whole
  // inflater must be what the general engine alone gives, and for a stream the literal stage
  // takes also zlib's.
  void expect_as_today(const Bytes& stream, uint32_t capacity) {
    GuardedBuffer in(stream);
    const auto length = static_cast<uint32_t>(in.size());
    GuardedBuffer whole_out(capacity);
    const InflateOutcome whole = inflater_->inflate(in.data(), length, whole_out.data(), capacity);
    GuardedBuffer engine_out(capacity);
    const InflateOutcome engine =
        inflater_->inflate_with_engine(in.data(), length, engine_out.data(), capacity);
    z_stream record;
    Bytes zlib_out(capacity);
    const InflateOutcome zlib =
        inflate_zlib_stream(&record, in.data(), length, zlib_out.data(), capacity);
    EXPECT_EQ(whole.status, engine.status);
    ASSERT_EQ(whole.produced, engine.produced);
    EXPECT_EQ(Bytes(whole_out.data(), whole_out.data() + whole.produced),
              Bytes(engine_out.data(), engine_out.data() + engine.produced));
    if (literal(stream, capacity).status == LiteralInflateStatus::kComplete) {
      EXPECT_EQ(zlib.status, Z_STREAM_END);
      ASSERT_EQ(zlib.produced, whole.produced);
      EXPECT_EQ(
          Bytes(zlib_out.begin(), zlib_out.begin() + static_cast<std::ptrdiff_t>(zlib.produced)),
          Bytes(whole_out.data(), whole_out.data() + whole.produced));
    }
  }

  void expect_taken(const Bytes& stream, const Bytes& data, uint32_t capacity) {
    const Result result = literal(stream, capacity);
    EXPECT_EQ(result.status, LiteralInflateStatus::kComplete);
    EXPECT_TRUE(result.bytes == data) << "gave " << result.bytes.size() << " of " << data.size();
    expect_as_today(stream, capacity);
  }

  std::unique_ptr<LiteralInflater> literal_;
  std::unique_ptr<StreamInflater> inflater_;
};

Bytes our_stream(const Bytes& data) {
  const std::unique_ptr<DeflateLiteralEncoder> encoder = DeflateLiteralEncoder::create();
  const auto n = static_cast<uint32_t>(data.size());
  Bytes stream(static_cast<size_t>(DeflateLiteralEncoder::max_stream_bytes(n)) +
               DeflateLiteralEncoder::kSpareBytes);
  const DeflateStream written = encoder->encode(data.data(), n, stream.data(), stream.size());
  stream.resize(written.bytes);
  return stream;
}

Bytes mostly_small(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(n);
  for (uint8_t& byte : bytes) {
    const auto draw = static_cast<uint32_t>(random() % 1000);
    byte = static_cast<uint8_t>(draw < 700   ? 0
                                : draw < 990 ? (draw % 2 == 0 ? draw % 5 : 256 - draw % 5)
                                             : random());
  }
  return bytes;
}

Bytes noise(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(n);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

// Runs of one value each, sorted by length (Fibonacci counts): codes up to 15 bits.
Bytes long_codes() {
  Bytes bytes;
  for (uint32_t v = 0, a = 1, b = 1; v < 24; ++v, a += b, std::swap(a, b)) {
    bytes.insert(bytes.end(), a, static_cast<uint8_t>(v * 11));
  }
  return bytes;
}

// Every kind of data through our encoder (dynamic and stored blocks) and through zlib's
// Huffman-only mode (which also writes fixed blocks for short data) and its stored-only level
// 0; into an output of exactly the size and into a larger one.
TEST_F(LiteralInflaterTest, TakesWhatOurEncoderAndZlibWrite) {
  const std::vector<std::pair<std::string, Bytes>> sources = {
      {"one byte", Bytes{42}},
      {"short text", Bytes{'f', 'r', 'a', 'm', 'e', 's', ' ', 'o', 'f', ' ', 'Y', 'U', 'Y', '2'}},
      {"one value, 300 KB", Bytes(300000, 0x80)},
      {"small values, 700 KB", mostly_small(700000, 1)},
      {"noise, 200 KB", noise(200000, 2)},
      {"small values, noise, small values",
       [] {
         Bytes b = mostly_small(150000, 3);
         const Bytes n = noise(70000, 4);
         b.insert(b.end(), n.begin(), n.end());
         const Bytes m = mostly_small(999, 5);
         b.insert(b.end(), m.begin(), m.end());
         return b;
       }()},
      {"codes of up to 15 bits", long_codes()},
  };
  for (const auto& [name, data] : sources) {
    const std::vector<std::pair<std::string, Bytes>> streams = {
        {"ours", our_stream(data)},
        {"zlib Huffman-only", zlib_deflated(data, 1, Z_HUFFMAN_ONLY)},
        {"zlib stored", zlib_deflated(data, 0, Z_DEFAULT_STRATEGY)},
    };
    for (const auto& [producer, stream] : streams) {
      SCOPED_TRACE(name + ", " + producer);
      ASSERT_FALSE(stream.empty());
      const auto n = static_cast<uint32_t>(data.size());
      expect_taken(stream, data, n);
      expect_taken(stream, data, n + 100);
    }
  }
}

Bytes every_literal() {
  Bytes bytes(256);
  for (uint32_t v = 0; v < 256; ++v) bytes[v] = static_cast<uint8_t>(v);
  return bytes;
}

Symbols as_symbols(const Bytes& bytes) {
  return Symbols(bytes.begin(), bytes.end());
}

// Literal/length lengths for any block of literals: 0-253 of 8 bits; 254, 255, end of block
// and length symbol 257 of 9 bits. A complete code; the rest of the alphabet has none.
std::vector<uint8_t> flat_literal_lengths(uint32_t literal_count) {
  std::vector<uint8_t> lengths(literal_count, 0);
  for (uint32_t s = 0; s < 254; ++s) lengths[s] = 8;
  lengths[254] = lengths[255] = lengths[256] = lengths[257] = 9;
  return lengths;
}

struct HandStream {
  std::string name;
  Bytes stream;
  Bytes data;
};

// Streams no encoder of ours writes but any literal-only writer may: every block type,
// blocks that end inside a byte before a stored one, the distance codes zlib accepts for a
// literal-only block, other zlib headers, bytes after the trailer.
std::vector<HandStream> hand_written_streams() {
  std::vector<HandStream> streams;
  const Bytes text = {'Y', 'U', 'Y', '2', 0, 0, 0, 255, 254, 1};
  {
    DeflateStreamWriter w;
    w.zlib_header();
    w.block_header(true, 0);
    w.stored_body({});
    w.trailer({});
    streams.push_back({"one empty stored block", w.bytes(), {}});
  }
  {
    DeflateStreamWriter w;
    w.zlib_header();
    w.block_header(false, 1);
    w.fixed_body(as_symbols(every_literal()));
    w.block_header(false, 0);
    w.stored_body(text);
    w.block_header(false, 2);
    w.dynamic_body(flat_literal_lengths(258), {1, 1}, as_symbols(every_literal()));
    w.block_header(true, 1);
    w.fixed_body(as_symbols(text));
    Bytes data = every_literal();
    data.insert(data.end(), text.begin(), text.end());
    data.insert(data.end(), data.begin(), data.begin() + 256);
    data.insert(data.end(), text.begin(), text.end());
    w.trailer(data);
    streams.push_back({"fixed, stored, dynamic, fixed", w.bytes(), data});
  }
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> distance_codes = {
      {"one distance code of one bit", {1}},
      {"no distance code", {0}},
      {"30 distance codes, complete", std::vector<uint8_t>(30, 5)},
  };
  for (const auto& [name, distance] : distance_codes) {
    std::vector<uint8_t> d = distance;
    if (d.size() == 30) {
      d[0] = 4;  // two of 4 bits and 28 of 5: complete
      d[1] = 4;
    }
    DeflateStreamWriter w;
    w.zlib_header();
    w.block_header(true, 2);
    w.dynamic_body(flat_literal_lengths(286), d, as_symbols(text));
    w.trailer(text);
    streams.push_back({name, w.bytes(), text});
  }
  for (const auto& [cmf, flg] :
       std::vector<std::pair<uint8_t, uint8_t>>{{0x08, 0x1D}, {0x78, 0xDA}, {0x68, 0x81}}) {
    DeflateStreamWriter w;
    w.zlib_header(cmf, flg);
    w.block_header(true, 1);
    w.fixed_body(as_symbols(text));
    w.trailer(text);
    streams.push_back(
        {"header " + std::to_string(cmf) + " " + std::to_string(flg), w.bytes(), text});
  }
  {
    DeflateStreamWriter w;
    w.zlib_header();
    w.block_header(true, 1);
    w.fixed_body(as_symbols(text));
    w.trailer(text);
    for (int i = 0; i < 5; ++i) w.byte(0xEE);
    streams.push_back({"bytes after the trailer", w.bytes(), text});
  }
  return streams;
}

TEST_F(LiteralInflaterTest, TakesHandWrittenLiteralStreams) {
  for (const HandStream& hand : hand_written_streams()) {
    SCOPED_TRACE(hand.name);
    expect_taken(hand.stream, hand.data, static_cast<uint32_t>(hand.data.size()) + 3);
  }
}

// A dynamic block header with a code-length code of 13 codes of 4 bits (0-12) and 6 of 5
// bits (13-18), and the code-length symbols given.
Bytes dynamic_header_stream(uint32_t literal_count, uint32_t distance_count,
                            const std::vector<std::pair<uint32_t, uint32_t>>& length_symbols) {
  std::vector<uint8_t> code_length_lengths(19, 4);
  for (uint32_t s = 13; s < 19; ++s) code_length_lengths[s] = 5;
  DeflateStreamWriter w;
  w.zlib_header();
  w.block_header(true, 2);
  w.dynamic_header(literal_count, distance_count, code_length_lengths, length_symbols);
  w.code(0, 9);  // whatever the first code is
  w.trailer({});
  return w.bytes();
}

struct Refused {
  std::string name;
  Bytes stream;
  LiteralInflateStatus status;
};

std::vector<Refused> refused_streams() {
  const Bytes text = {'Y', 'U', 'Y', '2'};
  auto fixed_stream = [&](uint8_t cmf, uint8_t flg, const Symbols& symbols, const Bytes& data) {
    DeflateStreamWriter w;
    w.zlib_header(cmf, flg);
    w.block_header(true, 1);
    w.fixed_body(symbols);
    w.trailer(data);
    return w.bytes();
  };
  auto dynamic_stream = [&](const std::vector<uint8_t>& literal,
                            const std::vector<uint8_t>& distance, const Symbols& symbols) {
    DeflateStreamWriter w;
    w.zlib_header();
    w.block_header(true, 2);
    w.dynamic_body(literal, distance, symbols);
    w.trailer(text);
    return w.bytes();
  };
  const Symbols literals = as_symbols(text);
  std::vector<Refused> refused = {
      {"header check", fixed_stream(0x78, 0x02, literals, text), LiteralInflateStatus::kBadHeader},
      {"method 7", fixed_stream(0x77, 0x09, literals, text), LiteralInflateStatus::kBadHeader},
      {"64 KiB window", fixed_stream(0x88, 0x1C, literals, text), LiteralInflateStatus::kBadHeader},
      {"preset dictionary", fixed_stream(0x78, 0x20, literals, text),
       LiteralInflateStatus::kBadHeader},
      {"one byte", Bytes{0x78}, LiteralInflateStatus::kBadHeader},
      {"no bytes", Bytes{}, LiteralInflateStatus::kBadHeader},
      {"checksum", fixed_stream(0x78, 0x01, literals, Bytes{'y'}),
       LiteralInflateStatus::kChecksumMismatch},
      {"fixed symbol 286", fixed_stream(0x78, 0x01, {'Y', 286}, text),
       LiteralInflateStatus::kNotLiteral},
      {"dynamic length symbol", dynamic_stream(flat_literal_lengths(258), {1, 1}, {'Y', 257, 0}),
       LiteralInflateStatus::kNotLiteral},
  };
  {
    // Length 3 (symbol 257) at distance 4 (fixed distance code 3, 5 bits): "YUY" again.
    DeflateStreamWriter w;
    w.zlib_header();
    w.block_header(true, 1);
    for (uint8_t value : text) w.fixed_symbol(value);
    w.fixed_symbol(257);
    w.code(3, 5);
    w.fixed_symbol(256);
    w.trailer({'Y', 'U', 'Y', '2', 'Y', 'U', 'Y'});
    refused.push_back({"a match", w.bytes(), LiteralInflateStatus::kNotLiteral});
  }
  {
    DeflateStreamWriter w;
    w.zlib_header();
    w.block_header(true, 3);
    w.trailer({});
    refused.push_back({"block type 3", w.bytes(), LiteralInflateStatus::kBadBlock});
  }
  {
    DeflateStreamWriter w;
    w.zlib_header();
    w.block_header(true, 0);
    w.stored_body(text, 0xFFFF);
    w.trailer(text);
    refused.push_back({"stored NLEN", w.bytes(), LiteralInflateStatus::kBadBlock});
  }
  std::vector<uint8_t> incomplete = flat_literal_lengths(258);
  incomplete[257] = 0;
  std::vector<uint8_t> over_full = flat_literal_lengths(259);
  over_full[258] = 9;
  std::vector<uint8_t> no_end_of_block = flat_literal_lengths(259);
  no_end_of_block[256] = 0;
  no_end_of_block[258] = 9;
  refused.push_back({"literal code incomplete", dynamic_stream(incomplete, {1, 1}, literals),
                     LiteralInflateStatus::kBadBlock});
  refused.push_back({"literal code over-full", dynamic_stream(over_full, {1, 1}, literals),
                     LiteralInflateStatus::kBadBlock});
  refused.push_back({"no end of block", dynamic_stream(no_end_of_block, {1, 1}, literals),
                     LiteralInflateStatus::kBadBlock});
  refused.push_back({"two distance codes of two bits",
                     dynamic_stream(flat_literal_lengths(258), {2, 2}, literals),
                     LiteralInflateStatus::kBadBlock});
  refused.push_back({"one distance code of two bits",
                     dynamic_stream(flat_literal_lengths(258), {2}, literals),
                     LiteralInflateStatus::kBadBlock});
  refused.push_back({"distance code over-full",
                     dynamic_stream(flat_literal_lengths(258), {1, 1, 1}, literals),
                     LiteralInflateStatus::kBadBlock});
  refused.push_back({"287 literal/length codes",
                     dynamic_stream(flat_literal_lengths(287), {1, 1}, literals),
                     LiteralInflateStatus::kBadBlock});
  refused.push_back(
      {"31 distance codes",
       dynamic_stream(flat_literal_lengths(258), std::vector<uint8_t>(31, 0), literals),
       LiteralInflateStatus::kBadBlock});
  refused.push_back({"repeat with nothing before it", dynamic_header_stream(257, 1, {{16, 0}}),
                     LiteralInflateStatus::kBadBlock});
  refused.push_back({"zeros past the last length",
                     dynamic_header_stream(257, 1, {{18, 127}, {18, 127}, {18, 0}}),
                     LiteralInflateStatus::kBadBlock});
  {
    // Code-length code: all 19 of 5 bits is incomplete.
    DeflateStreamWriter w;
    w.zlib_header();
    w.block_header(true, 2);
    w.dynamic_header(257, 1, std::vector<uint8_t>(19, 5), {});
    w.trailer({});
    refused.push_back({"code-length code incomplete", w.bytes(), LiteralInflateStatus::kBadBlock});
  }
  return refused;
}

TEST_F(LiteralInflaterTest, LeavesEveryOtherStreamToTheEngine) {
  for (const Refused& refused : refused_streams()) {
    SCOPED_TRACE(refused.name);
    EXPECT_EQ(literal(refused.stream, 64).status, refused.status);
    expect_as_today(refused.stream, 64);
  }
}

// A stream of every block type, cut after every byte: never complete, always as today.
TEST_F(LiteralInflaterTest, TruncatedStreamsAreLeftToTheEngine) {
  const HandStream whole = hand_written_streams()[1];
  const auto capacity = static_cast<uint32_t>(whole.data.size());
  for (size_t cut = 0; cut < whole.stream.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const Bytes stream(whole.stream.begin(),
                       whole.stream.begin() + static_cast<std::ptrdiff_t>(cut));
    const LiteralInflateStatus status = literal(stream, capacity).status;
    EXPECT_EQ(status,
              cut < 2 ? LiteralInflateStatus::kBadHeader : LiteralInflateStatus::kTruncated);
    expect_as_today(stream, capacity);
  }
}

// Outputs one byte short of each stream, and none at all: left to the engine.
TEST_F(LiteralInflaterTest, OutputTooSmallIsLeftToTheEngine) {
  const Bytes data = mostly_small(200000, 9);
  for (const Bytes& stream : {our_stream(data), zlib_deflated(data, 1, Z_HUFFMAN_ONLY),
                              zlib_deflated(data, 0, Z_DEFAULT_STRATEGY)}) {
    for (uint32_t capacity : {static_cast<uint32_t>(data.size()) - 1, 1u, 0u}) {
      SCOPED_TRACE("capacity " + std::to_string(capacity));
      EXPECT_EQ(literal(stream, capacity).status, LiteralInflateStatus::kOverrun);
      expect_as_today(stream, capacity);
    }
  }
}

}  // namespace
}  // namespace quorvel
