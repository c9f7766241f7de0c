#include "codecs/vertical_delta.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "codecs/frame_codec.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// How the filter covers a frame. The columns are taken 16 at a time (column groups) over
// the column span R: row_bytes rounded up to a multiple of 16, at least 16. Each group is
// filtered down its rows; nothing outside the rows * pitch bytes of the frame is touched
// (bytes of a group past the end of the frame are skipped, one by one).
//
// When R is larger than pitch (a packed frame whose row_bytes is not a multiple of 16) the
// last group of each row spills into the first R - pitch bytes of the row below, which
// group 0 covers too. The forward direction takes the groups from right to left and the
// inverse from left to right, so the inverse undoes the groups in the reverse order of the
// forward filter and every such frame comes back exactly; where groups don't overlap the
// order makes no difference to the bytes.
//
// Choices for frames outside the usual shapes:
//  - row_bytes above pitch is taken as pitch: a row carries no more bytes than lie between
//    row starts (this also bounds the work by the frame's size).
//  - pitch below 16: a group would overlap itself in the row below, so every byte of the
//    frame instead becomes its difference from the byte one pitch above it.

namespace quorvel {
namespace {

constexpr int64_t kGroupBytes = 16;

struct DeltaShape {
  int64_t frame_bytes;  // 0: nothing to filter (rows or pitch not positive, or too large)
  int64_t rows;
  int64_t pitch;
  int64_t span;  // R
};

DeltaShape shape_of(int32_t row_bytes, int32_t rows, int32_t pitch) {
  DeltaShape shape{frame_bytes(rows, pitch), rows, pitch, kGroupBytes};
  const int64_t covered = std::min(row_bytes, pitch);
  if (covered > kGroupBytes) shape.span = (covered + kGroupBytes - 1) / kGroupBytes * kGroupBytes;
  return shape;
}

bool groups_overlap_own_rows(const DeltaShape& shape) {
  return shape.pitch < kGroupBytes;
}

uint8_t* at(uint8_t* buffer, int64_t offset) {
  return buffer + static_cast<std::ptrdiff_t>(offset);
}

// ---- Reference: one byte at a time, exactly the group walk described above. ----

void forward_group_bytes(uint8_t* buffer, const DeltaShape& shape, int64_t group_start) {
  uint8_t above[kGroupBytes] = {};
  for (int64_t row = 0; row < shape.rows; ++row) {
    for (int64_t k = 0; k < kGroupBytes; ++k) {
      const int64_t offset = row * shape.pitch + group_start + k;
      if (offset >= shape.frame_bytes) continue;
      uint8_t* byte = at(buffer, offset);
      const uint8_t current = *byte;
      *byte = static_cast<uint8_t>(current - above[k]);
      above[k] = current;
    }
  }
}

void inverse_group_bytes(uint8_t* buffer, const DeltaShape& shape, int64_t group_start) {
  uint8_t sum[kGroupBytes] = {};
  for (int64_t row = 0; row < shape.rows; ++row) {
    for (int64_t k = 0; k < kGroupBytes; ++k) {
      const int64_t offset = row * shape.pitch + group_start + k;
      if (offset >= shape.frame_bytes) continue;
      uint8_t* byte = at(buffer, offset);
      sum[k] = static_cast<uint8_t>(sum[k] + *byte);
      *byte = sum[k];
    }
  }
}

// Every byte from one pitch on minus the byte one pitch before it (as it was).
void forward_every_byte(uint8_t* buffer, const DeltaShape& shape) {
  for (int64_t offset = shape.frame_bytes - 1; offset >= shape.pitch; --offset) {
    uint8_t* byte = at(buffer, offset);
    *byte = static_cast<uint8_t>(*byte - *(byte - shape.pitch));
  }
}

void inverse_every_byte(uint8_t* buffer, const DeltaShape& shape) {
  for (int64_t offset = shape.pitch; offset < shape.frame_bytes; ++offset) {
    uint8_t* byte = at(buffer, offset);
    *byte = static_cast<uint8_t>(*byte + *(byte - shape.pitch));
  }
}

// ---- Fast path: whole rows at a time, 16 bytes per step. ----

// row -= above, and above takes the row's bytes as they were.
void subtract_row_keeping(uint8_t* row, uint8_t* above, int64_t width) {
  int64_t column = 0;
#if defined(__SSE2__)
  for (; column + kGroupBytes <= width; column += kGroupBytes) {
    auto* current = reinterpret_cast<__m128i*>(row + column);
    auto* up = reinterpret_cast<__m128i*>(above + column);
    const __m128i bytes = _mm_loadu_si128(current);
    _mm_storeu_si128(current, _mm_sub_epi8(bytes, _mm_load_si128(up)));
    _mm_store_si128(up, bytes);
  }
#endif
  for (; column < width; ++column) {
    const uint8_t current = row[column];
    row[column] = static_cast<uint8_t>(current - above[column]);
    above[column] = current;
  }
}

void add_row(uint8_t* row, const uint8_t* above, int64_t width) {
  int64_t column = 0;
#if defined(__SSE2__)
  for (; column + kGroupBytes <= width; column += kGroupBytes) {
    auto* current = reinterpret_cast<__m128i*>(row + column);
    const __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + column));
    _mm_storeu_si128(current, _mm_add_epi8(_mm_loadu_si128(current), up));
  }
#endif
  for (; column < width; ++column) {
    row[column] = static_cast<uint8_t>(row[column] + above[column]);
  }
}

// The first `width` columns of every row (width <= pitch, so no two rows share a byte),
// top row first, in strips of columns whose row above is kept in a small buffer: the frame
// is then read and written once, front to back, as a memcpy would.
constexpr int64_t kStripBytes = 4096;

void forward_rows(uint8_t* buffer, const DeltaShape& shape, int64_t width) {
  alignas(16) uint8_t above[kStripBytes];
  for (int64_t strip = 0; strip < width; strip += kStripBytes) {
    const int64_t strip_width = std::min(kStripBytes, width - strip);
    std::memcpy(above, at(buffer, strip), static_cast<size_t>(strip_width));
    for (int64_t row = 1; row < shape.rows; ++row) {
      subtract_row_keeping(at(buffer, row * shape.pitch + strip), above, strip_width);
    }
  }
}

void inverse_rows(uint8_t* buffer, const DeltaShape& shape, int64_t width) {
  for (int64_t row = 1; row < shape.rows; ++row) {
    uint8_t* current = at(buffer, row * shape.pitch);
    add_row(current, current - shape.pitch, width);
  }
}

// The last group of a frame whose rows it spills over: full 16-byte steps down the rows,
// the bottom row's part inside the frame byte by byte.
void forward_spilling_group(uint8_t* buffer, const DeltaShape& shape, int64_t group_start) {
#if defined(__SSE2__)
  __m128i above = _mm_setzero_si128();
  int64_t row = 0;
  for (; row < shape.rows - 1; ++row) {
    auto* group = reinterpret_cast<__m128i*>(at(buffer, row * shape.pitch + group_start));
    const __m128i current = _mm_loadu_si128(group);
    _mm_storeu_si128(group, _mm_sub_epi8(current, above));
    above = current;
  }
  alignas(16) uint8_t above_bytes[kGroupBytes];
  _mm_store_si128(reinterpret_cast<__m128i*>(above_bytes), above);
  uint8_t* bottom = at(buffer, row * shape.pitch + group_start);
  const int64_t inside =
      std::min(kGroupBytes, shape.frame_bytes - (row * shape.pitch + group_start));
  for (int64_t k = 0; k < inside; ++k) bottom[k] = static_cast<uint8_t>(bottom[k] - above_bytes[k]);
#else
  forward_group_bytes(buffer, shape, group_start);
#endif
}

void inverse_spilling_group(uint8_t* buffer, const DeltaShape& shape, int64_t group_start) {
#if defined(__SSE2__)
  __m128i sum = _mm_setzero_si128();
  int64_t row = 0;
  for (; row < shape.rows - 1; ++row) {
    auto* group = reinterpret_cast<__m128i*>(at(buffer, row * shape.pitch + group_start));
    sum = _mm_add_epi8(sum, _mm_loadu_si128(group));
    _mm_storeu_si128(group, sum);
  }
  alignas(16) uint8_t sum_bytes[kGroupBytes];
  _mm_store_si128(reinterpret_cast<__m128i*>(sum_bytes), sum);
  uint8_t* bottom = at(buffer, row * shape.pitch + group_start);
  const int64_t inside =
      std::min(kGroupBytes, shape.frame_bytes - (row * shape.pitch + group_start));
  for (int64_t k = 0; k < inside; ++k) bottom[k] = static_cast<uint8_t>(bottom[k] + sum_bytes[k]);
#else
  inverse_group_bytes(buffer, shape, group_start);
#endif
}

}  // namespace

void VerticalDelta::forward(uint8_t* buffer, int32_t row_bytes, int32_t rows, int32_t pitch) {
  const DeltaShape shape = shape_of(row_bytes, rows, pitch);
  if (shape.frame_bytes == 0) return;
  if (groups_overlap_own_rows(shape)) {
    forward_rows(buffer, shape, shape.pitch);
  } else if (shape.span <= shape.pitch) {
    forward_rows(buffer, shape, shape.span);
  } else {
    // The spilling group goes first; the groups left of it share no byte with each other,
    // so one row pass does them all.
    const int64_t last_group = shape.span - kGroupBytes;
    forward_spilling_group(buffer, shape, last_group);
    forward_rows(buffer, shape, last_group);
  }
}

void VerticalDelta::inverse(uint8_t* buffer, int32_t row_bytes, int32_t rows, int32_t pitch) {
  const DeltaShape shape = shape_of(row_bytes, rows, pitch);
  if (shape.frame_bytes == 0) return;
  if (groups_overlap_own_rows(shape)) {
    inverse_rows(buffer, shape, shape.pitch);
  } else if (shape.span <= shape.pitch) {
    inverse_rows(buffer, shape, shape.span);
  } else {
    const int64_t last_group = shape.span - kGroupBytes;
    inverse_rows(buffer, shape, last_group);
    inverse_spilling_group(buffer, shape, last_group);
  }
}

void VerticalDelta::forward_reference(uint8_t* buffer, int32_t row_bytes, int32_t rows,
                                      int32_t pitch) {
  const DeltaShape shape = shape_of(row_bytes, rows, pitch);
  if (shape.frame_bytes == 0) return;
  if (groups_overlap_own_rows(shape)) {
    forward_every_byte(buffer, shape);
    return;
  }
  for (int64_t group = shape.span - kGroupBytes; group >= 0; group -= kGroupBytes) {
    forward_group_bytes(buffer, shape, group);
  }
}

void VerticalDelta::inverse_reference(uint8_t* buffer, int32_t row_bytes, int32_t rows,
                                      int32_t pitch) {
  const DeltaShape shape = shape_of(row_bytes, rows, pitch);
  if (shape.frame_bytes == 0) return;
  if (groups_overlap_own_rows(shape)) {
    inverse_every_byte(buffer, shape);
    return;
  }
  for (int64_t group = 0; group < shape.span; group += kGroupBytes) {
    inverse_group_bytes(buffer, shape, group);
  }
}

}  // namespace quorvel
