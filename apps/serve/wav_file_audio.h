// WavFileAudio: a WAV file of 16-bit PCM (format 1, or WAVE_FORMAT_EXTENSIBLE with the
// PCM subformat) in 1 to 8 channels as the stand-in host's audio. Samples are read from its
// data chunk as they are asked for; a data size of 0xFFFFFFFF (written by tools that stream
// to a pipe) means "to the end of the file", and a larger size than the file holds is cut
// to what it holds.
#ifndef QUORVEL_APPS_SERVE_WAV_FILE_AUDIO_H_
#define QUORVEL_APPS_SERVE_WAV_FILE_AUDIO_H_

#include <memory>
#include <string>

#include "apps/serve/input_file.h"
#include "apps/serve/media_source.h"

namespace quorvel::serve {

class WavFileAudio : public AudioSource {
 public:
  // Null (and *error) when the file is not 16-bit PCM WAV of 1 to 8 channels.
  static std::unique_ptr<WavFileAudio> open(const std::string& path, std::string* error);
  // The same from bytes in memory (how the fuzz target feeds the parser).
  // REQUIRES: the bytes outlive the source.
  static std::unique_ptr<WavFileAudio> from_bytes(const uint8_t* data, uint64_t size,
                                                  std::string* problem);

  const AudioFormat& format() const override { return format_; }
  // False (and *problem: the file was cut, and where) when the file no longer holds them.
  bool read(int64_t first, int64_t count, uint8_t* out, std::string* problem) override;
  // WAVE_FORMAT_EXTENSIBLE's speaker positions (dwChannelMask); 0 for a plain PCM header.
  uint32_t channel_mask() const { return channel_mask_; }
  // How many bytes the data chunk claims past the end of the file (not served).
  uint64_t missing_data_bytes() const { return missing_data_bytes_; }

 private:
  WavFileAudio() = default;
  bool parse(std::string* problem);
  bool parse_format_chunk(const uint8_t* chunk, uint64_t size, std::string* problem);

  InputFile file_;
  AudioFormat format_;
  uint64_t data_offset_ = 0;
  uint32_t channel_mask_ = 0;
  uint64_t missing_data_bytes_ = 0;
};

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_WAV_FILE_AUDIO_H_
