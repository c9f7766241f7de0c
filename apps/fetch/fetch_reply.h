// FetchReply: a reply as the fetch's receiving thread hands it to an output's writing
// thread, with the request it answers.
#ifndef QUORVEL_APPS_FETCH_FETCH_REPLY_H_
#define QUORVEL_APPS_FETCH_FETCH_REPLY_H_

#include <cstdint>
#include <vector>

#include "apps/fetch/request_plan.h"
#include "client/delivery_client.h"

namespace quorvel::client {

struct FetchReply {
  PlannedRequest request;
  ReceivedFrame frame;          // kFrame
  std::vector<uint8_t> audio;   // kAudio
  uint64_t bytes_received = 0;  // by the client when this reply was in, for the progress line
};

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_FETCH_REPLY_H_
