// FanoAheadBytes: the destination's own bytes just past the multi-symbol decoder's output.
// The decoder stores 8 bytes per look-up and moves on by the values decoded only, so each
// store also writes up to 7 bytes beyond them. The next store covers those again; where
// decoding stops they would stay behind, yet the destination must keep its bytes past the
// decoded ones. This keeps them, group of look-ups by group, so that they can be put back.
#ifndef QUORVEL_CODECS_FANO_FANO_AHEAD_BYTES_H_
#define QUORVEL_CODECS_FANO_FANO_AHEAD_BYTES_H_

#include <cstdint>
#include <cstring>

namespace quorvel {

// kReach: the most bytes that the output moves on by between two calls.
template <uint32_t kReach>
class FanoAheadBytes {
 public:
  // The bytes an 8-byte store at out touches, and those of every out up to kReach further.
  static constexpr uint32_t kKeptBytes = 8 + kReach;

  // REQUIRES: the destination from out on is still its own, and holds kKeptBytes bytes.
  explicit FanoAheadBytes(const uint8_t* out) : start_(out) { std::memcpy(kept_, out, kKeptBytes); }

  // Called before the stores of a group of look-ups that begins at out, at most kReach bytes
  // past the previous call; the stores so far reach at most 7 bytes past out.
  // REQUIRES: the destination holds kKeptBytes bytes from out on.
  void move_to(const uint8_t* out) {
    // The 8 bytes from out on may already be overwritten and come from what was kept; the
    // bytes past them are still the destination's own.
    uint8_t first[8];
    std::memcpy(first, kept_ + (out - start_), sizeof first);
    std::memcpy(kept_, first, sizeof first);
    std::memcpy(kept_ + sizeof first, out + sizeof first, kReach);
    start_ = out;
  }

  // Puts back the destination's own bytes past out, where the output stops.
  // REQUIRES: out is at most kReach bytes past the last call, and nothing has been stored
  // more than 7 bytes past out.
  void put_back(uint8_t* out) const { std::memcpy(out, kept_ + (out - start_), 8); }

 private:
  const uint8_t* start_;
  uint8_t kept_[kKeptBytes];
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_AHEAD_BYTES_H_
