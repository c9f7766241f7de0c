#include "codecs/block_pool.h"

#include <cstdlib>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEL_ASAN 1
#endif
#endif

#ifdef QUORVEL_ASAN
#include <sanitizer/asan_interface.h>
#define QUORVEL_POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define QUORVEL_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
#define QUORVEL_POISON(address, size) ((void)(address), (void)(size))
#define QUORVEL_UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace quorvel {

BlockPool::~BlockPool() {
  for (Block& spare : spares_) std::free(spare.data);
}

uint8_t* BlockPool::take(size_t size) {
  // The smallest spare that is large enough.
  Block* fit = nullptr;
  for (Block& spare : spares_) {
    if (spare.data != nullptr && spare.capacity >= size &&
        (fit == nullptr || spare.capacity < fit->capacity)) {
      fit = &spare;
    }
  }
  Block block;
  if (fit != nullptr) {
    block = *fit;
    *fit = Block();
  } else {
    const size_t headroom = size / 8;
    block.capacity = size <= SIZE_MAX - headroom ? size + headroom : size;
    block.data = static_cast<uint8_t*>(std::malloc(block.capacity));
    if (block.data == nullptr) return nullptr;
  }
  // Remember it for give_back, in place of the oldest record if both are taken (a block
  // its holder freed itself leaves a record that is never claimed, and malloc may hand its
  // address out again: such a stale record goes).
  if (out_[1].data == block.data) out_[1] = Block();
  if (out_[0].data != block.data) out_[1] = out_[0];
  out_[0] = block;
  QUORVEL_POISON(block.data + size, block.capacity - size);
  return block.data;
}

void BlockPool::give_back(uint8_t* data) {
  if (data == nullptr) return;
  Block block;
  for (Block& out : out_) {
    if (out.data == data) {
      block = out;
      out = Block();
      break;
    }
  }
  if (block.data == nullptr) {  // not one of ours, or its record is gone: nothing to keep
    std::free(data);
    return;
  }
  QUORVEL_UNPOISON(block.data, block.capacity);
  // Keep the two largest of the spares and this block.
  Block* smallest = &spares_[0];
  for (Block& spare : spares_) {
    if (spare.data == nullptr) {
      spare = block;
      return;
    }
    if (spare.capacity < smallest->capacity) smallest = &spare;
  }
  if (smallest->capacity < block.capacity) std::swap(*smallest, block);
  std::free(block.data);
}

}  // namespace quorvel
