#include "apps/fetch/compression_choice.h"

#include "wire/compression_type.h"

namespace quorvel::client {

bool choose_compression(const std::string& name, CompressionChoice* choice, std::string* problem) {
  struct Named {
    const char* name;
    bool send;
    uint8_t mask;
  };
  static const Named kChoices[] = {
      {"none", false, 0},
      {"lzo", true, kCompressionLzo},
      {"fano", true, kCompressionFano},
      {"deflate", true, kCompressionDeflate},
      {"auto", true, kCompressionLzo | kCompressionFano | kCompressionDeflate},
  };
  for (const Named& named : kChoices) {
    if (name == named.name) {
      *choice = {named.send, named.mask};
      return true;
    }
  }
  *problem = "unknown compression '" + name + "' (none, lzo, fano, deflate or auto)";
  return false;
}

}  // namespace quorvel::client
