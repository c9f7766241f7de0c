// Fuzz target for Y4mFileVideo: any bytes as a YUV4MPEG2 file. The parser either refuses
// them with a reason or gives a source of even width whose every frame lies inside the
// bytes and converts to YUY2 without a read outside them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "apps/serve/y4m_file_video.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string problem;
  auto video = quorvel::serve::Y4mFileVideo::from_bytes(data, size, 25, 1, &problem);
  if (video == nullptr) {
    if (problem.empty()) __builtin_trap();
    return 0;
  }
  const quorvel::serve::VideoFormat& format = video->format();
  if (format.width <= 0 || format.width % 2 != 0 || format.height <= 0 || format.frame_count <= 0 ||
      format.rate == 0 || format.scale == 0) {
    __builtin_trap();
  }
  // A frame holds at least its luma, so a valid source's frames are no larger than the input.
  const uint64_t luma = static_cast<uint64_t>(format.width) * static_cast<uint64_t>(format.height);
  if (luma * static_cast<uint64_t>(format.frame_count) > size) __builtin_trap();
  std::vector<uint8_t> yuy2(static_cast<size_t>(luma * 2));
  for (int32_t n = 0; n < format.frame_count && n < 16; ++n) {
    if (!video->render(n, yuy2.data(), nullptr)) __builtin_trap();
  }
  if (!video->render(format.frame_count - 1, yuy2.data(), nullptr)) __builtin_trap();
  return 0;
}
