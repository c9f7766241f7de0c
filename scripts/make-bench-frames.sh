#!/usr/bin/env bash
# Makes the real-looking YUY2 frames that quorvel-bench measures, reproducibly.
#
#   scripts/make-bench-frames.sh [OUTPUT_DIR]      (default: build/bench/bench-frames)
#
# The frames come from two short videos that Debian packages ship: camera footage
# (python3-mecavideo, balle-jbart.mp4) and a detailed illustration (the twentytwentytwo
# WordPress theme, birds.mp4). The packages are fetched with `apt-get download` into
# OUTPUT_DIR/cache and unpacked there, never installed. ffmpeg with -threads 1 gives the
# same bytes on every run; the checksums below pin them (a different ffmpeg may differ by
# a rounding, which the script reports without failing).
#
# When a package cannot be had (no network, no apt), the frame is made from one of ffmpeg's
# synthetic sources instead and frames.txt says so; the benchmark prints that source next
# to the frame's name. QUORVEL_BENCH_FRAMES_OFFLINE=1 forces the synthetic sources.
# Needs: ffmpeg; apt-get and dpkg-deb for the real footage.
set -euo pipefail

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out_dir="${1:-${script_dir}/../build/bench/bench-frames}"
mkdir -p "${out_dir}/cache"
out_dir="$(cd "${out_dir}" && pwd)"
cache="${out_dir}/cache"
manifest="${out_dir}/frames.txt"

command -v ffmpeg >/dev/null || { echo "make-bench-frames: ffmpeg is needed (apt-get install ffmpeg)" >&2; exit 1; }

# Prints the path of VIDEO from PACKAGE, downloading and unpacking the package on first use;
# prints nothing when the package cannot be had.
fetch_video() {
  local package="$1" video="$2" found
  found="$(find "${cache}/${package}" -name "${video}" -print -quit 2>/dev/null || true)"
  [ "${QUORVEL_BENCH_FRAMES_OFFLINE:-0}" = 1 ] && return 0
  if [ -z "${found}" ] && command -v apt-get >/dev/null && command -v dpkg-deb >/dev/null; then
    rm -rf "${cache:?}/${package}" && mkdir -p "${cache}/${package}"
    if (cd "${cache}/${package}" && apt-get download -q "${package}" >/dev/null 2>&1); then
      dpkg-deb -x "${cache}/${package}"/*.deb "${cache}/${package}/root"
      found="$(find "${cache}/${package}" -name "${video}" -print -quit)"
    fi
  fi
  printf '%s' "${found}"
}

# ffmpeg to one packed YUY2 frame: ffmpeg_frame OUTPUT INPUT_ARGS... -- FILTER
ffmpeg_frame() {
  local output="$1"; shift
  local args=()
  while [ "$1" != "--" ]; do args+=("$1"); shift; done
  shift
  ffmpeg -nostdin -v error -threads 1 "${args[@]}" -vf "$1,format=yuyv422" \
    -frames:v 1 -f rawvideo -y "${output}"
}

: > "${manifest}"
# make_frame NAME WIDTH HEIGHT PACKAGE VIDEO FILTER FALLBACK_SOURCE
make_frame() {
  local name="$1" width="$2" height="$3" package="$4" video="$5" filter="$6" fallback="$7"
  local output="${out_dir}/${name}.yuy2" path source
  path="$(fetch_video "${package}" "${video}")"
  if [ -n "${path}" ]; then
    ffmpeg_frame "${output}" -i "${path}" -- "${filter}"
    source="${video} (${package})"
  else
    ffmpeg_frame "${output}" -f lavfi -i "${fallback}=size=${width}x${height}:rate=25" -- "null"
    source="ffmpeg ${fallback} (fallback: ${package} not available)"
    echo "make-bench-frames: ${package} not available, ${name} made from ffmpeg's ${fallback}" >&2
  fi
  local expected_size=$((width * height * 2)) size
  size="$(stat -c %s "${output}")"
  if [ "${size}" -ne "${expected_size}" ]; then
    echo "make-bench-frames: ${name} has ${size} bytes, expected ${expected_size}" >&2
    exit 1
  fi
  printf '%s %d %d %s\n' "${name}" "${width}" "${height}" "${source}" >> "${manifest}"
}

# Camera footage, 720x576: frame 75 cropped to 720x480, and the same frame scaled to 1080p.
make_frame cam_720x480 720 480 python3-mecavideo balle-jbart.mp4 \
  "select=eq(n\,75),crop=720:480:0:48" testsrc2
make_frame cam_1920x1080 1920 1080 python3-mecavideo balle-jbart.mp4 \
  "select=eq(n\,75),scale=1920:1080:flags=bicubic" testsrc2
# The illustration, 1280x720: a native 720x480 crop of frame 9, and frame 9 scaled to 1080p.
make_frame art_720x480 720 480 wordpress-theme-twentytwentytwo birds.mp4 \
  "select=eq(n\,9),crop=720:480:280:120" mandelbrot
make_frame art_1920x1080 1920 1080 wordpress-theme-twentytwentytwo birds.mp4 \
  "select=eq(n\,9),scale=1920:1080:flags=bicubic" mandelbrot

# Checksums seen with Debian bookworm's ffmpeg 5.1 from the packaged videos.
check_sum() {
  local name="$1" expected="$2" actual
  actual="$(sha256sum "${out_dir}/${name}.yuy2" | cut -d' ' -f1)"
  if [ "${actual}" != "${expected}" ]; then
    echo "make-bench-frames: note: ${name}.yuy2 differs from the pinned bytes (other ffmpeg or a fallback source)" >&2
  fi
}
check_sum cam_720x480 005db11206d8747895c153dc058d0b5b74c1e273a294a266cf5d47a94db18a64
check_sum cam_1920x1080 74961a19528b7064f634a9d4819c939d31ffbccdfe35a609b983a0fce28d71c0
check_sum art_720x480 ef284b5fd915d5b3306b499bd67162f938dae63e619e31dfa39c84d37b81a110
check_sum art_1920x1080 4cc151d7a28de120881705fc42a9e3ff9edec4d30e9db13d07190c3551c16fb7

echo "make-bench-frames: frames in ${out_dir}"
cat "${manifest}"
