// ServeSession: the plug-in's output function, one serving run with the module's settings.
#ifndef QUORVEL_PLUGIN_SERVE_SESSION_H_
#define QUORVEL_PLUGIN_SERVE_SESSION_H_

#include "server/host_abi.h"

extern "C" {
// Returns 0 when the network cannot be set up at all, 1 in every other case.
int32_t QUORVEL_CDECL ServeSession(HostOutputInfo* host);
}

#endif  // QUORVEL_PLUGIN_SERVE_SESSION_H_
