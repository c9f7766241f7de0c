#include "apps/common/port_argument.h"

#include <netdb.h>

namespace quorvel::apps {

bool is_port_argument(const std::string& text) {
  if (text.empty()) return false;
  if (text.find_first_not_of("0123456789") == std::string::npos) {
    // Leading zeros are harmless; more than five significant digits never fit.
    const size_t first = text.find_first_not_of('0');
    if (first == std::string::npos) return true;
    return text.size() - first <= 5 && std::stol(text.substr(first)) <= 65535;
  }
  return getservbyname(text.c_str(), "tcp") != nullptr;
}

}  // namespace quorvel::apps
