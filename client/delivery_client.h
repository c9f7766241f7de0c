// DeliveryClient: the requests a frame server answers, one call each, with every reply
// checked against the stream before it is used and frames decoded through the codec that
// the reply names. Requests may come in any order (a soak test asks for frames at random),
// but frame and audio requests need the stream info first, since replies are checked
// against it. Frame and audio requests can also be sent ahead of their replies (the server
// answers in order): request_*() sends, receive_*() takes the reply of the oldest request,
// with the same arguments. After a failure the connection is no longer usable: status()
// and error() say why.
#ifndef QUORVEL_CLIENT_DELIVERY_CLIENT_H_
#define QUORVEL_CLIENT_DELIVERY_CLIENT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/client_socket.h"
#include "client/frame_decoder.h"
#include "wire/compression_type.h"
#include "wire/protocol.h"

namespace quorvel::client {

enum class ClientStatus {
  kOk,
  kConnectFailed,  // no connection could be made
  kClosed,         // the server closed the connection
  kIoError,        // a send or receive failed or timed out
  kMalformed,      // a reply that does not fit the request or the stream
  kUnsupported,    // no decoder for the compression could be made (out of memory)
  kMisuse,         // a request the caller should not have made (e.g. frame before stream info)
};

struct FrameReplyInfo {
  int32_t compression = 0;   // CompressionType of the payload
  int32_t payload_size = 0;  // bytes on the wire after the record
  uint32_t frame_size = 0;   // the host's value, passed through
};

// A frame reply as it came: the checked record and the payload, not yet decoded.
struct ReceivedFrame {
  FrameInfoRecord record;
  std::vector<uint8_t> payload;
};

class DeliveryClient {
 public:
  DeliveryClient() = default;
  ~DeliveryClient() = default;
  DeliveryClient(const DeliveryClient&) = delete;
  DeliveryClient& operator=(const DeliveryClient&) = delete;

  // timeout_ms limits each wait for the server; 0 waits forever.
  bool connect(const std::string& host, const std::string& port, int timeout_ms);
  // See ClientSocket::set_stop_check: once the run stops, a wait for a reply that the server
  // keeps too long ends as a failed receive.
  void set_stop_check(StopCheck stop) { socket_.set_stop_check(stop); }

  // GetStreamInfo; the checked record is kept for the replies that follow.
  bool get_stream_info(StreamInfoRecord* info);
  // SetCompression with the mask, then waits for CompressionAck. Frame replies after it
  // must carry the compression that the mask selects (the codec in force when none).
  bool set_compression(uint8_t mask);
  // GetFrame n and its reply, decoded: request_frame, receive_frame and a FrameDecoder of
  // the client's, made at the first call. For one frame at a time (tests, the soak); a fetch
  // sends requests ahead and decodes the replies on its own threads. *frame receives the
  // packed YUY2 frame (width * 2 * height bytes).
  bool get_frame(int32_t frame_number, std::vector<uint8_t>* frame,
                 FrameReplyInfo* reply = nullptr);
  // GetAudio for sample_count samples from first_sample; *audio receives the bytes.
  bool get_audio(int64_t first_sample, int64_t sample_count, std::vector<uint8_t>* audio);

  // The two halves of get_frame and get_audio, for requests sent ahead of their replies.
  // A request that cannot be sent while replies are on their way leaves those replies
  // readable: the failure is kept, and the receives that follow still work.
  bool request_frame(int32_t frame_number);
  // The reply to the oldest request, which must be request_frame(frame_number); checked
  // against the stream, *frame's payload vector is reused.
  bool receive_frame(int32_t frame_number, ReceivedFrame* frame);
  bool request_audio(int64_t first_sample, int64_t sample_count);
  // The reply to the oldest request, which must be request_audio for sample_count samples.
  bool receive_audio(int64_t sample_count, std::vector<uint8_t>* audio);
  // Disconnect, then closes the connection. No reply is expected.
  bool disconnect();
  // Closes the connection without Disconnect, leaving replies on their way unread.
  void abandon() { socket_.close(); }
  // Sends a message as it is (for tests of the server's handling of odd requests).
  bool send_message(int8_t command, const std::vector<uint8_t>& payload);

  ClientStatus status() const { return status_; }
  const std::string& error() const { return error_; }
  bool connected() const { return socket_.connected(); }
  // connect() failed because the server refused the connection.
  bool connection_refused() const { return socket_.connection_refused(); }
  // Bytes received from the server so far (headers, records and payloads).
  uint64_t bytes_received() const { return bytes_received_; }
  const StreamInfoRecord& stream_info() const { return info_; }

 private:
  bool fail(ClientStatus status, const std::string& message);
  bool send_request(const uint8_t* bytes, int length, const char* what);
  bool fail_send(ClientStatus status, const std::string& message);
  bool receive(uint8_t* buffer, uint64_t length, const char* what);
  bool receive_header(int8_t expected_command, const char* what, int32_t* length);
  bool check_frame_record(const FrameInfoRecord& record, int32_t frame_number, int32_t length);
  bool decode_payload(ReceivedFrame* received, std::vector<uint8_t>* frame);

  ClientSocket socket_;
  ClientStatus status_ = ClientStatus::kOk;
  std::string error_;
  bool have_info_ = false;
  StreamInfoRecord info_;
  int32_t expected_compression_ = kCompressionNone;
  std::unique_ptr<FrameDecoder> decoder_;  // get_frame's, made when it is first called
  int64_t replies_pending_ = 0;            // requests sent whose replies are not yet read
  uint64_t bytes_received_ = 0;
};

}  // namespace quorvel::client

#endif  // QUORVEL_CLIENT_DELIVERY_CLIENT_H_
