// What quorvel-serve tells the user about its input files before it serves them: what it
// serves differently from what a file says or seems to say. A Y4M without a frame rate, a
// --rate its F tag overrides, a last frame cut off; a WAV whose data chunk claims more than
// the file holds, a speaker layout that no client can learn (only the channel count
// travels), and audio that ends before or after the video.
#ifndef QUORVEL_APPS_SERVE_INPUT_NOTES_H_
#define QUORVEL_APPS_SERVE_INPUT_NOTES_H_

#include <string>
#include <vector>

#include "apps/serve/media_source.h"
#include "apps/serve/wav_file_audio.h"
#include "apps/serve/y4m_file_video.h"

namespace quorvel::serve {

// One line each, without the program's name. rate_given: --rate was on the command line
// (and is the rate served when the file says none).
std::vector<std::string> y4m_notes(const std::string& path, const Y4mFileVideo& video,
                                   bool rate_given);

// video is the stream the audio goes with (the file's or the test pattern's).
std::vector<std::string> wav_notes(const std::string& path, const WavFileAudio& audio,
                                   const VideoFormat& video);

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_INPUT_NOTES_H_
