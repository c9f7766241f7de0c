#include "plugin/serve_session.h"

#include "plugin/plugin_settings.h"
#include "server/run_server.h"

extern "C" int32_t QUORVEL_CDECL ServeSession(HostOutputInfo* host) {
  return quorvel::run_server(*host, quorvel::plugin_settings(), nullptr);
}
