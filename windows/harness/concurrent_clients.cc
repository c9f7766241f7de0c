#include "concurrent_clients.h"

#include <winsock2.h>

#include <cstdio>

#include "client_conversation.h"

namespace harness {

namespace {

// How long a client waits for the others to be connected too.
constexpr DWORD kMeetingMs = 10000;

}  // namespace

ConcurrentClients::ConcurrentClients(uint16_t port, const StreamShape& shape, int clients)
    : clients_(clients) {
  for (int client = 0; client < clients; ++client) {
    threads_.emplace_back([this, port, shape, client] { run(port, shape, client); });
  }
}

ConcurrentClients::~ConcurrentClients() {
  join();
}

void ConcurrentClients::join() {
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
}

void ConcurrentClients::run(uint16_t port, const StreamShape& shape, int client) {
  WSADATA data;
  bool ok = false;
  if (WSAStartup(MAKEWORD(2, 0), &data) == 0) {
    const SOCKET socket = connect_when_listening(port);
    if (socket != INVALID_SOCKET) {
      ok = stream_info_matches(socket, shape);
      ++arrived_;
      const DWORD start = GetTickCount();
      while (arrived_ < clients_ && GetTickCount() - start < kMeetingMs) Sleep(5);
      ok = ok && arrived_ == clients_ && frames_match(socket, shape, client % 2 == 1) &&
           closed_after_disconnect(socket);
      closesocket(socket);
    }
    WSACleanup();
  }
  std::printf("client %d at once: %s\n", client + 1, ok ? "served" : "FAILED");
  std::fflush(stdout);
  if (ok) ++served_;
  if (++ended_ == clients_) done_ = true;
}

}  // namespace harness
