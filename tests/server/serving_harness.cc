#include "tests/server/serving_harness.h"

#include "server/run_server.h"

namespace quorvel::testing {

namespace {

void append_le32(Bytes* out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(bits >> shift));
}

}  // namespace

Bytes message(int8_t command, const Bytes& payload) {
  Bytes out;
  append_le32(&out, static_cast<int32_t>(payload.size()) + 1);
  out.push_back(static_cast<uint8_t>(command));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes get_frame_request(int32_t frame_number) {
  Bytes payload;
  append_le32(&payload, frame_number);
  return message(kGetFrame, payload);
}

Bytes get_audio_request(int32_t first_sample, int32_t sample_count, int32_t byte_count) {
  // The unread words at 4 and 12 hold junk, as they may from a real client.
  Bytes payload;
  append_le32(&payload, first_sample);
  append_le32(&payload, -1);
  append_le32(&payload, sample_count);
  append_le32(&payload, 0x55555555);
  append_le32(&payload, byte_count);
  return message(kGetAudio, payload);
}

Bytes set_compression_request(uint8_t mask) {
  Bytes payload(9, 0xEE);  // bytes before the mask are not looked at
  payload[8] = mask;
  return message(kSetCompression, payload);
}

Bytes stream_info_request() {
  return message(kGetStreamInfo);
}
Bytes disconnect_request() {
  return message(kDisconnect);
}

Bytes concat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

std::vector<Reply> parse_replies(const Bytes& stream) {
  std::vector<Reply> replies;
  size_t at = 0;
  while (at < stream.size()) {
    Reply reply{0, 0, {}, false};
    if (stream.size() - at < static_cast<size_t>(kHeaderSize)) {
      replies.push_back(reply);
      break;
    }
    const MessageHeader header = read_header(stream.data() + at);
    at += kHeaderSize;
    reply.length = header.length;
    reply.command = header.command;
    const size_t wanted = header.length > 1 ? static_cast<size_t>(header.length) - 1 : 0;
    const size_t present = std::min(wanted, stream.size() - at);
    reply.payload.assign(stream.begin() + static_cast<std::ptrdiff_t>(at),
                         stream.begin() + static_cast<std::ptrdiff_t>(at + present));
    reply.complete = present == wanted;
    at += present;
    replies.push_back(reply);
  }
  return replies;
}

FrameInfoRecord frame_info_of(const Reply& reply) {
  if (reply.payload.size() < static_cast<size_t>(kFrameInfoSize)) return FrameInfoRecord();
  return read_frame_info(reply.payload.data());
}

Bytes frame_payload_of(const Reply& reply) {
  if (reply.payload.size() < static_cast<size_t>(kFrameInfoSize)) return {};
  return Bytes(reply.payload.begin() + kFrameInfoSize, reply.payload.end());
}

std::vector<int32_t> sent_frame_numbers(const std::vector<Reply>& replies) {
  std::vector<int32_t> frames;
  for (const Reply& reply : replies) {
    if (reply.command == kFrameReply) frames.push_back(frame_info_of(reply).frame_number);
  }
  return frames;
}

void ServingTest::SetUp() {
  fake_sockets::reset();
}

int32_t ServingTest::run(const ScriptedHost& host) {
  return run_server(host.info(), settings_, nullptr);
}

void ServingTest::client_sends(const std::vector<Bytes>& requests) {
  for (const Bytes& request : requests) fake_sockets::client_sends(request);
}

std::vector<Reply> ServingTest::replies() const {
  return parse_replies(fake_sockets::sent_bytes());
}

void ServingTest::expect_ended_cleanly() const {
  EXPECT_EQ(fake_sockets::open_sockets(), 0);
  EXPECT_EQ(fake_sockets::bad_close_calls(), 0);
  EXPECT_EQ(fake_sockets::startup_calls(), 1);
  EXPECT_EQ(fake_sockets::cleanup_calls(), 1);
  EXPECT_FALSE(fake_sockets::time_limit_hit());
}

}  // namespace quorvel::testing
