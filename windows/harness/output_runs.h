// The harness's runs of the plug-in's output function: serving a client with the test
// stream, clients in a row with and without the keep-waiting setting, two clients at once
// with the several-clients setting, an abort while waiting for a client, a port that is
// already taken, and an abort while a client has stopped reading.
#ifndef QUORVEL_WINDOWS_HARNESS_OUTPUT_RUNS_H_
#define QUORVEL_WINDOWS_HARNESS_OUTPUT_RUNS_H_

#include "check_log.h"
#include "options.h"
#include "plugin_module.h"

namespace harness {

// Writes the expected video and audio files, listens on a free port (written to
// --port-file once listening) and serves one client until it disconnects; with
// --keep-waiting 1, clients one after another until the file --stop-file appears.
void run_serve(const PluginModule& module, const Options& options, CheckLog* log);

// The benchmark's host: serves one frame read from --frame-file (--width x --height packed
// YUY2) for every frame number to one client, copying it into its buffer before each fetch
// when --copy-each-frame is 1 (the default), with --read-ahead as given; says
// "listening on port N" on stderr once the plug-in listens.
void run_serve_frames(const PluginModule& module, const Options& options, CheckLog* log);
// Three clients come one after another, each reading the stream info and every frame.
// keep_waiting 1: each is served, a connection tried during the first is refused, and
// once the third has ended the host aborts; the run returns 1 and nothing listens any
// more. keep_waiting 0: the first client's Disconnect ends the run with 1 without an
// abort, and the later clients find no listener.
void run_clients_in_a_row(const PluginModule& module, const Options& options, bool keep_waiting,
                          CheckLog* log);
// With the several-clients setting, two clients are connected at once and read the stream
// info and every frame (one forwards, one backwards); once both have ended, the host
// aborts. The run returns 1 and nothing listens any more.
void run_clients_at_once(const PluginModule& module, const Options& options, CheckLog* log);
// Port "0" (any free port); the host aborts at its third poll.
void run_abort_waiting(const PluginModule& module, CheckLog* log);
// The port is held by a listener of the harness; the run must give up at once with 1.
void run_port_taken(const PluginModule& module, CheckLog* log);
// A client asks for 64 frames and never reads; the host aborts after 1.5 s, and the run
// must end then, although the plug-in's socket is full.
void run_stalled_client(const PluginModule& module, CheckLog* log);

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_OUTPUT_RUNS_H_
