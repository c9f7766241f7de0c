#include "apps/fetch/server_address.h"

namespace quorvel::client {

bool parse_server_address(const std::string& text, ServerAddress* address) {
  ServerAddress parsed{"", kDefaultPort};
  std::string rest;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos) return false;
    parsed.host = text.substr(1, close - 1);
    rest = text.substr(close + 1);
    if (!rest.empty() && rest[0] != ':') return false;
  } else {
    const size_t colon = text.rfind(':');
    parsed.host = text.substr(0, colon);
    if (colon != std::string::npos) rest = text.substr(colon);
  }
  if (!rest.empty()) parsed.port = rest.substr(1);
  if (parsed.host.empty() || parsed.port.empty()) return false;
  *address = parsed;
  return true;
}

}  // namespace quorvel::client
