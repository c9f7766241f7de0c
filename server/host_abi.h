// The host's output record, as the host lays it out and passes it to the output function.
// Every field is 32 bits on the 32-bit host; the callbacks use the C default calling
// convention. The session only reads this record.
#ifndef QUORVEL_SERVER_HOST_ABI_H_
#define QUORVEL_SERVER_HOST_ABI_H_

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(__i386__)
#define QUORVEL_CDECL __cdecl
#else
#define QUORVEL_CDECL
#endif

#ifdef __cplusplus
extern "C" {
#endif

// FourCC "YUY2", the only format the session asks the host for.
#define QUORVEL_FOURCC_YUY2 0x32595559u

// Bits of HostOutputInfo.flags.
#define QUORVEL_HOST_HAS_VIDEO 1
#define QUORVEL_HOST_HAS_AUDIO 2

// Returns a pointer to the audio of `sample_count` samples from `first_sample`; the host may
// write the number of samples it delivered to *delivered.
typedef void*(QUORVEL_CDECL* HostGetAudio)(int32_t first_sample, int32_t sample_count,
                                           int32_t* delivered);
// Nonzero once the user has stopped the output.
typedef int32_t(QUORVEL_CDECL* HostIsAborted)(void);
typedef int32_t(QUORVEL_CDECL* HostShowProgress)(int32_t frame_number, int32_t frame_count);
// Called right after every frame fetch.
typedef int32_t(QUORVEL_CDECL* HostNotifyFrame)(void);
// Returns a writable packed YUY2 frame (height rows of width * 2 bytes), valid until the next call.
typedef void*(QUORVEL_CDECL* HostGetFrame)(int32_t frame_number, uint32_t format);

typedef struct HostOutputInfo {
  // Stream properties.
  int32_t flags;
  int32_t width;
  int32_t height;
  uint32_t rate;
  uint32_t scale;
  int32_t frame_count;
  uint32_t frame_size;  // read again after every frame fetch
  int32_t audio_rate;
  int32_t audio_channels;
  uint32_t audio_samples;
  uint8_t unused_40[12];
  // Callbacks.
  HostGetAudio get_audio;
  HostIsAborted is_aborted;
  HostShowProgress show_progress;
  uint8_t unused_64[4];
  HostNotifyFrame notify_frame;
  HostGetFrame get_frame;
} HostOutputInfo;

#ifdef __cplusplus
}  // extern "C"
#endif

#if defined(__cplusplus) && defined(__i386__)
// The host reads the record by offset.
static_assert(offsetof(HostOutputInfo, flags) == 0, "host layout");
static_assert(offsetof(HostOutputInfo, width) == 4, "host layout");
static_assert(offsetof(HostOutputInfo, height) == 8, "host layout");
static_assert(offsetof(HostOutputInfo, rate) == 12, "host layout");
static_assert(offsetof(HostOutputInfo, scale) == 16, "host layout");
static_assert(offsetof(HostOutputInfo, frame_count) == 20, "host layout");
static_assert(offsetof(HostOutputInfo, frame_size) == 24, "host layout");
static_assert(offsetof(HostOutputInfo, audio_rate) == 28, "host layout");
static_assert(offsetof(HostOutputInfo, audio_channels) == 32, "host layout");
static_assert(offsetof(HostOutputInfo, audio_samples) == 36, "host layout");
static_assert(offsetof(HostOutputInfo, get_audio) == 52, "host layout");
static_assert(offsetof(HostOutputInfo, is_aborted) == 56, "host layout");
static_assert(offsetof(HostOutputInfo, show_progress) == 60, "host layout");
static_assert(offsetof(HostOutputInfo, notify_frame) == 68, "host layout");
static_assert(offsetof(HostOutputInfo, get_frame) == 72, "host layout");
static_assert(sizeof(HostOutputInfo) == 76, "host layout");
#endif

#endif  // QUORVEL_SERVER_HOST_ABI_H_
