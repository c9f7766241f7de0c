// The client's --compression choice: the SetCompression mask it sends.
#ifndef QUORVEL_APPS_FETCH_COMPRESSION_CHOICE_H_
#define QUORVEL_APPS_FETCH_COMPRESSION_CHOICE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::client {

struct CompressionChoice {
  bool send = false;  // "none" sends no SetCompression: the stream stays uncompressed
  uint8_t mask = 0;
};

// "none", "lzo" (mask 1), "fano" (2), "deflate" (4), "auto" (3: the prefix code, else LZO,
// the fastest end to end). False (and *problem) for another word.
bool choose_compression(const std::string& name, CompressionChoice* choice, std::string* problem);

// The words choose_compression takes, in the codecs' order, then "auto".
std::vector<std::string> compression_choices();
// The same as prose: "none, lzo, fano, deflate or auto".
std::string compression_choices_text();

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_COMPRESSION_CHOICE_H_
