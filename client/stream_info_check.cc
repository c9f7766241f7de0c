#include "client/stream_info_check.h"

#include "codecs/frame_codec.h"
#include "util/input_check.h"
#include "wire/protocol.h"

namespace quorvel::client {

namespace {

bool check_video(const StreamInfoRecord& info, std::string* problem) {
  if (!QUORVEL_INPUT_OK(info.pixel_type == kPixelTypeYuy2)) {
    *problem = "pixel type " + std::to_string(info.pixel_type) + " is not packed YUY2";
    return false;
  }
  if (!QUORVEL_INPUT_OK(info.width > 0 && info.height > 0 && info.width % 2 == 0)) {
    *problem = "frame size " + std::to_string(info.width) + "x" + std::to_string(info.height) +
               " is not a positive size of even width";
    return false;
  }
  if (!QUORVEL_INPUT_OK(info.width <= INT32_MAX / 2 &&
                        frame_bytes(info.height, info.width * 2) > 0)) {
    *problem = "frame size " + std::to_string(info.width) + "x" + std::to_string(info.height) +
               " is too large";
    return false;
  }
  if (!QUORVEL_INPUT_OK(info.rate > 0 && info.scale > 0)) {
    *problem = "frame rate " + std::to_string(info.rate) + "/" + std::to_string(info.scale) +
               " is not positive";
    return false;
  }
  if (!QUORVEL_INPUT_OK(info.frame_count >= 0)) {
    *problem = "frame count " + std::to_string(info.frame_count) + " is negative";
    return false;
  }
  return true;
}

bool check_audio(const StreamInfoRecord& info, std::string* problem) {
  if (!QUORVEL_INPUT_OK(info.audio_rate > 0)) {
    *problem = "audio rate " + std::to_string(info.audio_rate) + " is negative";
    return false;
  }
  if (!QUORVEL_INPUT_OK(info.sample_type == kSampleTypeInt16)) {
    *problem = "sample type " + std::to_string(info.sample_type) + " is not 16-bit integer";
    return false;
  }
  if (!QUORVEL_INPUT_OK(info.channels >= 1 && info.channels <= kMaxAudioChannels)) {
    *problem = "audio channel count " + std::to_string(info.channels) + " is not 1 to " +
               std::to_string(kMaxAudioChannels);
    return false;
  }
  if (!QUORVEL_INPUT_OK(info.sample_count <= UINT32_MAX)) {
    *problem = "audio sample count " + std::to_string(info.sample_count) + " is too large";
    return false;
  }
  return true;
}

}  // namespace

bool check_stream_info(const StreamInfoRecord& info, std::string* problem) {
  if (has_video(info) && !check_video(info, problem)) return false;
  return !has_audio(info) || check_audio(info, problem);
}

int32_t stream_frame_bytes(const StreamInfoRecord& info) {
  return frame_bytes(info.height, info.width * 2);
}

}  // namespace quorvel::client
