// The settings dialog "CONFIG": its procedure edits the module's one ServerSettings in place
// (port text in field 100; interlaced, top field first and read-ahead in boxes 1000-1002;
// keep waiting for the next connection in box 1003 and serving several clients at once in
// box 1004, kept in the port text's last two bytes).
// OK stores the form and ends with 1, Cancel stores nothing and ends with 2. The Windows
// calls go through the seam in dialog_api.h.
#ifndef QUORVEL_PLUGIN_CONFIG_DIALOG_H_
#define QUORVEL_PLUGIN_CONFIG_DIALOG_H_

#include <cstdint>

#include "plugin/dialog_api.h"

namespace quorvel {

// The name of the dialog template in the module's resources.
constexpr const char kConfigDialogTemplate[] = "CONFIG";

// Handles initialisation (fills the form, returns 1) and commands (OK, Cancel; the id is the
// low 16 bits of `first`); returns 0 for every command and every other message.
intptr_t config_dialog_procedure(dialog::DialogHandle dialog, uint32_t message, uintptr_t first,
                                 intptr_t second);

// Shows the dialog modally over parent from the template in module instance; returns the
// dialog's result (1 OK, 2 Cancel, -1 when it cannot be shown).
intptr_t run_config_dialog(void* parent, void* instance);

}  // namespace quorvel

#endif  // QUORVEL_PLUGIN_CONFIG_DIALOG_H_
