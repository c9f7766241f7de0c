// BlockPool: the blocks a codec hands out as output_buffer, kept for the next frame instead
// of freed. A block given back is kept (up to two, the largest so far) and handed out again
// when it is large enough, so a run of frames costs no heap traffic per frame; under Wine a
// fresh block of a few megabytes costs milliseconds. Blocks are ordinary malloc blocks: a
// holder that frees one itself instead of giving it back is fine too.
//
// Under AddressSanitizer the bytes past the size asked for are poisoned while a block is out,
// so an overrun of the payload is caught as it is with an exact-size block.
#ifndef QUORVEL_CODECS_BLOCK_POOL_H_
#define QUORVEL_CODECS_BLOCK_POOL_H_

#include <cstddef>
#include <cstdint>

namespace quorvel {

class BlockPool {
 public:
  BlockPool() = default;
  ~BlockPool();  // frees the spare blocks; blocks that are out belong to their holder
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;

  // A block of at least size bytes: a spare one that is large enough, or a fresh one with an
  // eighth to spare (so frames that grow a little do not each need a new block). Null when
  // it cannot be allocated. REQUIRES: size > 0.
  uint8_t* take(size_t size);
  // Keeps a block that take() handed out for the next take(); null is ignored.
  void give_back(uint8_t* block);

 private:
  struct Block {
    uint8_t* data = nullptr;
    size_t capacity = 0;
  };
  static constexpr int kSpares = 2;

  Block spares_[kSpares];
  Block out_[kSpares];  // the blocks handed out, so that give_back knows their capacity
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_BLOCK_POOL_H_
