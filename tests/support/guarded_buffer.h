// GuardedBuffer: test memory whose last byte sits flush against a page that can be neither
// read nor written, so that any access one byte past the end faults at once (also without
// a sanitizer, and in the 32-bit Windows build under Wine).
#ifndef QUORVEL_TESTS_SUPPORT_GUARDED_BUFFER_H_
#define QUORVEL_TESTS_SUPPORT_GUARDED_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel {

class GuardedBuffer {
 public:
  // A buffer of `size` bytes (0 allowed: data() then points at the guard page itself),
  // holding zeros. Aborts the test program when the pages cannot be mapped.
  explicit GuardedBuffer(size_t size);
  // A buffer holding a copy of `bytes`.
  explicit GuardedBuffer(const std::vector<uint8_t>& bytes);
  GuardedBuffer(const uint8_t* bytes, size_t size);
  ~GuardedBuffer();

  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  std::vector<uint8_t> bytes() const { return std::vector<uint8_t>(data_, data_ + size_); }

 private:
  uint8_t* mapping_ = nullptr;  // start of the mapped pages, guard page last
  size_t mapping_size_ = 0;
  uint8_t* data_ = nullptr;  // mapping_ + (readable bytes - size_)
  size_t size_ = 0;
};

}  // namespace quorvel

#endif  // QUORVEL_TESTS_SUPPORT_GUARDED_BUFFER_H_
