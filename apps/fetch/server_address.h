// The client's HOST[:PORT] argument: a host name or IPv4 address, or an IPv6 address in
// brackets, with an optional port (number or service name); the port defaults to the
// server's default (kDefaultPortText).
#ifndef QUORVEL_APPS_FETCH_SERVER_ADDRESS_H_
#define QUORVEL_APPS_FETCH_SERVER_ADDRESS_H_

#include <string>

#include "wire/protocol.h"

namespace quorvel::client {

constexpr const char* kDefaultPort = kDefaultPortText;

struct ServerAddress {
  std::string host;
  std::string port;
};

// False for an empty host or port, or an unclosed bracket.
bool parse_server_address(const std::string& text, ServerAddress* address);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_SERVER_ADDRESS_H_
