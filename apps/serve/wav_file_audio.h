// WavFileAudio: a WAV file of 16-bit PCM (format 1, or WAVE_FORMAT_EXTENSIBLE with the
// PCM subformat) in 1 to 8 channels as the stand-in host's audio. The file is mapped and
// samples are copied straight from its data chunk; a data size of 0xFFFFFFFF (written by
// tools that stream to a pipe) means "to the end of the file".
#ifndef QUORVEL_APPS_SERVE_WAV_FILE_AUDIO_H_
#define QUORVEL_APPS_SERVE_WAV_FILE_AUDIO_H_

#include <memory>
#include <string>

#include "apps/serve/mapped_file.h"
#include "apps/serve/media_source.h"

namespace quorvel::serve {

constexpr int kMaxWavChannels = 8;

class WavFileAudio : public AudioSource {
 public:
  // Null (and *error) when the file is not 16-bit PCM WAV of 1 to 8 channels.
  static std::unique_ptr<WavFileAudio> open(const std::string& path, std::string* error);
  // The same from bytes in memory (how the fuzz target feeds the parser).
  // REQUIRES: the bytes outlive the source.
  static std::unique_ptr<WavFileAudio> from_bytes(const uint8_t* data, uint64_t size,
                                                  std::string* problem);

  const AudioFormat& format() const override { return format_; }
  void read(int64_t first, int64_t count, uint8_t* out) override;
  // The data chunk holds the samples as they are served: any range inside it is a view.
  const uint8_t* samples_at(int64_t first, int64_t count) const override;

 private:
  WavFileAudio() = default;
  bool parse(std::string* problem);
  bool parse_format_chunk(const uint8_t* chunk, uint64_t size, std::string* problem);

  MappedFile file_;
  const uint8_t* bytes_ = nullptr;  // the whole file: file_'s mapping or the caller's bytes
  uint64_t size_ = 0;
  AudioFormat format_;
  uint64_t data_offset_ = 0;
};

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_WAV_FILE_AUDIO_H_
