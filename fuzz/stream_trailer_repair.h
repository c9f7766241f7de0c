// A payload whose stream trailer is rewritten to fit its deflate data: the fuzzer's
// mutations almost never keep the Adler-32 right, and without it every decoder refuses the
// stream at its end, so nothing past the checksum test would be compared. The deflate data
// is read the way the build's inflater reads it first (libdeflate, or zlib).
#ifndef QUORVEL_FUZZ_STREAM_TRAILER_REPAIR_H_
#define QUORVEL_FUZZ_STREAM_TRAILER_REPAIR_H_

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/little_endian.h"

#if QUORVEL_INFLATE_WITH_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace quorvel {

struct RawDeflateRead {
  bool complete;
  size_t consumed;  // input bytes up to the byte that holds the final block's end
  std::vector<uint8_t> bytes;
};

inline RawDeflateRead read_raw_deflate(const uint8_t* data, size_t length, size_t capacity) {
  RawDeflateRead read{false, 0, std::vector<uint8_t>(capacity)};
  size_t produced = 0;
#if QUORVEL_INFLATE_WITH_LIBDEFLATE
  static libdeflate_decompressor* const decompressor = libdeflate_alloc_decompressor();
  read.complete =
      libdeflate_deflate_decompress_ex(decompressor, data, length, read.bytes.data(), capacity,
                                       &read.consumed, &produced) == LIBDEFLATE_SUCCESS;
#else
  z_stream record{};
  if (inflateInit2(&record, -15) != Z_OK) return read;
  record.next_in = const_cast<Bytef*>(data);  // zlib's input pointer is not const
  record.avail_in = static_cast<uInt>(length);
  record.next_out = read.bytes.data();
  record.avail_out = static_cast<uInt>(capacity);
  read.complete = inflate(&record, Z_FINISH) == Z_STREAM_END;
  read.consumed = record.total_in;
  produced = record.total_out;
  inflateEnd(&record);
#endif
  read.bytes.resize(produced);
  return read;
}

// The payload's two header bytes and its deflate data up to the end of the final block,
// then the Adler-32 of what that data decodes to, as the trailer and as the checksum copy.
// Empty when the data does not decode to at most capacity bytes.
inline std::vector<uint8_t> with_repaired_trailer(const std::vector<uint8_t>& payload,
                                                  size_t capacity) {
  if (payload.size() < 2) return {};
  const RawDeflateRead read = read_raw_deflate(payload.data() + 2, payload.size() - 2, capacity);
  if (!read.complete) return {};
  const auto adler = static_cast<uint32_t>(
      adler32(adler32(0, nullptr, 0), read.bytes.data(), static_cast<uInt>(read.bytes.size())));
  std::vector<uint8_t> repaired(payload.begin(),
                                payload.begin() + static_cast<std::ptrdiff_t>(2 + read.consumed));
  for (int shift = 24; shift >= 0; shift -= 8) {
    repaired.push_back(static_cast<uint8_t>(adler >> shift));  // the trailer, high byte first
  }
  repaired.resize(repaired.size() + 4);
  put_le32(repaired.data() + repaired.size() - 4, adler);
  return repaired;
}

}  // namespace quorvel

#endif  // QUORVEL_FUZZ_STREAM_TRAILER_REPAIR_H_
