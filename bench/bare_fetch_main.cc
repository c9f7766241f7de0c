// quorvel-bare-fetch: a receiving client that only receives. It fetches frames 0..N-1 from a
// server on 127.0.0.1 with one codec and decodes nothing, so its frames per second are the
// server's (and the connection's) share alone, beside quorvel-fetch's on the same server.
//
//   quorvel-bare-fetch PORT [--compression none|lzo|fano|deflate] [--frames N]
//
// Prints one line: frames, seconds, frames/s and the reply bytes per frame (header, frame
// record and payload, as they went over the wire); exits 1 when a reply does not arrive or
// comes with another codec than the one asked for.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "bench/bare_client.h"
#include "codecs/codec_table.h"
#include "wire/compression_type.h"

namespace quorvel::bench {

namespace {

int bare_fetch_main(int argc, char** argv) {
  CLI::App app{"quorvel-bare-fetch: receive frames without decoding them"};
  int port = 0;
  CompressionType compression = kCompressionNone;
  int32_t frames = 100;
  std::map<std::string, CompressionType> codecs;
  for (const CodecRow& row : kCodecTable) codecs[row.name] = row.type;
  app.add_option("port", port, "the server's port on 127.0.0.1")
      ->required()
      ->check(CLI::Range(1, 65535));
  app.add_option("--compression", compression, "none, lzo, fano or deflate")
      ->transform(CLI::CheckedTransformer(codecs));
  app.add_option("--frames", frames, "fetch frames 0 to N-1")->check(CLI::Range(1, 1000000));
  CLI11_PARSE(app, argc, argv);

  BareClient client(static_cast<uint16_t>(port));
  const uint8_t mask = static_cast<uint8_t>(compression);
  if (!client.connected() || (mask != 0 && !client.set_compression(mask)) ||
      !client.get_stream_info()) {
    std::fprintf(stderr, "quorvel-bare-fetch: no session on port %d\n", port);
    return 1;
  }
  uint64_t reply_bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int32_t frame = 0; frame < frames; ++frame) {
    if (!client.get_frame(frame) || client.last_compression() != compression) {
      std::fprintf(stderr, "quorvel-bare-fetch: frame %d did not arrive as asked\n", frame);
      return 1;
    }
    reply_bytes += client.last_reply_bytes();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  client.disconnect();
  std::printf("frames %d seconds %.4f frames_per_second %.2f reply_bytes_per_frame %llu\n", frames,
              seconds, frames / seconds,
              static_cast<unsigned long long>(reply_bytes / static_cast<uint64_t>(frames)));
  return 0;
}

}  // namespace

}  // namespace quorvel::bench

int main(int argc, char** argv) {
  return quorvel::bench::bare_fetch_main(argc, argv);
}
