// RequestReader: takes in one client's request stream, whatever bytes arrive at a time,
// and tells when a request is whole. A request is the 5-byte header, then its payload:
// the first kReceiveBufferSize bytes are kept, the rest is read and dropped, so that the
// stream stays in step with the client; a length of 1 or less carries no payload.
//
// The reader says where the next bytes go and how many it takes there at most: the rest of
// the header, the rest of the kept payload, or the rest of the current kReceiveBufferSize
// piece being dropped. A blocking reader receives exactly that many; a non-blocking one
// whatever the socket holds, up to that many.
#ifndef QUORVEL_SERVER_REQUEST_READER_H_
#define QUORVEL_SERVER_REQUEST_READER_H_

#include <cstdint>

#include "wire/protocol.h"

namespace quorvel {

// Request payloads are kept up to this many bytes; the rest of a longer one is read and
// dropped. No request the server understands needs more, and none needs an allocation.
constexpr int32_t kReceiveBufferSize = 1024;

struct Request {
  int8_t command = 0;
  int32_t payload_length = 0;           // as the header declares it; 0 for a length of 1 or less
  uint8_t payload[kReceiveBufferSize];  // its first min(payload_length, kReceiveBufferSize) bytes
};

class RequestReader {
 public:
  RequestReader() = default;
  RequestReader(const RequestReader&) = delete;
  RequestReader& operator=(const RequestReader&) = delete;

  // Where the next bytes of the stream go, and how many the reader takes there at most;
  // 0 once the request is whole.
  uint8_t* next_bytes();
  int32_t bytes_wanted() const;
  // Takes `count` bytes that were written at next_bytes().
  // REQUIRES: 0 < count <= bytes_wanted().
  void received(int32_t count);

  // True once the request is read whole; request() is then the request, until start_next().
  bool complete() const { return stage_ == Stage::kComplete; }
  const Request& request() const { return request_; }
  // Forgets the request and starts on the next one's header.
  void start_next();

 private:
  enum class Stage { kHeader, kKeptPayload, kDroppedPayload, kComplete };

  // After the header or a part of the payload: on to the next stage that has bytes to read.
  void advance();

  Stage stage_ = Stage::kHeader;
  uint8_t header_[kHeaderSize] = {};
  int32_t got_ = 0;        // bytes of the current header, kept payload or dropped piece
  int32_t kept_ = 0;       // payload bytes kept
  int32_t drop_left_ = 0;  // payload bytes still to drop, the current piece included
  int32_t piece_ = 0;      // size of the piece being dropped
  Request request_;
  uint8_t sink_[kReceiveBufferSize];  // where dropped bytes go
};

}  // namespace quorvel

#endif  // QUORVEL_SERVER_REQUEST_READER_H_
