#include "stalled_client.h"

#include <winsock2.h>

#include <vector>

namespace harness {

namespace {

constexpr int kConnectAttempts = 250;  // 20 ms apart: 5 s for the plug-in to listen
constexpr int8_t kGetFrame = 10;

void put32(std::vector<char>* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>(value >> shift));
}

SOCKET connect_when_listening(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socket == INVALID_SOCKET) return INVALID_SOCKET;
    // A small receive window, so the plug-in's side fills soon.
    const int small = 4096;
    setsockopt(socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return socket;
    }
    closesocket(socket);
    Sleep(20);
  }
  return INVALID_SOCKET;
}

}  // namespace

StalledClient::StalledClient(uint16_t port, int frames)
    : thread_([this, port, frames] { run(port, frames); }) {}

StalledClient::~StalledClient() {
  stop_ = true;
  thread_.join();
}

void StalledClient::run(uint16_t port, int frames) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return;
  const SOCKET socket = connect_when_listening(port);
  if (socket != INVALID_SOCKET) {
    std::vector<char> requests;
    for (int n = 0; n < frames; ++n) {
      put32(&requests, 5);  // the command byte and a 4-byte frame number
      requests.push_back(kGetFrame);
      put32(&requests, static_cast<uint32_t>(n));
    }
    const int size = static_cast<int>(requests.size());
    requests_sent_ = send(socket, requests.data(), size, 0) == size;
    while (!stop_) Sleep(10);
    closesocket(socket);
  }
  WSACleanup();
}

}  // namespace harness
