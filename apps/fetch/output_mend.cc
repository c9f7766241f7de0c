#include "apps/fetch/output_mend.h"

#include <vector>

#include "apps/fetch/wav_writer.h"

namespace quorvel::client {

namespace {

bool failed(const OutputFile& output, const char* what, std::string* error) {
  *error = std::string("cannot ") + what + " " + output.name() + ": " + output.last_error();
  return false;
}

}  // namespace

bool mend_video(OutputFile* video, const VideoWritten& written, std::string* error) {
  const bool y4m = !written.header.empty();
  if (!video->is_regular_file() || written.frames >= written.format.frame_count) return true;
  uint64_t record = written.frame_bytes;
  if (y4m) {
    // The new count has no more digits than the old, so the header keeps its length.
    Y4mStreamFormat held = written.format;
    held.frame_count = static_cast<int32_t>(written.frames);
    std::string header = y4m_stream_header(held);
    header.insert(header.size() - 1, written.header.size() - header.size(), ' ');
    if (video->write_at(0, header.data(), header.size()) != WriteResult::kOk)
      return failed(*video, "correct the frame count of", error);
    record += sizeof kY4mFrameHeader - 1;
  }
  const uint64_t size = written.header.size() + static_cast<uint64_t>(written.frames) * record;
  if (video->cut_to(size) != WriteResult::kOk) return failed(*video, "cut", error);
  return true;
}

bool mend_audio(OutputFile* audio, const AudioWritten& written, std::string* error) {
  if (!audio->is_regular_file() || written.samples == written.header_samples) return true;
  std::vector<uint8_t> header;
  if (!wav_header(written.channels, written.rate, written.samples, &header)) return true;
  if (audio->write_at(0, header.data(), header.size()) != WriteResult::kOk)
    return failed(*audio, "correct the sizes of", error);
  const uint64_t size =
      header.size() + written.samples * static_cast<uint64_t>(written.channels) * 2;
  if (audio->cut_to(size) != WriteResult::kOk) return failed(*audio, "cut", error);
  return true;
}

}  // namespace quorvel::client
