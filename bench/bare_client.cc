#include "bench/bare_client.h"

#include <cstddef>
#include <string>

#include "util/little_endian.h"
#include "wire/protocol.h"

namespace quorvel::bench {

namespace {

constexpr int kCompressionOffset = 32;  // of the FrameInfoRecord

}  // namespace

BareClient::BareClient(uint16_t port) {
  std::string problem;
  socket_.connect("127.0.0.1", std::to_string(port), 0, &problem);
}

bool BareClient::send(const uint8_t* bytes, uint64_t length) {
  return socket_.send_all(bytes, length) == client::IoResult::kOk;
}

bool BareClient::receive(uint8_t* bytes, uint64_t length) {
  return socket_.receive_exactly(bytes, length) == client::IoResult::kOk;
}

bool BareClient::exchange(const uint8_t* request, int length) {
  uint8_t header[kHeaderSize];
  if (!send(request, static_cast<uint64_t>(length)) || !receive(header, kHeaderSize)) return false;
  const MessageHeader reply = read_header(header);
  if (reply.length < 1) return false;
  reply_.resize(static_cast<size_t>(reply.length) - 1);
  return receive(reply_.data(), reply_.size());
}

bool BareClient::get_frame(int32_t frame_number) {
  uint8_t request[kHeaderSize + kGetFramePayloadMin];
  if (!exchange(request, write_get_frame(request, frame_number))) return false;
  if (reply_.size() < static_cast<size_t>(kFrameInfoSize)) return false;
  last_compression_ = get_le32_signed(reply_.data() + kCompressionOffset);
  return true;
}

uint64_t BareClient::last_reply_bytes() const {
  return static_cast<uint64_t>(kHeaderSize) + reply_.size();
}

bool BareClient::get_stream_info() {
  uint8_t request[kHeaderSize];
  write_header(request, 1, kGetStreamInfo);
  return exchange(request, kHeaderSize) && reply_.size() == static_cast<size_t>(kStreamInfoSize);
}

bool BareClient::get_audio(int32_t sample_count) {
  uint8_t request[kHeaderSize + kGetAudioPayloadMin];
  const int length = write_get_audio(request, {0, sample_count, sample_count * 4});
  return exchange(request, length) && reply_.size() == static_cast<size_t>(kAudioInfoSize) +
                                                           static_cast<size_t>(sample_count) * 4;
}

bool BareClient::set_compression(uint8_t mask) {
  uint8_t request[kHeaderSize + kSetCompressionPayloadMin];
  return exchange(request, write_set_compression(request, mask)) && reply_.empty();
}

bool BareClient::ping() {
  uint8_t message[kHeaderSize] = {1, 0, 0, 0, 0};
  return send(message, kHeaderSize) && receive(message, kHeaderSize);
}

bool BareClient::disconnect() {
  uint8_t request[kHeaderSize];
  write_header(request, 1, kDisconnect);
  return send(request, kHeaderSize);
}

}  // namespace quorvel::bench
