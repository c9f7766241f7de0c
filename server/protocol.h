// The wire protocol between the server and its client (AviSynth's TCPDeliver client).
//
// Every message is a 5-byte header: a signed 32-bit little-endian length counting the
// command byte and the payload, then the command byte. Replies carry one fixed record
// (StreamInfoRecord, FrameInfoRecord, AudioInfoRecord) and then their data. Records are
// laid out field by field; bytes the protocol calls reserved are always zero.
#ifndef QUORVEL_SERVER_PROTOCOL_H_
#define QUORVEL_SERVER_PROTOCOL_H_

#include <cstdint>

namespace quorvel {

constexpr int kHeaderSize = 5;
constexpr int kStreamInfoSize = 48;
constexpr int kFrameInfoSize = 68;
constexpr int kAudioInfoSize = 32;
// The session reads request payloads into a buffer of this size.
constexpr int kReceiveBufferSize = 1024;

// The smallest payload that holds the fields a request's command reads.
constexpr int kSetCompressionPayloadMin = 9;
constexpr int kGetFramePayloadMin = 4;
constexpr int kGetAudioPayloadMin = 20;

constexpr uint32_t kPixelTypeYuy2 = 0x60000004u;
constexpr uint32_t kSampleTypeInt16 = 2;

// image_type values.
constexpr int32_t kImageProgressive = 0;
constexpr int32_t kImageBottomFieldFirst = 5;
constexpr int32_t kImageTopFieldFirst = 6;

enum CommandCode : int8_t {
  kDisconnect = 4,
  kCompressionAck = 6,
  kSetCompression = 7,
  kGetFrame = 10,
  kGetAudio = 11,
  kGetStreamInfo = 22,
  kStreamInfoReply = 30,
  kFrameReply = 31,
  kAudioReply = 32,
};

struct MessageHeader {
  int32_t length;  // command byte + payload
  int8_t command;
};

struct StreamInfoRecord {
  int32_t width = 0;
  int32_t height = 0;
  uint32_t rate = 0;
  uint32_t scale = 0;
  int32_t frame_count = 0;
  uint32_t pixel_type = 0;
  int32_t audio_rate = 0;
  uint32_t sample_type = 0;
  uint64_t sample_count = 0;
  int32_t channels = 0;
  int32_t image_type = 0;
};

struct FrameInfoRecord {
  int32_t frame_number = 0;
  int32_t row_bytes = 0;
  int32_t rows = 0;
  int32_t pitch = 0;
  int32_t payload_size = 0;
  int32_t compression = 0;
  uint32_t frame_size = 0;
};

struct AudioInfoRecord {
  int32_t byte_count = 0;
};

// Fields of the requests, as the server reads them from a payload.
struct GetFrameRequest {
  int32_t frame_number;
};
struct GetAudioRequest {
  int32_t first_sample;
  int32_t sample_count;
  int32_t byte_count;
};

void write_header(uint8_t out[kHeaderSize], int32_t length, int8_t command);
MessageHeader read_header(const uint8_t in[kHeaderSize]);

void write_stream_info(const StreamInfoRecord& record, uint8_t out[kStreamInfoSize]);
StreamInfoRecord read_stream_info(const uint8_t in[kStreamInfoSize]);

void write_frame_info(const FrameInfoRecord& record, uint8_t out[kFrameInfoSize]);
FrameInfoRecord read_frame_info(const uint8_t in[kFrameInfoSize]);

void write_audio_info(const AudioInfoRecord& record, uint8_t out[kAudioInfoSize]);
AudioInfoRecord read_audio_info(const uint8_t in[kAudioInfoSize]);

// REQUIRES: the payload holds at least the command's minimum payload.
uint8_t read_compression_mask(const uint8_t* payload);
GetFrameRequest read_get_frame(const uint8_t* payload);
GetAudioRequest read_get_audio(const uint8_t* payload);

// Client side: lay out the requests the server understands. Each returns the message size.
int write_set_compression(uint8_t out[kHeaderSize + kSetCompressionPayloadMin], uint8_t mask);
int write_get_frame(uint8_t out[kHeaderSize + kGetFramePayloadMin], int32_t frame_number);
int write_get_audio(uint8_t out[kHeaderSize + kGetAudioPayloadMin], const GetAudioRequest& request);

}  // namespace quorvel

#endif  // QUORVEL_SERVER_PROTOCOL_H_
