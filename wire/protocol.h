// The wire protocol between the server and its client (AviSynth's TCPDeliver client);
// docs/formats.md describes it for a peer implementer.
//
// Every message is a 5-byte header: a signed 32-bit little-endian length counting the
// command byte and the payload, then the command byte. Replies carry one fixed record
// (StreamInfoRecord, FrameInfoRecord, AudioInfoRecord) and then their data. Records are
// laid out field by field at the offsets below; reserved bytes are always zero. Every
// integer is little-endian.
#ifndef QUORVEL_WIRE_PROTOCOL_H_
#define QUORVEL_WIRE_PROTOCOL_H_

#include <cstdint>

namespace quorvel {

// The port a server listens on unless its settings say otherwise, and a client asks by
// default: TCPDeliver's.
constexpr char kDefaultPortText[] = "22050";

// The most audio channels the Linux programs take: the client refuses a stream with more,
// the stand-in host a WAV file with more (the usual speaker layouts end at 7.1). The server
// itself passes the host's audio on whatever its channel count.
constexpr int kMaxAudioChannels = 8;

constexpr int kHeaderSize = 5;
constexpr int kStreamInfoSize = 48;
constexpr int kFrameInfoSize = 68;
constexpr int kAudioInfoSize = 32;

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

// MessageHeader, 5 bytes: 0 length (signed 32-bit: the command byte plus the payload),
// 4 command (signed 8-bit; 128 and up match no command).
struct MessageHeader {
  int32_t length;  // command byte + payload
  int8_t command;
};

// StreamInfoRecord, the 48-byte payload of StreamInfoReply: 0 width, 4 height, 8 rate,
// 12 scale, 16 frame_count, 20 pixel_type, 24 audio_rate, 28 sample_type, 32 sample_count
// (64-bit), 40 channels, 44 image_type. Without video only width is set (0); without audio
// only audio_rate (0); the fields left are zero.
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

// FrameInfoRecord, the first 68 bytes of FrameReply's payload: 0 frame_number, 4 row_bytes,
// 12 rows, 20 pitch, 28 payload_size, 32 compression, 36 frame_size; 8, 16, 24 and 40..67
// are zero. payload_size bytes of codec output follow it.
struct FrameInfoRecord {
  int32_t frame_number = 0;
  int32_t row_bytes = 0;
  int32_t rows = 0;
  int32_t pitch = 0;
  int32_t payload_size = 0;
  int32_t compression = 0;
  uint32_t frame_size = 0;
};

// AudioInfoRecord, the first 32 bytes of AudioReply's payload: 0 byte_count, 4 zero,
// 8 byte_count again, 12..31 zero. byte_count bytes of audio follow it.
struct AudioInfoRecord {
  int32_t byte_count = 0;
};

// Fields of the requests, at their offsets in the payload (after the command byte); bytes
// between them are not read. SetCompression: 8 compression_mask. GetFrame: 0 frame_number.
// GetAudio: 0 first_sample, 8 sample_count, 16 byte_count.
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
// True when the record is laid out as write_audio_info lays it out: offset 4 zero and the
// byte count again at offset 8.
bool audio_info_is_consistent(const uint8_t in[kAudioInfoSize]);

// REQUIRES: the payload holds at least the command's minimum payload.
uint8_t read_compression_mask(const uint8_t* payload);
GetFrameRequest read_get_frame(const uint8_t* payload);
GetAudioRequest read_get_audio(const uint8_t* payload);

// Client side: lay out the requests the server understands. Each returns the message size.
int write_set_compression(uint8_t out[kHeaderSize + kSetCompressionPayloadMin], uint8_t mask);
int write_get_frame(uint8_t out[kHeaderSize + kGetFramePayloadMin], int32_t frame_number);
int write_get_audio(uint8_t out[kHeaderSize + kGetAudioPayloadMin], const GetAudioRequest& request);

}  // namespace quorvel

#endif  // QUORVEL_WIRE_PROTOCOL_H_
