#include "apps/fetch/audio_writer.h"

#include <vector>

#include "apps/fetch/wav_writer.h"

namespace quorvel::client {

bool AudioWriter::write(const FetchReply& reply) {
  if (!setup_.output->is_open() && !start()) return false;
  if (!write_output(setup_.output, &end_, reply.audio.data(), reply.audio.size())) return false;
  samples_written_ += static_cast<uint64_t>(reply.request.sample_count);
  return true;
}

bool AudioWriter::start() {
  std::vector<uint8_t> header;
  if (!wav_header(setup_.channels, setup_.rate, setup_.samples, &header)) {
    end_.error = "the audio is too long for a WAV file";
    return false;
  }
  return open_output(setup_.output, &end_) &&
         write_output(setup_.output, &end_, header.data(), header.size());
}

}  // namespace quorvel::client
