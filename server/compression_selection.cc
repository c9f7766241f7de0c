#include "server/compression_selection.h"

#include "codecs/codec_factory.h"
#include "codecs/input_check.h"
#include "server/send_chunked.h"
#include "server/session.h"

namespace quorvel {

CompressionType select_compression(uint8_t mask) {
  if ((mask & kCompressionDeflate) != 0) return kCompressionDeflate;
  if ((mask & kCompressionFano) != 0) return kCompressionFano;
  if ((mask & kCompressionLzo) != 0) return kCompressionLzo;
  return kCompressionNone;
}

bool Session::handle_set_compression(const Request& request) {
  if (!QUORVEL_INPUT_OK(request.payload_length >= kSetCompressionPayloadMin)) return false;
  const CompressionType type = select_compression(read_compression_mask(payload_));
  if (type != kCompressionNone) {
    // No prefetched frame survives a change of codec, and the old codec goes before the
    // new one is made, also when both are of the same kind.
    drop_prefetched();
    codec_.reset();
    codec_ = make_codec(type);
    if (codec_ == nullptr) return false;  // without a codec the run cannot go on
  }
  uint8_t ack[kHeaderSize];
  write_header(ack, 1, kCompressionAck);
  return send_part(ack, kHeaderSize);
}

}  // namespace quorvel
