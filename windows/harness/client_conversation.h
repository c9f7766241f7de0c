// The harness's own client side of a conversation with the plug-in, over 127.0.0.1 and raw
// frames only (no codec is asked for): connecting while the plug-in comes to listen, the
// stream info, every frame checked against the test stream, Disconnect and the plug-in's
// close. The clients in a row and the clients at once are made of these.
#ifndef QUORVEL_WINDOWS_HARNESS_CLIENT_CONVERSATION_H_
#define QUORVEL_WINDOWS_HARNESS_CLIENT_CONVERSATION_H_

#include <winsock2.h>

#include <cstdint>

#include "test_stream.h"

namespace harness {

// 127.0.0.1:port.
sockaddr_in loopback(uint16_t port);

// Keeps trying for 5 s, 20 ms apart: between two clients the plug-in closes one connection
// and listens anew. INVALID_SOCKET when nothing accepted. Replies are waited for at most
// 20 s each.
SOCKET connect_when_listening(uint16_t port);

// Asks for the stream info; true when width, height and frame count are the stream's.
bool stream_info_matches(SOCKET socket, const StreamShape& shape);

// Asks for every frame, from the first on, or from the last back; true when each is the raw
// bytes the host served.
bool frames_match(SOCKET socket, const StreamShape& shape, bool backwards);

// Sends Disconnect; true when the plug-in then sends nothing more and closes the connection.
bool closed_after_disconnect(SOCKET socket);

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_CLIENT_CONVERSATION_H_
