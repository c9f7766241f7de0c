// GuardedBuffer: a block that ends flush against a no-access page, so any read or write past
// its end faults at once instead of going unnoticed. The harness hands frames and audio to
// the plug-in in these, as the host's own buffers would be.
#ifndef QUORVEL_WINDOWS_HARNESS_GUARDED_BUFFER_H_
#define QUORVEL_WINDOWS_HARNESS_GUARDED_BUFFER_H_

#include <cstddef>
#include <cstdint>

namespace harness {

class GuardedBuffer {
 public:
  GuardedBuffer() = default;
  ~GuardedBuffer() { release(); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  // Makes room for size bytes (size 0 gives a pointer to the guard itself); old contents are
  // lost. Returns null when the memory cannot be had.
  uint8_t* resize(size_t size);
  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  void release();

  void* base_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_GUARDED_BUFFER_H_
