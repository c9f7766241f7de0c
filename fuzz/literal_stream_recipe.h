// The literal-only streams the deflate decode fuzzer builds from its input, so that the
// decoder's literal stage sees valid streams of every kind and near misses of them, not only
// the random bytes that it gives up at once. The payload region of the input ends in a
// recipe byte; the bytes before it are, from the end: the mutations' bytes, a stretch byte,
// then the data to compress.
//
// recipe bits 0-1, the writer: 0 our encoder; 1 zlib's Huffman-only mode (memory level 8,
// blocks of 16K symbols); 2 zlib's level 0 (stored blocks); 3 zlib's Huffman-only mode with
// memory level 1 (blocks of 128 symbols, many of them fixed or stored). Bit 2: the data
// stretched to fill the frame (each byte a run of stretch + 1), else taken as it is. Bits
// 3-5: the number of mutations, each 3 bytes: a 16-bit position in the stream (modulo its
// length) and an operation (low 2 bits: flip bit (op >> 2) & 7, set the byte to op, cut the
// stream there, or drop the byte).
#ifndef QUORVEL_FUZZ_LITERAL_STREAM_RECIPE_H_
#define QUORVEL_FUZZ_LITERAL_STREAM_RECIPE_H_

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/deflate/deflate_literal_encoder.h"
#include "fuzz/fuzz_input.h"

namespace quorvel {

struct LiteralStreamRecipe {
  std::vector<uint8_t> data;    // what the stream holds before any mutation
  std::vector<uint8_t> stream;  // the zlib stream, mutated
  bool mutated;
};

inline std::vector<uint8_t> our_literal_stream(const std::vector<uint8_t>& data) {
  static const std::unique_ptr<DeflateLiteralEncoder> encoder = DeflateLiteralEncoder::create();
  const auto n = static_cast<uint32_t>(data.size());
  std::vector<uint8_t> stream(static_cast<size_t>(DeflateLiteralEncoder::max_stream_bytes(n)) +
                              DeflateLiteralEncoder::kSpareBytes);
  static const uint8_t kNoBytes[1] = {};  // an empty vector's data() may be null
  const uint8_t* source = n == 0 ? kNoBytes : data.data();
  stream.resize(encoder->encode(source, n, stream.data(), stream.size()).bytes);
  return stream;
}

inline std::vector<uint8_t> zlib_literal_stream(const std::vector<uint8_t>& data, int level,
                                                int memory_level) {
  z_stream z{};
  const int strategy = level == 0 ? Z_DEFAULT_STRATEGY : Z_HUFFMAN_ONLY;
  if (deflateInit2(&z, level, Z_DEFLATED, 15, memory_level, strategy) != Z_OK) return {};
  std::vector<uint8_t> stream(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());  // zlib's input pointer is not const
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = stream.data();
  z.avail_out = static_cast<uInt>(stream.size());
  const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
  stream.resize(done ? z.total_out : 0);
  deflateEnd(&z);
  return stream;
}

inline void mutate(std::vector<uint8_t>* stream, FuzzInput* input) {
  const uint8_t op = input->take_byte();
  const uint16_t where = input->take_u16();
  if (stream->empty()) return;
  const size_t at = where % stream->size();
  switch (op & 3u) {
    case 0:
      (*stream)[at] = static_cast<uint8_t>((*stream)[at] ^ (1u << ((op >> 2) & 7u)));
      break;
    case 1:
      (*stream)[at] = op;
      break;
    case 2:
      stream->resize(at);
      break;
    default:
      stream->erase(stream->begin() + static_cast<std::ptrdiff_t>(at));
      break;
  }
}

// REQUIRES: frame_bytes <= 2^18, as the fuzz frame shapes give.
inline LiteralStreamRecipe make_literal_stream(FuzzInput input, size_t frame_bytes) {
  const uint8_t recipe = input.take_byte();
  const uint32_t mutations = (recipe >> 3) & 7u;
  const size_t mutation_length = std::min<size_t>(3 * mutations, input.size());
  FuzzInput mutation_bytes(input.data() + (input.size() - mutation_length), mutation_length);
  for (size_t i = 0; i < mutation_length; ++i) input.take_byte();
  const uint32_t stretch = input.take_byte() + 1u;

  LiteralStreamRecipe made{{}, {}, mutations != 0};
  if ((recipe & 4u) != 0 && input.size() != 0) {
    made.data.resize(frame_bytes);
    for (size_t i = 0; i < frame_bytes; ++i)
      made.data[i] = input.data()[(i / stretch) % input.size()];
  } else {
    made.data.assign(input.data(), input.data() + input.size());
  }
  switch (recipe & 3u) {
    case 0:
      made.stream = our_literal_stream(made.data);
      break;
    case 1:
      made.stream = zlib_literal_stream(made.data, 1, 8);
      break;
    case 2:
      made.stream = zlib_literal_stream(made.data, 0, 8);
      break;
    default:
      made.stream = zlib_literal_stream(made.data, 1, 1);
      break;
  }
  for (uint32_t i = 0; i < mutations; ++i) mutate(&made.stream, &mutation_bytes);
  return made;
}

}  // namespace quorvel

#endif  // QUORVEL_FUZZ_LITERAL_STREAM_RECIPE_H_
