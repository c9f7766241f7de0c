#include "tests/plugin/dialog_stand_in.h"

#include <cstring>

namespace quorvel::testing {

namespace {

StandInDialog g_dialog;

// The handle the seam hands to the procedure: the stand-in's own address.
dialog::DialogHandle handle() {
  return &g_dialog;
}

StandInDialog& checked_dialog(dialog::DialogHandle window) {
  if (window != handle()) g_dialog.wrong_handle = true;
  ++g_dialog.item_calls;
  return g_dialog;
}

}  // namespace

StandInDialog& stand_in() {
  return g_dialog;
}

void reset_stand_in() {
  g_dialog = StandInDialog();
}

intptr_t StandInDialog::send(uint32_t message, uintptr_t first, intptr_t second) {
  return procedure(handle(), message, first, second);
}

intptr_t StandInDialog::press(int id, uintptr_t notification) {
  return send(dialog::kCommandMessage, (notification << 16) | static_cast<uint16_t>(id), 0);
}

}  // namespace quorvel::testing

namespace quorvel::dialog {

using testing::g_dialog;

intptr_t show_modal(void* instance, const char* template_name, void* parent,
                    DialogProcedure procedure) {
  g_dialog.instance = instance;
  g_dialog.template_name = template_name;
  g_dialog.parent = parent;
  if (g_dialog.fail_to_open) return -1;
  g_dialog.procedure = procedure;
  g_dialog.init_result = g_dialog.send(kInitDialogMessage, 0, 0);
  if (g_dialog.user) g_dialog.user(g_dialog);
  // A modal dialog returns only once it is ended; a script that never ends it is a test bug.
  return g_dialog.ended ? g_dialog.end_result : -2;
}

void set_item_text(DialogHandle window, int id, const char* text) {
  testing::checked_dialog(window).texts[id] = text;
}

uint32_t get_item_text(DialogHandle window, int id, char* buffer, int size) {
  const std::string& text = testing::checked_dialog(window).texts[id];
  if (size <= 0) return 0;
  const size_t copied =
      text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
  std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
  return static_cast<uint32_t>(copied);
}

void check_button(DialogHandle window, int id, bool checked) {
  testing::checked_dialog(window).checked[id] = checked;
}

bool is_button_checked(DialogHandle window, int id) {
  return testing::checked_dialog(window).checked[id];
}

void end_dialog(DialogHandle window, intptr_t result) {
  if (window != testing::handle()) g_dialog.wrong_handle = true;
  ++g_dialog.end_calls;
  g_dialog.ended = true;
  g_dialog.end_result = result;
}

}  // namespace quorvel::dialog
