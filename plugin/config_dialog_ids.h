/* Control ids of the settings dialog "CONFIG", shared by its resource template
   (config_dialog.rc, read by the resource compiler: plain #defines only) and its dialog
   procedure. OK and Cancel are the standard ids 1 and 2. */
#ifndef QUORVEL_PLUGIN_CONFIG_DIALOG_IDS_H_
#define QUORVEL_PLUGIN_CONFIG_DIALOG_IDS_H_

#define QUORVEL_ID_OK 1
#define QUORVEL_ID_CANCEL 2
#define QUORVEL_ID_PORT_FIELD 100
#define QUORVEL_ID_INTERLACED_BOX 1000
#define QUORVEL_ID_TOP_FIELD_FIRST_BOX 1001
#define QUORVEL_ID_READ_AHEAD_BOX 1002
#define QUORVEL_ID_KEEP_WAITING_BOX 1003
#define QUORVEL_ID_SEVERAL_CLIENTS_BOX 1004

#endif /* QUORVEL_PLUGIN_CONFIG_DIALOG_IDS_H_ */
