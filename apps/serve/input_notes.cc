#include "apps/serve/input_notes.h"

#include <cstdio>

#include "apps/common/speaker_layout.h"
#include "apps/serve/test_tone.h"

namespace quorvel::serve {

namespace {

std::string rate_text(const VideoFormat& format) {
  return std::to_string(format.rate) + "/" + std::to_string(format.scale);
}

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

std::string seconds(uint64_t samples, int32_t rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s",
                static_cast<double>(samples) / static_cast<double>(rate));
  return text;
}

std::string layout_note(const std::string& path, const WavFileAudio& audio) {
  const int channels = audio.format().channels;
  const uint32_t mask = audio.channel_mask();
  const uint32_t usual = apps::usual_speaker_mask(channels);
  if (mask == 0 || mask == usual) return "";
  return path + "'s speakers are " + hex(mask) + " (" + apps::speaker_names(mask) +
         "); only the channel count travels to a client, which takes " + std::to_string(channels) +
         " channels as " + hex(usual) + " (" + apps::speaker_names(usual) + ")";
}

// Audio shorter or longer than the video by a frame or more.
std::string length_note(const std::string& path, const AudioFormat& audio,
                        const VideoFormat& video) {
  const uint64_t with_video =
      tone_samples_for(video.frame_count, video.rate, video.scale, audio.rate);
  const uint64_t one_frame = tone_samples_for(1, video.rate, video.scale, audio.rate);
  const uint64_t samples = audio.samples;
  const std::string lengths = " (" + seconds(samples, audio.rate) + ") than the video (" +
                              seconds(with_video, audio.rate) + ", " +
                              std::to_string(video.frame_count) + " frames)";
  if (samples + one_frame <= with_video) {
    return path + " is shorter" + lengths + "; past its end clients get silence";
  }
  if (samples >= with_video + one_frame) {
    return path + " is longer" + lengths +
           "; a client that writes the video too, as quorvel-fetch does, writes only the "
           "audio of the frames";
  }
  return "";
}

}  // namespace

std::vector<std::string> y4m_notes(const std::string& path, const Y4mFileVideo& video,
                                   bool rate_given) {
  std::vector<std::string> notes;
  const VideoFormat& format = video.format();
  if (!video.says_rate() && !rate_given) {
    notes.push_back(path + " does not say its frame rate (no F tag, or F0:0); serving it at " +
                    rate_text(format) + "; give --rate to say otherwise");
  }
  if (video.says_rate() && rate_given) {
    notes.push_back(path + " says its frame rate, " + rate_text(format) +
                    "; --rate applies only to a file that does not");
  }
  if (video.cut_frame_bytes() > 0) {
    notes.push_back(path + " ends inside frame " + std::to_string(format.frame_count) + " (" +
                    std::to_string(video.cut_frame_bytes()) +
                    " bytes of it are there); serving the " + std::to_string(format.frame_count) +
                    " whole frames before it");
  }
  return notes;
}

std::vector<std::string> wav_notes(const std::string& path, const WavFileAudio& audio,
                                   const VideoFormat& video) {
  std::vector<std::string> notes;
  if (audio.missing_data_bytes() > 0) {
    notes.push_back(path + " ends " + std::to_string(audio.missing_data_bytes()) +
                    " bytes before the end its data chunk gives; serving the " +
                    std::to_string(audio.format().samples) + " samples it holds");
  }
  for (const std::string& note :
       {layout_note(path, audio), length_note(path, audio.format(), video)}) {
    if (!note.empty()) notes.push_back(note);
  }
  return notes;
}

}  // namespace quorvel::serve
