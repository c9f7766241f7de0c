// The length of one read, write, send or receive of a longer transfer: at most 1 GiB, so that
// a 64-bit remainder fits a 32-bit build's size_t and what the call returns its ssize_t.
#ifndef QUORVEL_UTIL_IO_PIECE_H_
#define QUORVEL_UTIL_IO_PIECE_H_

#include <cstddef>
#include <cstdint>

namespace quorvel {

constexpr uint64_t kMaxIoPiece = uint64_t{1} << 30;

inline size_t io_piece(uint64_t remaining) {
  return static_cast<size_t>(remaining < kMaxIoPiece ? remaining : kMaxIoPiece);
}

}  // namespace quorvel

#endif  // QUORVEL_UTIL_IO_PIECE_H_
