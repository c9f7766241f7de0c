#include "sequence_client.h"

#include <winsock2.h>

#include <cstdio>

#include "client_conversation.h"

namespace harness {

bool connection_refused(uint16_t port) {
  // A sockets library of its own: the caller's may have been cleaned up already.
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return false;
  bool refused = false;
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket != INVALID_SOCKET) {
    const sockaddr_in address = loopback(port);
    refused = connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
              WSAGetLastError() == WSAECONNREFUSED;
    closesocket(socket);
  }
  WSACleanup();
  return refused;
}

SequenceClients::SequenceClients(uint16_t port, const StreamShape& shape, int clients)
    : thread_([this, port, shape, clients] { run(port, shape, clients); }) {}

SequenceClients::~SequenceClients() {
  join();
}

void SequenceClients::join() {
  if (thread_.joinable()) thread_.join();
}

void SequenceClients::run(uint16_t port, const StreamShape& shape, int clients) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 0), &data) == 0) {
    for (int client = 0; client < clients; ++client) {
      const SOCKET socket = connect_when_listening(port);
      if (socket == INVALID_SOCKET) {
        std::printf("client %d: nothing listens on port %u\n", client + 1,
                    static_cast<unsigned>(port));
        ++refused_;
        continue;
      }
      bool ok = stream_info_matches(socket, shape);
      if (client == 0) second_refused_ = connection_refused(port);
      ok = ok && frames_match(socket, shape, false) && closed_after_disconnect(socket);
      closesocket(socket);
      std::printf("client %d: %s\n", client + 1, ok ? "served" : "FAILED");
      if (ok) ++served_;
    }
    WSACleanup();
  }
  std::fflush(stdout);
  done_ = true;
}

}  // namespace harness
