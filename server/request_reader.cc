#include "server/request_reader.h"

#include "util/input_check.h"

namespace quorvel {

uint8_t* RequestReader::next_bytes() {
  switch (stage_) {
    case Stage::kHeader:
      return header_ + got_;
    case Stage::kKeptPayload:
      return request_.payload + got_;
    case Stage::kDroppedPayload:
      return sink_ + got_;
    case Stage::kComplete:
      break;
  }
  return nullptr;
}

int32_t RequestReader::bytes_wanted() const {
  switch (stage_) {
    case Stage::kHeader:
      return kHeaderSize - got_;
    case Stage::kKeptPayload:
      return kept_ - got_;
    case Stage::kDroppedPayload:
      return piece_ - got_;
    case Stage::kComplete:
      break;
  }
  return 0;
}

void RequestReader::received(int32_t count) {
  got_ += count;
  if (bytes_wanted() > 0) return;
  if (stage_ == Stage::kHeader) {
    const MessageHeader header = read_header(header_);
    request_.command = header.command;
    // A length of 1 or less carries no payload.
    request_.payload_length = QUORVEL_INPUT_OK(header.length > 1) ? header.length - 1 : 0;
    kept_ =
        request_.payload_length < kReceiveBufferSize ? request_.payload_length : kReceiveBufferSize;
    drop_left_ = request_.payload_length - kept_;
    stage_ = Stage::kKeptPayload;
  } else if (stage_ == Stage::kDroppedPayload) {
    drop_left_ -= piece_;
  } else {
    stage_ = Stage::kDroppedPayload;
  }
  got_ = 0;
  advance();
}

void RequestReader::advance() {
  if (stage_ == Stage::kKeptPayload && kept_ > 0) return;
  // A payload longer than the buffer is read whole, in pieces of the buffer's size, its
  // excess dropped.
  if (drop_left_ > 0) {
    stage_ = Stage::kDroppedPayload;
    piece_ = drop_left_ < kReceiveBufferSize ? drop_left_ : kReceiveBufferSize;
    return;
  }
  stage_ = Stage::kComplete;
}

void RequestReader::start_next() {
  stage_ = Stage::kHeader;
  got_ = 0;
  kept_ = 0;
  drop_left_ = 0;
  piece_ = 0;
  request_.command = 0;
  request_.payload_length = 0;
}

}  // namespace quorvel
