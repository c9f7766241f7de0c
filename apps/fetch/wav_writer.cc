#include "apps/fetch/wav_writer.h"

#include <cstring>

#include "apps/common/speaker_layout.h"
#include "util/little_endian.h"

namespace quorvel::client {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint16_t kBitsPerSample = 16;
// KSDATAFORMAT_SUBTYPE_PCM as stored: 00000001-0000-0010-8000-00aa00389b71.
constexpr uint8_t kPcmSubformat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

void put_le16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}

void put_tag(uint8_t* out, const char* tag) {
  std::memcpy(out, tag, 4);
}

}  // namespace

bool wav_header(int channels, int32_t sample_rate, uint64_t samples, std::vector<uint8_t>* header) {
  const bool extensible = channels > 2;
  const uint32_t fmt_size = extensible ? 40 : 16;
  const uint32_t header_size = 12 + 8 + fmt_size + 8;
  const uint16_t block_align = static_cast<uint16_t>(channels * 2);
  const uint64_t data_size = samples * block_align;
  if (samples > UINT32_MAX || data_size > UINT32_MAX - header_size) return false;

  header->assign(header_size, 0);
  uint8_t* out = header->data();
  put_tag(out, "RIFF");
  put_le32(out + 4, static_cast<uint32_t>(header_size - 8 + data_size));
  put_tag(out + 8, "WAVE");
  put_tag(out + 12, "fmt ");
  put_le32(out + 16, fmt_size);
  put_le16(out + 20, extensible ? kFormatExtensible : kFormatPcm);
  put_le16(out + 22, static_cast<uint16_t>(channels));
  put_le32(out + 24, static_cast<uint32_t>(sample_rate));
  put_le32(out + 28, static_cast<uint32_t>(sample_rate) * block_align);
  put_le16(out + 32, block_align);
  put_le16(out + 34, kBitsPerSample);
  uint8_t* data_chunk = out + 36;
  if (extensible) {
    put_le16(out + 36, 22);              // cbSize: the extension's bytes
    put_le16(out + 38, kBitsPerSample);  // valid bits per sample
    put_le32(out + 40, apps::usual_speaker_mask(channels));
    std::memcpy(out + 44, kPcmSubformat, sizeof kPcmSubformat);
    data_chunk = out + 60;
  }
  put_tag(data_chunk, "data");
  put_le32(data_chunk + 4, static_cast<uint32_t>(data_size));
  return true;
}

}  // namespace quorvel::client
