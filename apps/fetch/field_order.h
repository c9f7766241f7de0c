// FieldOrder: how the client labels the fields of the video it writes, from the stream's
// image_type or the user's --field-order, and the Y4M interlace tag for it (never `Im`,
// which ffmpeg refuses).
#ifndef QUORVEL_APPS_FETCH_FIELD_ORDER_H_
#define QUORVEL_APPS_FETCH_FIELD_ORDER_H_

#include <cstdint>
#include <string>

namespace quorvel::client {

enum class FieldOrder { kAuto, kProgressive, kTopFieldFirst, kBottomFieldFirst };

// "auto", "progressive", "tff", "bff"; false for any other text.
bool parse_field_order(const std::string& text, FieldOrder* order);

// The stream's image_type as a field order: bit value 2 top field first, else bit value 1
// bottom field first, else progressive (0 progressive, 5 bottom first, 6 top first).
FieldOrder field_order_of_image_type(int32_t image_type);

// The user's choice, or the stream's when the choice is kAuto.
FieldOrder resolve_field_order(FieldOrder requested, int32_t image_type);

// 'p', 't' or 'b'. REQUIRES: a resolved order (not kAuto).
char y4m_interlace_tag(FieldOrder order);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_FIELD_ORDER_H_
