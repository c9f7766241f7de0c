#include "guarded_buffer.h"

#include <windows.h>

namespace harness {

namespace {
constexpr size_t kPage = 4096;
}  // namespace

uint8_t* GuardedBuffer::resize(size_t size) {
  if (data_ != nullptr && size == size_) return data_;
  release();
  const size_t usable = (size + kPage - 1) / kPage * kPage;
  base_ = VirtualAlloc(nullptr, usable + kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (base_ == nullptr) return nullptr;
  uint8_t* guard = static_cast<uint8_t*>(base_) + usable;
  DWORD previous;
  if (!VirtualProtect(guard, kPage, PAGE_NOACCESS, &previous)) {
    release();
    return nullptr;
  }
  data_ = guard - size;
  size_ = size;
  return data_;
}

void GuardedBuffer::release() {
  if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
  base_ = nullptr;
  data_ = nullptr;
  size_ = 0;
}

}  // namespace harness
