// StandInDialog: the dialog seam (plugin/dialog_api.h) without Windows. show_modal sends the
// initialisation message to the procedure, then plays the test's user script against the
// form (texts and check marks by control id) until the procedure ends the dialog.
// GetDlgItemTextA's cut (size - 1 bytes and a NUL) is reproduced; every call is recorded.
#ifndef QUORVEL_TESTS_PLUGIN_DIALOG_STAND_IN_H_
#define QUORVEL_TESTS_PLUGIN_DIALOG_STAND_IN_H_

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "plugin/dialog_api.h"

namespace quorvel::testing {

// WM_COMMAND's notification code of a clicked button, in the high 16 bits of the first
// parameter.
constexpr uintptr_t kButtonClicked = 0;

struct StandInDialog {
  // What show_modal was asked for.
  void* instance = nullptr;
  std::string template_name;
  void* parent = nullptr;
  // The form: control id -> text, control id -> checked.
  std::map<int, std::string> texts;
  std::map<int, bool> checked;
  // Played after the initialisation message; it acts as the user.
  std::function<void(StandInDialog&)> user;
  // When set, show_modal fails as DialogBoxParamA does without a template.
  bool fail_to_open = false;

  intptr_t init_result = 0;
  bool ended = false;
  intptr_t end_result = 0;
  int end_calls = 0;
  int item_calls = 0;         // every seam call but show_modal and end_dialog
  bool wrong_handle = false;  // a call named another window than the open dialog

  dialog::DialogProcedure procedure = nullptr;

  // The user's actions, each delivered the way the dialog manager delivers it.
  intptr_t press(int id, uintptr_t notification = kButtonClicked);
  void type(int id, const std::string& text) { texts[id] = text; }
  void toggle(int id) { checked[id] = !checked[id]; }
  intptr_t send(uint32_t message, uintptr_t first, intptr_t second);
};

// The dialog the seam works on; reset() before each test.
StandInDialog& stand_in();
void reset_stand_in();

}  // namespace quorvel::testing

#endif  // QUORVEL_TESTS_PLUGIN_DIALOG_STAND_IN_H_
