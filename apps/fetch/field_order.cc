#include "apps/fetch/field_order.h"

namespace quorvel::client {

namespace {

constexpr int32_t kImageBitBottomFirst = 1;
constexpr int32_t kImageBitTopFirst = 2;

}  // namespace

bool parse_field_order(const std::string& text, FieldOrder* order) {
  if (text == "auto") {
    *order = FieldOrder::kAuto;
  } else if (text == "progressive") {
    *order = FieldOrder::kProgressive;
  } else if (text == "tff") {
    *order = FieldOrder::kTopFieldFirst;
  } else if (text == "bff") {
    *order = FieldOrder::kBottomFieldFirst;
  } else {
    return false;
  }
  return true;
}

FieldOrder field_order_of_image_type(int32_t image_type) {
  if ((image_type & kImageBitTopFirst) != 0) return FieldOrder::kTopFieldFirst;
  if ((image_type & kImageBitBottomFirst) != 0) return FieldOrder::kBottomFieldFirst;
  return FieldOrder::kProgressive;
}

FieldOrder resolve_field_order(FieldOrder requested, int32_t image_type) {
  return requested == FieldOrder::kAuto ? field_order_of_image_type(image_type) : requested;
}

char y4m_interlace_tag(FieldOrder order) {
  switch (order) {
    case FieldOrder::kTopFieldFirst:
      return 't';
    case FieldOrder::kBottomFieldFirst:
      return 'b';
    default:
      return 'p';
  }
}

}  // namespace quorvel::client
