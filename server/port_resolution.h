// Resolution of the settings' port text into the TCP port to listen on.
#ifndef QUORVEL_SERVER_PORT_RESOLUTION_H_
#define QUORVEL_SERVER_PORT_RESOLUTION_H_

#include <cstddef>
#include <cstdint>

namespace quorvel {

// The text as a decimal integer, read the way the C library's atoi reads it (leading white
// space and a sign, conversion stops at the first other character, no digits give 0),
// wrapping modulo 2^32; the port is the low 16 bits. "70000" gives 4464; "abc" gives 0,
// which lets the system choose a free port.
uint16_t parse_port_number(const char* text, size_t length);

// A TCP service name first ("http" gives 80 where the services database has it), else the
// number above. Reads at most 255 bytes of port_text, even when they hold no NUL.
uint16_t resolve_port(const char* port_text);

}  // namespace quorvel

#endif  // QUORVEL_SERVER_PORT_RESOLUTION_H_
