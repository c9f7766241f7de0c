#include "plugin/config_dialog.h"

#include <cstring>

#include "plugin/config_dialog_ids.h"
#include "plugin/plugin_settings.h"

namespace quorvel {

namespace {

// OK stores at most this many bytes of port text: the NUL then lies before the flags' bytes.
constexpr int kStoredPortTextLimit = kSeveralClientsOffset - 1;

void fill_form(dialog::DialogHandle dialog, const ServerSettings& settings) {
  // A block restored from the host may carry no NUL in its 256 bytes: show at most the
  // kPortTextLimit bytes the server would read, always terminated.
  char port_text[kPortTextSize];
  const void* end = std::memchr(settings.port_text, '\0', kPortTextLimit);
  const size_t length =
      end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - settings.port_text)
                     : kPortTextLimit;
  std::memcpy(port_text, settings.port_text, length);
  port_text[length] = '\0';
  dialog::set_item_text(dialog, QUORVEL_ID_PORT_FIELD, port_text);
  dialog::check_button(dialog, QUORVEL_ID_INTERLACED_BOX, settings.interlaced != 0);
  dialog::check_button(dialog, QUORVEL_ID_TOP_FIELD_FIRST_BOX, settings.top_field_first != 0);
  dialog::check_button(dialog, QUORVEL_ID_READ_AHEAD_BOX, settings.read_ahead != 0);
  dialog::check_button(dialog, QUORVEL_ID_KEEP_WAITING_BOX, keeps_waiting(settings));
  dialog::check_button(dialog, QUORVEL_ID_SEVERAL_CLIENTS_BOX, serves_several_clients(settings));
}

int32_t box_flag(dialog::DialogHandle dialog, int id) {
  return dialog::is_button_checked(dialog, id) ? 1 : 0;
}

void store_form(dialog::DialogHandle dialog, ServerSettings* settings) {
  const uint32_t copied = dialog::get_item_text(dialog, QUORVEL_ID_PORT_FIELD, settings->port_text,
                                                kStoredPortTextLimit + 1);
  // Terminate where the copy ended even if the call did not; bytes after that stay as they were.
  settings->port_text[copied < static_cast<uint32_t>(kStoredPortTextLimit) ? copied
                                                                           : kStoredPortTextLimit] =
      '\0';
  set_keeps_waiting(settings, dialog::is_button_checked(dialog, QUORVEL_ID_KEEP_WAITING_BOX));
  set_serves_several_clients(settings,
                             dialog::is_button_checked(dialog, QUORVEL_ID_SEVERAL_CLIENTS_BOX));
  settings->interlaced = box_flag(dialog, QUORVEL_ID_INTERLACED_BOX);
  settings->top_field_first = box_flag(dialog, QUORVEL_ID_TOP_FIELD_FIRST_BOX);
  settings->read_ahead = box_flag(dialog, QUORVEL_ID_READ_AHEAD_BOX);
}

void handle_command(dialog::DialogHandle dialog, int id) {
  switch (id) {
    case QUORVEL_ID_OK:
      store_form(dialog, &plugin_settings());
      dialog::end_dialog(dialog, 1);
      break;
    case QUORVEL_ID_CANCEL:
      dialog::end_dialog(dialog, 2);
      break;
    default:
      break;
  }
}

}  // namespace

intptr_t config_dialog_procedure(dialog::DialogHandle dialog, uint32_t message, uintptr_t first,
                                 intptr_t /*second*/) {
  switch (message) {
    case dialog::kInitDialogMessage:
      fill_form(dialog, plugin_settings());
      return 1;
    case dialog::kCommandMessage:
      handle_command(dialog, static_cast<int>(first & 0xFFFFu));
      return 0;
    default:
      return 0;
  }
}

intptr_t run_config_dialog(void* parent, void* instance) {
  return dialog::show_modal(instance, kConfigDialogTemplate, parent, config_dialog_procedure);
}

}  // namespace quorvel
