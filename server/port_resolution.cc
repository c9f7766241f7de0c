#include "server/port_resolution.h"

#include <cstring>

#include "server/server_settings.h"
#include "server/socket.h"

namespace quorvel {

namespace {

bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// A service name first, else the number; `text` ends at its NUL.
uint16_t resolve_port_part(const char* text) {
  uint16_t port = 0;
  if (net::lookup_service_port(text, &port)) return port;
  return parse_port_number(text, std::strlen(text));
}

// The address before the colon, trimmed in place; `text` ends at its NUL.
bool resolve_address_part(char* text, uint32_t* address) {
  size_t begin = 0;
  size_t end = std::strlen(text);
  while (begin < end && is_space(text[begin])) ++begin;
  while (end > begin && is_space(text[end - 1])) --end;
  if (begin == end) {
    *address = kEveryInterface;
    return true;
  }
  text[end] = '\0';
  const char* name = text + begin;
  if (parse_dotted_ipv4(name, end - begin, address)) return true;
  // Digits and dots that are not four parts of 0 to 255 are a mistyped address, not a host
  // name: the resolver would read "0127.1" as octal and give 87.0.0.1.
  if (std::strspn(name, "0123456789.") == end - begin) return false;
  return net::lookup_host_ipv4(name, address);
}

}  // namespace

uint16_t parse_port_number(const char* text, size_t length) {
  size_t i = 0;
  while (i < length && is_space(text[i])) ++i;
  bool negative = false;
  if (i < length && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;  // unsigned, so that long digit strings wrap instead of overflowing
  for (; i < length && is_digit(text[i]); ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<uint16_t>(value);
}

bool parse_dotted_ipv4(const char* text, size_t length, uint32_t* address) {
  uint32_t value = 0;
  size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (i == length || text[i++] != '.')) return false;
    uint32_t number = 0;
    size_t digits = 0;
    for (; i < length && is_digit(text[i]) && digits < 3; ++i, ++digits) {
      number = number * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    if (digits == 0 || number > 255) return false;
    value = value << 8 | number;
  }
  if (i != length) return false;
  *address = value;
  return true;
}

bool resolve_listen_endpoint(const char* port_text, ListenEndpoint* endpoint) {
  char text[kPortTextSize];
  const size_t length = strnlen(port_text, kPortTextLimit);
  std::memcpy(text, port_text, length);
  text[length] = '\0';

  char* colon = std::strchr(text, ':');
  if (colon == nullptr) {
    *endpoint = {kEveryInterface, resolve_port_part(text)};
    return true;
  }
  *colon = '\0';
  uint32_t address = 0;
  if (!resolve_address_part(text, &address)) return false;
  *endpoint = {address, resolve_port_part(colon + 1)};
  return true;
}

}  // namespace quorvel
