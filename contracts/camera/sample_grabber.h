#pragma once
// The capture callback object: owns the 30 MiB frame buffer and the frame
// record, counts the frames the receiver still allows, and posts
// WM_CAMERA_FRAME (with the _CAMERAFRAME record of platform/records.h) for
// each frame it lets through.

#include "platform/messages.h"
#include "platform/records.h"

#include <atomic>
#include <cstddef>
#include <memory>

// Result codes of the buffer callback.
constexpr long CAMERA_S_OK = 0;
constexpr long CAMERA_E_POINTER = static_cast<long>(static_cast<int>(0x80004003u));

class CSampleGrabberCB {
 public:
  static constexpr std::size_t kBufferSize = 31457280;

  CSampleGrabberCB();
  CSampleGrabberCB(const CSampleGrabberCB&) = delete;
  CSampleGrabberCB& operator=(const CSampleGrabberCB&) = delete;

  // The object lives as long as its owner; reference counting is fixed.
  unsigned long AddRef() { return 2; }
  unsigned long Release() { return 1; }
  // The per-sample callback does nothing: frames go through BufferCB.
  long SampleCB(double /*time*/, void* /*sample*/) { return CAMERA_S_OK; }
  // One sample of `length` bytes: bottom-up 24-bit rows of the current size.
  long BufferCB(double time, const BYTE* data, long length);

  void SetFrameSize(int width, int height);
  void SetWindow(HWND window, int cameraIndex);
  void SetOneFrame(int count) { count_.store(count, std::memory_order_release); }
  int GetCount() const { return count_.load(std::memory_order_acquire); }
  const _CAMERAFRAME* Record() const { return &record_; }
  const BYTE* Buffer() const { return buffer_.get(); }

 private:
  std::atomic<int> count_{0};
  std::atomic<HWND> window_{nullptr};
  std::atomic<int> index_{0};
  std::atomic<int> width_{0};
  std::atomic<int> height_{0};
  struct CFree {
    void operator()(BYTE* p) const;
  };
  // Zeroed pages from calloc cost no memory until a frame is written, so
  // camera objects that never open stay small.
  std::unique_ptr<BYTE, CFree> buffer_;
  std::size_t dirty_ = 0;  // bytes past this offset are known to be zero
  _CAMERAFRAME record_;
};
