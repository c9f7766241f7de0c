#include "codecs/lzo_expand.h"

#include <cstring>

namespace quorvel {

namespace {

// How far a piecewise copy may run past its length: one 16-byte piece.
constexpr size_t kCopySlack = 16;

// The instruction set, by its first byte. Codes below 16 mean one of three things,
// depending on how many literals the instruction before copied (the state): none, a literal
// run; one to three, a 2-byte match close by; four or more, a 3-byte match 2 KiB back.
constexpr unsigned kFarMatch = 16;     // 0001HLLL: 16 KiB to 48 KiB back, or end of stream
constexpr unsigned kMiddleMatch = 32;  // 001LLLLL: up to 16 KiB back
constexpr unsigned kNearMatch = 64;    // 01LDDDSS and 1LLDDDSS: up to 2 KiB back
constexpr unsigned kLongRunState = 4;  // the state after a literal run of four or more
constexpr size_t kFarBase = 16384;
constexpr size_t kAfterRunBase = 2049;

// Through a register, so the 8 bytes may overlap: the later ones are garbage until the
// following piece overwrites them.
inline void copy_piece8(uint8_t* to, const uint8_t* from) {
  uint64_t piece;
  std::memcpy(&piece, from, sizeof piece);
  std::memcpy(to, &piece, sizeof piece);
}

class Expander {
 public:
  Expander(const uint8_t* in, size_t in_len, uint8_t* out, size_t out_capacity)
      : ip_(in), ip_end_(in + in_len), out_(out), op_(out), op_end_(out + out_capacity) {}

  bool run(size_t* out_len);

 private:
  size_t input_left() const { return static_cast<size_t>(ip_end_ - ip_); }
  size_t output_left() const { return static_cast<size_t>(op_end_ - op_); }

  bool read_long_length(size_t base, size_t* length);
  bool read_word(unsigned* word);
  bool read_length_and_word(unsigned field, size_t base, size_t* length, unsigned* word);
  bool copy_literals(size_t count);
  bool copy_match(size_t distance, size_t length);

  const uint8_t* ip_;
  const uint8_t* const ip_end_;
  uint8_t* const out_;
  uint8_t* op_;
  uint8_t* const op_end_;
};

// A length field of zero says the length goes on in the bytes that follow: 255 for each zero
// byte, then the first non-zero byte. A length that outgrows the output cannot be copied, so
// the count stops there (and keeps clear of overflow on any input).
bool Expander::read_long_length(size_t base, size_t* length) {
  const size_t most = output_left();
  size_t value = base;
  for (;;) {
    if (ip_ == ip_end_) return false;
    const uint8_t byte = *ip_++;
    if (byte != 0) {
      *length = value + byte;
      return true;
    }
    value += 255;
    if (value > most) return false;
  }
}

// The little-endian 16 bits after a middle or far match's length: distance, then two bits
// of trailing literal count.
bool Expander::read_word(unsigned* word) {
  if (input_left() < 2) return false;
  *word = ip_[0] | static_cast<unsigned>(ip_[1]) << 8;
  ip_ += 2;
  return true;
}

// A middle or far match's length (field, or its long form over base; plus 2), then its word.
bool Expander::read_length_and_word(unsigned field, size_t base, size_t* length, unsigned* word) {
  *length = field;
  if (field == 0 && !read_long_length(base, length)) return false;
  *length += 2;
  return read_word(word);
}

bool Expander::copy_literals(size_t count) {
  if (count > input_left() || count > output_left()) return false;
  if (input_left() >= count + kCopySlack && output_left() >= count + kCopySlack) {
    const uint8_t* from = ip_;
    uint8_t* to = op_;
    uint8_t* const end = op_ + count;
    do {
      std::memcpy(to, from, kCopySlack);
      to += kCopySlack;
      from += kCopySlack;
    } while (to < end);
  } else {
    std::memcpy(op_, ip_, count);
  }
  ip_ += count;
  op_ += count;
  return true;
}

// Copies length bytes from distance back, byte after byte in meaning: a distance shorter
// than the length repeats the bytes between.
bool Expander::copy_match(size_t distance, size_t length) {
  if (distance > static_cast<size_t>(op_ - out_) || length > output_left()) return false;
  const uint8_t* from = op_ - distance;
  uint8_t* to = op_;
  uint8_t* const end = op_ + length;
  op_ = end;
  if (distance == 1) {
    std::memset(to, *from, length);
    return true;
  }
  const bool room = static_cast<size_t>(op_end_ - end) >= kCopySlack;
  if (room && distance >= 16) {
    do {
      std::memcpy(to, from, 16);
      to += 16;
      from += 16;
    } while (to < end);
    return true;
  }
  if (room) {
    // Closer than 8 bytes: each 8-byte piece written at the distance doubles the stretch
    // of repeats behind it, until it is 8 bytes or more and pieces no longer overlap.
    while (to - from < 8) {
      copy_piece8(to, from);
      to += to - from;
    }
    while (to < end) {
      copy_piece8(to, from);
      to += 8;
      from += 8;
    }
    return true;
  }
  while (to < end) *to++ = *from++;
  return true;
}

bool Expander::run(size_t* out_len) {
  if (ip_ == ip_end_) return false;
  size_t state = 0;  // literals the last instruction copied, kLongRunState for four or more
  if (*ip_ > 17) {
    const size_t count = *ip_++ - 17u;
    if (!copy_literals(count)) return false;
    state = count < kLongRunState ? count : kLongRunState;
  }
  for (;;) {
    if (ip_ == ip_end_) return false;
    const unsigned code = *ip_++;
    size_t length = 0;
    size_t distance = 0;
    unsigned trailing = 0;
    if (code >= kNearMatch) {
      if (ip_ == ip_end_) return false;
      length = code >= 128 ? 5 + ((code >> 5) & 3) : 3 + ((code >> 5) & 1);
      distance = (static_cast<size_t>(*ip_++) << 3) + ((code >> 2) & 7) + 1;
      trailing = code & 3;
    } else if (code >= kMiddleMatch) {
      unsigned word = 0;
      if (!read_length_and_word(code & 31, 31, &length, &word)) return false;
      distance = (word >> 2) + 1;
      trailing = word & 3;
    } else if (code >= kFarMatch) {
      unsigned word = 0;
      if (!read_length_and_word(code & 7, 7, &length, &word)) return false;
      const size_t back = (static_cast<size_t>(code & 8) << 11) + (word >> 2);
      if (back == 0) {  // the end-of-stream marker, which must end the input
        *out_len = static_cast<size_t>(op_ - out_);
        return ip_ == ip_end_;
      }
      distance = kFarBase + back;
      trailing = word & 3;
    } else if (state == 0) {
      length = code;
      if (length == 0 && !read_long_length(15, &length)) return false;
      if (!copy_literals(length + 3)) return false;
      state = kLongRunState;
      continue;
    } else {
      if (ip_ == ip_end_) return false;
      const size_t back = (static_cast<size_t>(*ip_++) << 2) + (code >> 2);
      length = state == kLongRunState ? 3 : 2;
      distance = state == kLongRunState ? kAfterRunBase + back : 1 + back;
      trailing = code & 3;
    }
    if (!copy_match(distance, length)) return false;
    if (trailing != 0 && !copy_literals(trailing)) return false;
    state = trailing;
  }
}

}  // namespace

bool lzo1x_expand(const uint8_t* in, size_t in_len, uint8_t* out, size_t out_capacity,
                  size_t* out_len) {
  return Expander(in, in_len, out, out_capacity).run(out_len);
}

}  // namespace quorvel
