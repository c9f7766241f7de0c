// A port given on the command line: a decimal number from 0 to 65535 or a TCP service name
// that this machine's services database knows. The plug-in reads its port text leniently,
// since the host stores whatever was typed; a command line is read strictly, so that
// "1e3", "70000" or "22050abc" are refused instead of meaning some other port.
#ifndef QUORVEL_APPS_COMMON_PORT_ARGUMENT_H_
#define QUORVEL_APPS_COMMON_PORT_ARGUMENT_H_

#include <string>

namespace quorvel::apps {

// What a usage error says is accepted.
constexpr char kPortArgumentForms[] = "a number from 0 to 65535 or a TCP service name";

bool is_port_argument(const std::string& text);

}  // namespace quorvel::apps

#endif  // QUORVEL_APPS_COMMON_PORT_ARGUMENT_H_
