// FuzzInput: the fuzz targets' view of one input. Parameters (frame shape, choices) are
// taken from the end of the input, so the bytes before them stay a payload or a frame
// that the fuzzer can grow and shrink freely; a missing parameter reads as zero.
#ifndef QUORVEL_FUZZ_FUZZ_INPUT_H_
#define QUORVEL_FUZZ_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>

namespace quorvel {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // Takes the last byte off the input.
  uint8_t take_byte() {
    if (size_ == 0) return 0;
    --size_;
    return data_[size_];
  }

  // Takes the last two bytes off the input, the last one as the low byte.
  uint16_t take_u16() {
    const uint16_t low = take_byte();
    return static_cast<uint16_t>(low | take_byte() << 8);
  }

  // What is left: the payload or frame.
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace quorvel

#endif  // QUORVEL_FUZZ_FUZZ_INPUT_H_
