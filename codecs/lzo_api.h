// The LZO1X calls the codecs use: liblzo2 natively, miniLZO (the same calls and format) in
// the Windows build.
#ifndef QUORVEL_CODECS_LZO_API_H_
#define QUORVEL_CODECS_LZO_API_H_

#if defined(QUORVEL_USE_MINILZO)
#include <minilzo.h>
#else
#include <lzo/lzo1x.h>
#endif

#endif  // QUORVEL_CODECS_LZO_API_H_
