#include "contracts/camera/sample_grabber.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

void CSampleGrabberCB::CFree::operator()(BYTE* p) const { std::free(p); }

CSampleGrabberCB::CSampleGrabberCB() : buffer_(static_cast<BYTE*>(std::calloc(kBufferSize, 1))) {}

void CSampleGrabberCB::SetFrameSize(int width, int height) {
  width_.store(width);
  height_.store(height);
}

void CSampleGrabberCB::SetWindow(HWND window, int cameraIndex) {
  index_.store(cameraIndex);
  window_.store(window);
}

long CSampleGrabberCB::BufferCB(double /*time*/, const BYTE* data, long length) {
  // Take one frame of the allowance; a negative allowance never runs out.
  int count = count_.load(std::memory_order_acquire);
  for (;;) {
    if (count == 0) return CAMERA_S_OK;
    if (!data || !buffer_) return CAMERA_E_POINTER;
    if (count < 0) break;
    if (count_.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel)) break;
  }

  // The buffer is cleared and the sample copied in only when it fits, so an
  // oversized sample shows as a black frame. Only the bytes an earlier frame
  // wrote beyond this one need clearing: the rest is zero already.
  const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
  if (size <= kBufferSize) {
    std::memcpy(buffer_.get(), data, size);
    if (dirty_ > size) std::memset(buffer_.get() + size, 0, dirty_ - size);
    dirty_ = size;
  } else {
    std::memset(buffer_.get(), 0, dirty_);
    dirty_ = 0;
  }

  record_.data = buffer_.get();
  record_.width = width_.load();
  record_.height = height_.load();
  record_.bitCount = 24;
  record_.palette = nullptr;

  if (HWND window = window_.load())
    PostMessage(window, WM_CAMERA_FRAME, static_cast<WPARAM>(index_.load()),
                reinterpret_cast<LPARAM>(&record_));
  return CAMERA_S_OK;
}
