// What the literal-only encoder and decoder use of the zlib (RFC 1950) and deflate (RFC 1951)
// formats: the stream header, the block types, the alphabets and their limits, and how the
// encoder cuts a frame into blocks. Deflate packs its fields least significant bit first; Huffman
// codes go out from their most significant bit, so they are stored reversed.
#ifndef QUORVEL_CODECS_DEFLATE_DEFLATE_FORMAT_H_
#define QUORVEL_CODECS_DEFLATE_DEFLATE_FORMAT_H_

#include <cstdint>

namespace quorvel {

// zlib header: CM 8 (deflate) with a 32 KiB window, no dictionary, level "fastest";
// 0x7801 is a multiple of 31, as the header check asks.
constexpr uint8_t kZlibHeaderCmf = 0x78;
constexpr uint8_t kZlibHeaderFlg = 0x01;
constexpr uint32_t kZlibHeaderBytes = 2;
constexpr uint32_t kZlibTrailerBytes = 4;  // Adler-32, most significant byte first

// What a zlib header may say for the inflater of a 32 KiB window to take it: CMF's low
// nibble is the method, its high nibble the window (2^(CINFO + 8) bytes); FLG's bit 5 asks
// for a preset dictionary; the two bytes as a big-endian number are a multiple of 31.
constexpr uint32_t kZlibMethodDeflate = 8;
constexpr uint32_t kZlibLargestWindowInfo = 7;
constexpr uint32_t kZlibPresetDictionaryFlag = 0x20;
constexpr uint32_t kZlibHeaderCheckDivisor = 31;

// Block header: BFINAL (1 bit), then BTYPE (2 bits).
constexpr uint32_t kBlockTypeStored = 0;
constexpr uint32_t kBlockTypeFixed = 1;
constexpr uint32_t kBlockTypeDynamic = 2;
constexpr uint32_t kBlockHeaderBits = 3;

// A stored block: after its 3 header bits, zero bits to the next byte boundary, LEN and
// NLEN (16 bits each, NLEN = ~LEN), then LEN bytes as they are.
constexpr uint32_t kStoredBlockMaxBytes = 65535;
constexpr uint32_t kStoredLengthBytes = 4;  // LEN and NLEN

// Dynamic block alphabets. Literal/length: 0-255 literals, 256 end of block (the length
// codes 257-285 are never used, so HLIT is always 0). Distance: no match is ever written,
// but the header needs at least one distance code; two of length 1 form a complete code.
constexpr uint32_t kEndOfBlock = 256;
constexpr uint32_t kLiteralAlphabetSize = 257;
constexpr uint32_t kDistanceCodesWritten = 2;
constexpr uint32_t kMaxCodeLength = 15;

// A dynamic block's header: HLIT (5 bits, literal/length codes - 257), HDIST (5 bits,
// distance codes - 1), HCLEN (4 bits, code-length code lengths sent - 4). The alphabets
// hold 286 and 30 real symbols; zlib refuses a header that counts more (libdeflate does
// not), so a stream that does is no literal-only stream to the fast decoder.
constexpr uint32_t kHlitBits = 5;
constexpr uint32_t kHdistBits = 5;
constexpr uint32_t kHclenBits = 4;
constexpr uint32_t kCodeLengthLengthBits = 3;  // each code-length code length
constexpr uint32_t kMinLiteralLengthCodes = 257;
constexpr uint32_t kMaxLiteralLengthCodes = 286;
constexpr uint32_t kMaxDistanceCodes = 30;
constexpr uint32_t kMinCodeLengthCodesSent = 4;

// A fixed block's literal/length code (RFC 1951 section 3.2.6): 0-143 8 bits, 144-255 9,
// 256-279 7, 280-287 8.
constexpr uint32_t kFixedLiteralLengthCodes = 288;

// The code-length alphabet: 0-15 are lengths, 16 repeats the previous length 3-6 times (2
// extra bits), 17 writes 3-10 zeros (3 extra bits), 18 writes 11-138 zeros (7 extra bits).
// Its own code lengths are at most 7 and go out 3 bits each, in kCodeLengthOrder.
constexpr uint32_t kCodeLengthAlphabetSize = 19;
constexpr uint32_t kMaxCodeLengthCodeLength = 7;
constexpr uint32_t kCodeLengthRepeatPrevious = 16;
constexpr uint32_t kCodeLengthZeros3To10 = 17;
constexpr uint32_t kCodeLengthZeros11To138 = 18;
constexpr uint8_t kCodeLengthOrder[kCodeLengthAlphabetSize] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

// The encoder counts the frame in chunks of kLiteralChunkBytes (the last one shorter) and
// joins neighbouring chunks into one block, with one Huffman code, while the entropy
// estimate says that one code for both costs less than a second block's header; a block
// holds at most kLiteralBlockMaxBytes, and goes out stored where that is smaller. A chunk is
// a third of a stored block, so a full block that goes out stored fills exactly two.
// Measured on the benchmark frames (docs/benchmarks.md): 0.9964-0.9995x the size of zlib's
// Huffman-only stream, where fixed blocks of 65,535 bytes gave up to 1.0056x, of 131,070
// bytes up to 1.0089x.
constexpr uint32_t kLiteralChunkBytes = kStoredBlockMaxBytes / 3;
constexpr uint32_t kLiteralBlockMaxBytes = 2 * kStoredBlockMaxBytes;
static_assert(kLiteralBlockMaxBytes % kLiteralChunkBytes == 0, "a block is whole chunks");

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_DEFLATE_FORMAT_H_
