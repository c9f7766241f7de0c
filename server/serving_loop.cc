#include "server/serving_loop.h"

namespace quorvel {

namespace {

// The longest wait on the sockets while nothing is to be done: the host's abort is polled
// as often as the one-client run polls it between requests.
constexpr int kWaitMs = 10;

int clamped_limit(int client_limit) {
  if (client_limit < 1) return 1;
  return client_limit > kMaxClients ? kMaxClients : client_limit;
}

}  // namespace

ServingLoop::ServingLoop(const HostOutputInfo& host, const ServerSettings& settings,
                         int client_limit)
    : host_(host), settings_(settings), client_limit_(clamped_limit(client_limit)) {
  for (Client& client : clients_) {
    client.loop = this;
    client.hook = {&ServingLoop::before_fetch, &client};
  }
}

ServingLoop::~ServingLoop() {
  for (Client& client : clients_) end(&client);
}

void ServingLoop::run(net::SocketHandle listener) {
  for (;;) {
    if (host_.is_aborted() != 0) break;
    const bool connecting = wait_and_transfer(listener);
    if (!work()) break;
    // After the requests: a Disconnect read in this turn frees its place for a client
    // connecting in it.
    if (connecting) accept_from(listener);
  }
  for (Client& client : clients_) end(&client);
}

bool ServingLoop::wait_and_transfer(net::SocketHandle listener) {
  net::SocketWait waits[kMaxClients + 1];
  Client* waiting[kMaxClients + 1] = {};
  waits[0] = {listener, true, false, false, false};
  int count = 1;
  for (int i = 0; i < client_limit_; ++i) {
    Client& client = clients_[i];
    if (!client.socket.valid()) continue;
    const bool want_read = !client.sending && !client.reader.complete();
    if (!want_read && !client.sending) continue;
    waiting[count] = &client;
    waits[count++] = {client.socket.get(), want_read, client.sending, false, false};
  }
  net::wait_for_sockets(waits, count, has_work() ? 0 : kWaitMs);
  for (int i = 1; i < count; ++i) {
    if (waits[i].writable) send_to(waiting[i]);
    if (waits[i].readable) receive_from(waiting[i]);
  }
  return waits[0].readable;
}

void ServingLoop::accept_from(net::SocketHandle listener) {
  net::ScopedSocket socket(net::accept_client(listener));
  if (!socket.valid()) {
    // A connection that failed before it was accepted ends nobody's conversation; a pause
    // keeps a listener that stays readable from taking the thread.
    net::sleep_ms(kWaitMs);
    return;
  }
  for (int i = 0; i < client_limit_; ++i) {
    Client& client = clients_[i];
    if (client.socket.valid()) continue;
    client.socket = std::move(socket);
    // Each client starts afresh: the raw codec, nothing prefetched.
    client.session.emplace(host_, settings_, &client.hook);
    if (!client.session->ready()) end(&client);
    return;
  }
  // Past the limit: closed at once (here, as the socket goes out of scope), so the client
  // sees the connection end instead of waiting for an answer that never comes.
}

void ServingLoop::receive_from(Client* client) {
  // A whole request waits to be answered first (and a receive of no bytes would read as
  // the client's close).
  if (client->reader.complete()) return;
  for (;;) {
    const int32_t wanted = client->reader.bytes_wanted();
    const int got = net::receive(client->socket.get(), client->reader.next_bytes(), wanted);
    if (got == net::kWouldBlock) return;
    if (got <= 0) {
      end(client);
      return;
    }
    client->reader.received(got);
    if (client->reader.complete() || got < wanted) return;
  }
}

void ServingLoop::send_to(Client* client) {
  switch (send_reply_some(client->socket.get(), &client->reply)) {
    case SendProgress::kDone:
      client->sending = false;
      client->session->reply_done(true);
      // The next request, if it is there already, counts as waiting from now on.
      receive_from(client);
      break;
    case SendProgress::kSocketFull:
      break;
    case SendProgress::kFailed:
      end(client);
      break;
  }
}

bool ServingLoop::work() {
  int answered = -1;
  for (int turn = 0; turn < client_limit_; ++turn) {
    const int index = (next_ + turn) % client_limit_;
    Client* client = &clients_[index];
    if (may_read_ahead(client)) {
      if (host_.is_aborted() != 0) return false;
      client->session->read_ahead();
    }
    if (client->socket.valid() && !client->sending && client->reader.complete()) {
      if (host_.is_aborted() != 0) return false;
      answer(client);
      answered = index;
    }
  }
  // The next turn starts after the last client answered: every client with a request
  // waiting is answered once before any is answered twice.
  if (answered >= 0) next_ = (answered + 1) % client_limit_;
  return true;
}

void ServingLoop::answer(Client* client) {
  client->reply.clear();
  const Session::Outcome outcome =
      client->session->handle(client->reader.request(), &client->reply);
  client->reader.start_next();
  if (outcome == Session::Outcome::kEnd) {
    end(client);
    return;
  }
  client->sending = true;
  send_to(client);  // the socket usually takes it at once
}

bool ServingLoop::request_waiting_besides(const Client* client) const {
  for (int i = 0; i < client_limit_; ++i) {
    const Client& other = clients_[i];
    if (&other != client && other.socket.valid() && !other.sending && other.reader.complete()) {
      return true;
    }
  }
  return false;
}

bool ServingLoop::may_read_ahead(const Client* client) const {
  return client->socket.valid() && !client->sending && client->session->read_ahead_due() &&
         !request_waiting_besides(client);
}

bool ServingLoop::has_work() const {
  for (int i = 0; i < client_limit_; ++i) {
    const Client& client = clients_[i];
    if (!client.socket.valid() || client.sending) continue;
    if (client.reader.complete() || may_read_ahead(&client)) return true;
  }
  return false;
}

void ServingLoop::before_fetch(void* context) {
  const auto* caller = static_cast<const Client*>(context);
  caller->loop->copy_host_memory_besides(caller);
}

void ServingLoop::copy_host_memory_besides(const Client* caller) {
  for (int i = 0; i < client_limit_; ++i) {
    Client& client = clients_[i];
    if (&client == caller || !client.socket.valid()) continue;
    if (!client.session->copy_host_memory(client.sending ? &client.reply : nullptr)) end(&client);
  }
}

void ServingLoop::end(Client* client) {
  if (!client->socket.valid()) return;
  if (client->sending) client->session->reply_done(false);
  client->sending = false;
  // The codec goes before the client's socket is closed.
  client->session.reset();
  client->socket.reset();
  client->reader.start_next();
  client->reply.clear();
}

}  // namespace quorvel
