// The checks a StreamInfoRecord from the wire must pass before the client sizes a single
// buffer from it: a video stream of even, positive size whose frame fits a 32-bit length,
// a positive rate, and audio of 16-bit samples in 1 to 8 channels.
#ifndef QUORVEL_CLIENT_STREAM_INFO_CHECK_H_
#define QUORVEL_CLIENT_STREAM_INFO_CHECK_H_

#include <string>

#include "wire/protocol.h"

namespace quorvel::client {

inline bool has_video(const StreamInfoRecord& info) {
  return info.width != 0;
}
inline bool has_audio(const StreamInfoRecord& info) {
  return info.audio_rate != 0;
}

// True when the record is usable; otherwise *problem says what is wrong with it.
bool check_stream_info(const StreamInfoRecord& info, std::string* problem);

// Bytes of one packed YUY2 frame of the stream (width * 2 * height). REQUIRES: checked info.
int32_t stream_frame_bytes(const StreamInfoRecord& info);

}  // namespace quorvel::client

#endif  // QUORVEL_CLIENT_STREAM_INFO_CHECK_H_
