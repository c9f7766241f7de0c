// The plain bit cursor against bytes worked out by hand.
#include "codecs/fano/bit_cursor.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvel {
namespace {

struct PutCase {
  const char* name;
  std::vector<std::pair<uint32_t, uint32_t>> fields;  // value, count
  std::vector<uint8_t> expected;
};

TEST(BitCursorTest, PutBitsFillsEachByteFromTheTopBitMsbFirst) {
  const std::vector<PutCase> cases = {
      {"one bit", {{1, 1}}, {0x80}},
      {"three fields inside a byte", {{1, 1}, {0, 1}, {0b101, 3}}, {0xA8}},
      {"field across a byte boundary", {{0b101, 3}, {0x1FF, 9}}, {0xBF, 0xF0}},
      {"32-bit field after 4 bits", {{0xA, 4}, {0x12345678, 32}}, {0xA1, 0x23, 0x45, 0x67, 0x80}},
      {"high bits above count ignored", {{0xFFFFFF01, 4}}, {0x10}},
      {"leaf a then leaf b", {{1, 1}, {0x61, 8}, {1, 1}, {0x62, 8}}, {0xB0, 0xD8, 0x80}},
  };
  for (const PutCase& c : cases) {
    std::vector<uint8_t> buffer(c.expected.size(), 0);
    BitCursor cursor = open_bit_cursor(buffer.data(), static_cast<uint32_t>(buffer.size()));
    for (const auto& field : c.fields) put_bits(&cursor, field.first, field.second);
    EXPECT_EQ(buffer, c.expected) << c.name;
    EXPECT_EQ(cursor.overrun_bits, 0u) << c.name;
  }
}

TEST(BitCursorTest, PutBitsClearsZeroBitsAndLeavesTheRestOfTheByte) {
  uint8_t buffer[2] = {0xFF, 0xFF};
  BitCursor cursor = open_bit_cursor(buffer, 2);
  put_bits(&cursor, 0b010, 3);
  EXPECT_EQ(buffer[0], 0x5F);  // 010 then the old 11111
  EXPECT_EQ(buffer[1], 0xFF);
  EXPECT_EQ(cursor.bit_index, 3u);
}

TEST(BitCursorTest, WriterStopsAtCapacityAndCountsTheDroppedBits) {
  uint8_t buffer[3] = {0, 0, 0x55};
  BitCursor cursor = open_bit_cursor(buffer, 2);
  put_bits(&cursor, 0xFFFFF, 20);
  EXPECT_EQ(buffer[0], 0xFF);
  EXPECT_EQ(buffer[1], 0xFF);
  EXPECT_EQ(buffer[2], 0x55);  // the byte past the capacity is untouched
  EXPECT_EQ(cursor.bytes_left, 0u);
  EXPECT_EQ(cursor.overrun_bits, 4u);
  put_bits(&cursor, 1, 1);
  EXPECT_EQ(cursor.overrun_bits, 5u);  // sticky: keeps counting
}

TEST(BitCursorTest, GetBitsReadsMsbFirstAcrossBytes) {
  const uint8_t bytes[] = {0xA1, 0x23, 0x45, 0x67, 0x80};
  BitCursor cursor = open_bit_reader(bytes, sizeof bytes);
  EXPECT_EQ(get_bits(&cursor, 1), 1u);
  EXPECT_EQ(get_bits(&cursor, 3), 0b010u);
  EXPECT_EQ(get_bits(&cursor, 32), 0x12345678u);
  EXPECT_EQ(get_bits(&cursor, 4), 0u);
  EXPECT_EQ(cursor.bytes_left, 0u);
  EXPECT_EQ(cursor.overrun_bits, 0u);
}

TEST(BitCursorTest, ReadsPastTheEndGiveZerosAndAreCounted) {
  const uint8_t bytes[] = {0xFF};
  BitCursor cursor = open_bit_reader(bytes, 1);
  EXPECT_EQ(get_bits(&cursor, 6), 0x3Fu);
  // Two real bits, then four implicit zeros: as if the payload were padded with 0x00.
  EXPECT_EQ(get_bits(&cursor, 6), 0x30u);
  EXPECT_EQ(cursor.overrun_bits, 4u);
  EXPECT_EQ(get_bits(&cursor, 32), 0u);
  EXPECT_EQ(cursor.overrun_bits, 36u);
}

TEST(BitCursorTest, EmptyBufferNeitherReadsNorWrites) {
  BitCursor reader = open_bit_reader(nullptr, 0);
  EXPECT_EQ(get_bits(&reader, 8), 0u);
  EXPECT_EQ(reader.overrun_bits, 8u);
  BitCursor writer = open_bit_cursor(nullptr, 0);
  put_bits(&writer, 0xFF, 8);
  EXPECT_EQ(writer.overrun_bits, 8u);
}

TEST(BitCursorTest, BitsEnteredCountsWholeBytesAndTheBitIndex) {
  uint8_t buffer[4] = {};
  BitCursor cursor = open_bit_cursor(buffer, 4);
  put_bits(&cursor, 0, 13);
  EXPECT_EQ(bits_entered(cursor, 4), 13u);
}

}  // namespace
}  // namespace quorvel
