// USER32 backend of the dialog seam.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "plugin/dialog_api.h"

namespace quorvel::dialog {

static_assert(kInitDialogMessage == WM_INITDIALOG, "message numbers");
static_assert(kCommandMessage == WM_COMMAND, "message numbers");

namespace {

// The procedure of the dialog show_modal runs. Dialogs are modal and the host calls the
// plug-in from one thread, so one slot is enough.
DialogProcedure g_procedure = nullptr;

INT_PTR CALLBACK forward_to_procedure(HWND dialog, UINT message, WPARAM first, LPARAM second) {
  if (g_procedure == nullptr) return FALSE;
  return g_procedure(dialog, message, first, second);
}

HWND window(DialogHandle dialog) {
  return static_cast<HWND>(dialog);
}

}  // namespace

intptr_t show_modal(void* instance, const char* template_name, void* parent,
                    DialogProcedure procedure) {
  DialogProcedure outer = g_procedure;
  g_procedure = procedure;
  const INT_PTR result = DialogBoxParamA(static_cast<HINSTANCE>(instance), template_name,
                                         static_cast<HWND>(parent), forward_to_procedure, 0);
  g_procedure = outer;
  return result;
}

void set_item_text(DialogHandle dialog, int id, const char* text) {
  SetDlgItemTextA(window(dialog), id, text);
}

uint32_t get_item_text(DialogHandle dialog, int id, char* buffer, int size) {
  return GetDlgItemTextA(window(dialog), id, buffer, size);
}

void check_button(DialogHandle dialog, int id, bool checked) {
  CheckDlgButton(window(dialog), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool is_button_checked(DialogHandle dialog, int id) {
  return IsDlgButtonChecked(window(dialog), id) == BST_CHECKED;
}

void end_dialog(DialogHandle dialog, intptr_t result) {
  EndDialog(window(dialog), result);
}

}  // namespace quorvel::dialog
