// The checks a host makes of a freshly loaded plug-in: the table byte for byte, and the
// settings block's get/set edge cases. Both leave the settings as they found them.
#ifndef QUORVEL_WINDOWS_HARNESS_TABLE_CHECK_H_
#define QUORVEL_WINDOWS_HARNESS_TABLE_CHECK_H_

#include "check_log.h"
#include "plugin_module.h"

namespace harness {

void check_table(const PluginModule& module, CheckLog* log);
void check_settings(const PluginModule& module, CheckLog* log);

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_TABLE_CHECK_H_
