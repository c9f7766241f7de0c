// Resolution of the settings' port text into the endpoint to listen on. The text is
// "PORT", or "ADDRESS:PORT" to listen on one interface only.
#ifndef QUORVEL_SERVER_PORT_RESOLUTION_H_
#define QUORVEL_SERVER_PORT_RESOLUTION_H_

#include <cstddef>
#include <cstdint>

#include "server/listen_endpoint.h"

namespace quorvel {

// The text as a decimal integer, read the way the C library's atoi reads it (leading white
// space and a sign, conversion stops at the first other character, no digits give 0),
// wrapping modulo 2^32; the port is the low 16 bits. "70000" gives 4464; "abc" gives 0,
// which lets the system choose a free port.
uint16_t parse_port_number(const char* text, size_t length);

// Four decimal parts of 0 to 255 joined by dots ("192.168.1.20"), nothing else; false
// otherwise.
bool parse_dotted_ipv4(const char* text, size_t length, uint32_t* address);

// Reads at most kPortTextLimit (254) bytes of port_text, even when they hold no NUL: the
// flags that follow are not part of the text. Without a colon the
// text is the port and the run listens on every interface. With one, the text before the
// first colon is the address (dotted, else a host name that resolves to an IPv4 address;
// white space around it is ignored, and nothing at all means every interface) and the text
// after it the port. The port is a TCP service name first ("http" gives 80 where the
// services database has it), else the number above. False, with nothing stored, when the
// address names no IPv4 address.
bool resolve_listen_endpoint(const char* port_text, ListenEndpoint* endpoint);

}  // namespace quorvel

#endif  // QUORVEL_SERVER_PORT_RESOLUTION_H_
