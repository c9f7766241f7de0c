// The six Win32 dialog calls the settings dialog makes, behind one seam: dialog_api_win32.cc
// forwards them to USER32 (DialogBoxParamA and the item functions); the native tests link a
// scripted stand-in instead, so the dialog procedure runs on Linux unchanged.
// Texts are 8-bit in the process's ANSI code page.
#ifndef QUORVEL_PLUGIN_DIALOG_API_H_
#define QUORVEL_PLUGIN_DIALOG_API_H_

#include <cstdint>

namespace quorvel::dialog {

using DialogHandle = void*;  // HWND of the open dialog

// The two messages the settings dialog handles (WM_INITDIALOG, WM_COMMAND).
constexpr uint32_t kInitDialogMessage = 0x0110;
constexpr uint32_t kCommandMessage = 0x0111;

// A dialog procedure: nonzero when it handled the message.
using DialogProcedure = intptr_t (*)(DialogHandle dialog, uint32_t message, uintptr_t first,
                                     intptr_t second);

// Runs the dialog template `template_name` of module `instance` modally over `parent`, with
// `procedure` as its dialog procedure; returns the result given to end_dialog, or -1 when the
// dialog cannot be created. One modal dialog at a time.
intptr_t show_modal(void* instance, const char* template_name, void* parent,
                    DialogProcedure procedure);

void set_item_text(DialogHandle dialog, int id, const char* text);
// Copies at most size - 1 bytes of the item's text and a NUL into buffer; returns the number
// of bytes copied before the NUL.
uint32_t get_item_text(DialogHandle dialog, int id, char* buffer, int size);
void check_button(DialogHandle dialog, int id, bool checked);
bool is_button_checked(DialogHandle dialog, int id);
void end_dialog(DialogHandle dialog, intptr_t result);

}  // namespace quorvel::dialog

#endif  // QUORVEL_PLUGIN_DIALOG_API_H_
