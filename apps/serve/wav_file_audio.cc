#include "apps/serve/wav_file_audio.h"

#include <algorithm>
#include <cstring>

#include "util/little_endian.h"
#include "wire/protocol.h"

namespace quorvel::serve {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kStreamedSize = 0xFFFFFFFFu;
constexpr uint64_t kChunkHeaderSize = 8;
// The fmt chunk's fields that are read: WAVEFORMATEXTENSIBLE's 40 bytes.
constexpr uint64_t kFormatFieldsRead = 40;

uint16_t get_le16(const uint8_t* in) {
  return static_cast<uint16_t>(in[0] | in[1] << 8);
}

bool is_tag(const uint8_t* at, const char* tag) {
  return std::memcmp(at, tag, 4) == 0;
}

}  // namespace

std::unique_ptr<WavFileAudio> WavFileAudio::open(const std::string& path, std::string* error) {
  std::unique_ptr<WavFileAudio> audio(new WavFileAudio());
  if (!audio->file_.open(path, error)) return nullptr;
  std::string problem;
  if (!audio->parse(&problem)) {
    *error = path + ": " + problem;
    return nullptr;
  }
  return audio;
}

std::unique_ptr<WavFileAudio> WavFileAudio::from_bytes(const uint8_t* data, uint64_t size,
                                                       std::string* problem) {
  std::unique_ptr<WavFileAudio> audio(new WavFileAudio());
  audio->file_.use_bytes(data, size);
  if (!audio->parse(problem)) return nullptr;
  return audio;
}

bool WavFileAudio::parse_format_chunk(const uint8_t* chunk, uint64_t size, std::string* problem) {
  if (size < 16) {
    *problem = "fmt chunk too short";
    return false;
  }
  uint16_t tag = get_le16(chunk);
  const int channels = get_le16(chunk + 2);
  const uint32_t rate = get_le32(chunk + 4);
  const uint16_t block_align = get_le16(chunk + 12);
  const uint16_t bits = get_le16(chunk + 14);
  if (tag == kFormatExtensible && size >= 40) {
    channel_mask_ = get_le32(chunk + 20);
    tag = get_le16(chunk + 24);  // the subformat's first bytes
  }
  if (tag != kFormatPcm || bits != 16) {
    *problem = "not 16-bit PCM";
    return false;
  }
  if (channels < 1 || channels > kMaxAudioChannels) {
    *problem = std::to_string(channels) + " channels (1 to " + std::to_string(kMaxAudioChannels) +
               " are served)";
    return false;
  }
  if (block_align != channels * 2) {
    *problem = "block align " + std::to_string(block_align) + " where " + std::to_string(channels) +
               " channels of 16-bit samples need " + std::to_string(channels * 2);
    return false;
  }
  if (rate == 0 || rate > INT32_MAX) {
    *problem = "bad sample rate " + std::to_string(rate);
    return false;
  }
  format_.rate = static_cast<int32_t>(rate);
  format_.channels = channels;
  return true;
}

bool WavFileAudio::parse(std::string* problem) {
  const uint64_t size = file_.size();
  uint8_t riff[12];
  if (!file_.read(0, sizeof riff, riff) || !is_tag(riff, "RIFF") || !is_tag(riff + 8, "WAVE")) {
    *problem = "not a WAV file";
    return false;
  }
  bool have_format = false;
  // offset never passes size: every step is checked against the bytes that are left.
  for (uint64_t offset = sizeof riff; size - offset >= kChunkHeaderSize;) {
    uint8_t chunk[kChunkHeaderSize];
    if (!file_.read(offset, kChunkHeaderSize, chunk)) break;
    const uint64_t available = size - offset - kChunkHeaderSize;
    uint64_t chunk_size = get_le32(chunk + 4);
    if (is_tag(chunk, "data")) {
      if (!have_format) break;
      if (chunk_size != kStreamedSize && chunk_size > available)
        missing_data_bytes_ = chunk_size - available;
      if (chunk_size == kStreamedSize || chunk_size > available) chunk_size = available;
      const uint64_t samples = chunk_size / static_cast<uint64_t>(format_.channels * 2);
      format_.samples = static_cast<uint32_t>(std::min<uint64_t>(samples, UINT32_MAX));
      data_offset_ = offset + kChunkHeaderSize;
      return true;
    }
    if (chunk_size > available) break;
    if (is_tag(chunk, "fmt ")) {
      uint8_t fields[kFormatFieldsRead] = {};
      const uint64_t length = std::min(chunk_size, kFormatFieldsRead);
      if (!file_.read(offset + kChunkHeaderSize, length, fields)) {
        *problem = "cannot read the fmt chunk";
        return false;
      }
      if (!parse_format_chunk(fields, chunk_size, problem)) return false;
      have_format = true;
    }
    // Chunks are padded to even sizes, but the pad byte of a last chunk may be missing.
    const uint64_t padded = chunk_size + (chunk_size & 1);
    offset += kChunkHeaderSize + std::min(padded, available);
  }
  *problem = have_format ? "no data chunk" : "no fmt chunk before the data";
  return false;
}

bool WavFileAudio::read(int64_t first, int64_t count, uint8_t* out, std::string* problem) {
  const int64_t block = format_.channels * 2;
  const int64_t total = format_.samples;
  std::memset(out, 0, static_cast<size_t>(count * block));
  const int64_t begin = std::max<int64_t>(first, 0);
  const int64_t end = std::min<int64_t>(first + count, total);
  if (begin >= end) return true;
  const uint64_t offset = data_offset_ + static_cast<uint64_t>(begin * block);
  const auto length = static_cast<uint64_t>((end - begin) * block);
  if (file_.read(offset, length, out + (begin - first) * block)) return true;
  if (problem != nullptr) {
    *problem = file_.path() + " was cut to " + std::to_string(file_.current_size()) +
               " bytes while served (samples " + std::to_string(begin) + " to " +
               std::to_string(end - 1) + " need " + std::to_string(offset + length) + ")";
  }
  return false;
}

}  // namespace quorvel::serve
