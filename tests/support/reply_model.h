// A model of what a server must answer to one client's request stream, read as a client
// of the protocol reads it, and a check of the bytes the server sent that client against
// it: every reply answers its request, is framed exactly, carries zeros in reserved bytes,
// and a frame decodes through the codec it names to the frame the ScriptedHost served. The
// session fuzzer and the several-clients tests judge replies by it.
#ifndef QUORVEL_TESTS_SUPPORT_REPLY_MODEL_H_
#define QUORVEL_TESTS_SUPPORT_REPLY_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "server/server_settings.h"
#include "tests/support/scripted_host.h"

namespace quorvel {

// What the server must answer to one request.
enum class Expect { kNothing, kStop, kStreamInfo, kAck, kFrame, kAudio };

struct ExpectedReply {
  Expect kind;
  int32_t frame_number;
  int32_t compression;  // the codec in force for a frame
  int32_t first_sample;
  int32_t sample_count;
  int32_t byte_count;
};

// The replies due to a client stream, up to the first request that ends the conversation
// (kStop: Disconnect, a payload shorter than its fields, a bad byte count) or the end of
// the stream, where the client closes. Requests without an answer are left out.
std::vector<ExpectedReply> model_replies(const uint8_t* data, size_t size);

// What may cut a client's replies short.
struct ReplyAllowance {
  // The fake's cap on send() calls was reached: any reply may end early, and nothing follows.
  bool capped = false;
  // The client stopped reading after this many bytes (0: it never did): an AudioReply's
  // header cut there ends the conversation.
  size_t stall_after = 0;
  // The samples the host delivers for every GetAudio; -1: as many as asked.
  int32_t delivered_samples = -1;
};

// Checks the bytes sent to one client against its model: "" when they answer it, else what
// is wrong, with the reply's index.
std::string check_replies(const std::vector<uint8_t>& sent,
                          const std::vector<ExpectedReply>& expected, const ScriptedHost& host,
                          const ServerSettings& settings, const ReplyAllowance& allowance);

}  // namespace quorvel

#endif  // QUORVEL_TESTS_SUPPORT_REPLY_MODEL_H_
