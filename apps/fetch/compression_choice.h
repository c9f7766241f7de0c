// The client's --compression choice: the SetCompression mask it sends, limited to the
// codecs this build can decode, so the server never picks one the client cannot read.
#ifndef QUORVEL_APPS_FETCH_COMPRESSION_CHOICE_H_
#define QUORVEL_APPS_FETCH_COMPRESSION_CHOICE_H_

#include <cstdint>
#include <string>

namespace quorvel::client {

struct CompressionChoice {
  bool send = false;  // "none" sends no SetCompression: the stream stays uncompressed
  uint8_t mask = 0;
};

// True when this build can decode frames of the given CompressionType.
bool can_decode(int32_t compression);

// "none", "lzo" (mask 1), "fano" (2), "deflate" (4), "auto" (every decodable codec, 7 with
// all three; the server answers with the best it has). False (and *problem) for another
// word, or for a codec this build lacks.
bool choose_compression(const std::string& name, CompressionChoice* choice, std::string* problem);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_COMPRESSION_CHOICE_H_
