#include "client_conversation.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace harness {

namespace {

constexpr int kConnectAttempts = 250;  // 20 ms apart: 5 s for the plug-in to listen again
constexpr int kReceiveTimeoutMs = 20000;
constexpr int kHeaderSize = 5;
constexpr int kStreamInfoSize = 48;
constexpr int kFrameInfoSize = 68;
constexpr int8_t kDisconnect = 4;
constexpr int8_t kGetFrame = 10;
constexpr int8_t kGetStreamInfo = 22;
constexpr int8_t kStreamInfoReply = 30;
constexpr int8_t kFrameReply = 31;

void put32(std::vector<char>* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>(value >> shift));
}

int32_t get32(const uint8_t* bytes) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[i];
  return static_cast<int32_t>(value);
}

SOCKET connect_once(uint16_t port) {
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket == INVALID_SOCKET) return INVALID_SOCKET;
  const sockaddr_in address = loopback(port);
  if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return socket;
  }
  closesocket(socket);
  return INVALID_SOCKET;
}

bool send_request(SOCKET socket, int8_t command, const std::vector<char>& payload) {
  std::vector<char> message;
  put32(&message, static_cast<uint32_t>(1 + payload.size()));
  message.push_back(static_cast<char>(command));
  message.insert(message.end(), payload.begin(), payload.end());
  const int size = static_cast<int>(message.size());
  return send(socket, message.data(), size, 0) == size;
}

bool receive_exactly(SOCKET socket, uint8_t* buffer, int length) {
  for (int received = 0; received < length;) {
    const int got = recv(socket, reinterpret_cast<char*>(buffer + received), length - received, 0);
    if (got <= 0) return false;
    received += got;
  }
  return true;
}

// Reads one reply's header and its payload; false unless it is `command` of `min_length`
// payload bytes or more.
bool receive_reply(SOCKET socket, int8_t command, int min_length, std::vector<uint8_t>* payload) {
  uint8_t header[kHeaderSize];
  if (!receive_exactly(socket, header, kHeaderSize)) return false;
  const int32_t length = get32(header);
  if (static_cast<int8_t>(header[4]) != command || length - 1 < min_length) return false;
  payload->resize(static_cast<size_t>(length - 1));
  return receive_exactly(socket, payload->data(), length - 1);
}

}  // namespace

sockaddr_in loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

SOCKET connect_when_listening(uint16_t port) {
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    const SOCKET socket = connect_once(port);
    if (socket != INVALID_SOCKET) {
      setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&kReceiveTimeoutMs),
                 sizeof kReceiveTimeoutMs);
      return socket;
    }
    Sleep(20);
  }
  return INVALID_SOCKET;
}

bool stream_info_matches(SOCKET socket, const StreamShape& shape) {
  std::vector<uint8_t> record;
  if (!send_request(socket, kGetStreamInfo, {}) ||
      !receive_reply(socket, kStreamInfoReply, kStreamInfoSize, &record)) {
    return false;
  }
  return get32(&record[0]) == shape.width && get32(&record[4]) == shape.height &&
         get32(&record[16]) == shape.frame_count;
}

bool frames_match(SOCKET socket, const StreamShape& shape, bool backwards) {
  std::vector<uint8_t> expected(static_cast<size_t>(frame_bytes(shape)));
  std::vector<uint8_t> reply;
  for (int32_t i = 0; i < shape.frame_count; ++i) {
    const int32_t n = backwards ? shape.frame_count - 1 - i : i;
    std::vector<char> frame_number;
    put32(&frame_number, static_cast<uint32_t>(n));
    if (!send_request(socket, kGetFrame, frame_number) ||
        !receive_reply(socket, kFrameReply, kFrameInfoSize, &reply)) {
      return false;
    }
    fill_frame(expected.data(), shape, n);
    const int32_t payload_size = get32(&reply[28]);
    const bool same =
        get32(&reply[0]) == n && get32(&reply[32]) == 0 &&
        payload_size == static_cast<int32_t>(expected.size()) &&
        reply.size() == kFrameInfoSize + expected.size() &&
        std::memcmp(reply.data() + kFrameInfoSize, expected.data(), expected.size()) == 0;
    if (!same) {
      std::printf("client: frame %d differs from what the host served\n", n);
      return false;
    }
  }
  return true;
}

bool closed_after_disconnect(SOCKET socket) {
  if (!send_request(socket, kDisconnect, {})) return false;
  char byte;
  return recv(socket, &byte, 1, 0) == 0;
}

}  // namespace harness
