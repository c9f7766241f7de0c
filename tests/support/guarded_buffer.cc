#include "tests/support/guarded_buffer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace quorvel {
namespace {

size_t page_size() {
#if defined(_WIN32)
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
#else
  return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
}

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "GuardedBuffer: %s failed\n", what);
  std::abort();
}

// Maps `size` bytes of read-write pages; null on failure.
uint8_t* map_pages(size_t size) {
#if defined(_WIN32)
  return static_cast<uint8_t*>(
      VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
#else
  void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : static_cast<uint8_t*>(pages);
#endif
}

bool forbid_access(uint8_t* page, size_t size) {
#if defined(_WIN32)
  DWORD old_protection = 0;
  return VirtualProtect(page, size, PAGE_NOACCESS, &old_protection) != 0;
#else
  return mprotect(page, size, PROT_NONE) == 0;
#endif
}

void unmap_pages(uint8_t* pages, size_t size) {
#if defined(_WIN32)
  (void)size;
  VirtualFree(pages, 0, MEM_RELEASE);
#else
  munmap(pages, size);
#endif
}

}  // namespace

GuardedBuffer::GuardedBuffer(size_t size) : size_(size) {
  const size_t page = page_size();
  const size_t readable = (size + page - 1) / page * page;
  mapping_size_ = readable + page;
  mapping_ = map_pages(mapping_size_);
  if (mapping_ == nullptr) fail("mapping the pages");
  if (!forbid_access(mapping_ + readable, page)) fail("protecting the guard page");
  data_ = mapping_ + (readable - size);
}

GuardedBuffer::GuardedBuffer(const uint8_t* bytes, size_t size) : GuardedBuffer(size) {
  if (size != 0) std::memcpy(data_, bytes, size);
}

GuardedBuffer::GuardedBuffer(const std::vector<uint8_t>& bytes)
    : GuardedBuffer(bytes.data(), bytes.size()) {}

GuardedBuffer::~GuardedBuffer() {
  unmap_pages(mapping_, mapping_size_);
}

}  // namespace quorvel
