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

uint16_t resolve_port(const char* port_text) {
  char text[kPortTextSize];
  const size_t length = strnlen(port_text, kPortTextSize - 1);
  std::memcpy(text, port_text, length);
  text[length] = '\0';

  uint16_t port = 0;
  if (net::lookup_service_port(text, &port)) return port;
  return parse_port_number(text, length);
}

}  // namespace quorvel
