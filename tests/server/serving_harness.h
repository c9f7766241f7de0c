// Helpers for the server tests: requests as a client lays them out, the server's replies
// cut apart again, and a fixture that resets the scripted sockets and runs the server
// against a ScriptedHost.
#ifndef QUORVEL_TESTS_SERVER_SERVING_HARNESS_H_
#define QUORVEL_TESTS_SERVER_SERVING_HARNESS_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "codecs/codec_factory.h"
#include "server/server_settings.h"
#include "tests/support/fake_sockets.h"
#include "tests/support/scripted_host.h"
#include "wire/protocol.h"

namespace quorvel::testing {

using Bytes = std::vector<uint8_t>;

// A request of any command with the given payload; the length field is 1 + payload size.
Bytes message(int8_t command, const Bytes& payload = {});
Bytes get_frame_request(int32_t frame_number);
Bytes get_audio_request(int32_t first_sample, int32_t sample_count, int32_t byte_count);
Bytes set_compression_request(uint8_t mask);
Bytes stream_info_request();
Bytes disconnect_request();
Bytes concat(const std::vector<Bytes>& parts);

// One message the server sent, cut from the stream by its length field.
struct Reply {
  int32_t length;
  int8_t command;
  Bytes payload;  // length - 1 bytes, or fewer when the stream ended early
  bool complete;
};
std::vector<Reply> parse_replies(const Bytes& stream);

// The parts of a FrameReply: its record and the codec's bytes.
FrameInfoRecord frame_info_of(const Reply& reply);
Bytes frame_payload_of(const Reply& reply);
// The frame numbers of the FrameReplies in the stream, in order.
std::vector<int32_t> sent_frame_numbers(const std::vector<Reply>& replies);

class ServingTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Runs the server with settings_ against host; returns run_server's result.
  int32_t run(const ScriptedHost& host);
  // The client's requests, all arriving at time 0 before the client closes.
  void client_sends(const std::vector<Bytes>& requests);
  std::vector<Reply> replies() const;
  // Every socket closed once, the sockets library started and cleaned up once, nothing left
  // hanging on the fake clock's time limit.
  void expect_ended_cleanly() const;

  ServerSettings settings_ = kDefaultSettings;
};

}  // namespace quorvel::testing

#endif  // QUORVEL_TESTS_SERVER_SERVING_HARNESS_H_
