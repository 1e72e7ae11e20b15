#pragma once
// Small threading helpers: a manual-reset event and the millisecond clock.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// Once set, every wait returns at once until Reset.
class CEvent {
 public:
  explicit CEvent(bool initiallySet = false) : set_(initiallySet) {}
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  void Set() {
    {
      std::lock_guard lock(mutex_);
      set_ = true;
    }
    cv_.notify_all();
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
  }
  bool IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
  }
  // True when the event was set within `timeoutMs` (negative: wait forever).
  bool Wait(int timeoutMs = -1) {
    std::unique_lock lock(mutex_);
    if (timeoutMs < 0) {
      cv_.wait(lock, [this] { return set_; });
      return true;
    }
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return set_; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool set_;
};

// Milliseconds of a monotonic clock, wrapping at 2^32 like GetTickCount.
inline std::uint32_t GetTickCount() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

inline void Sleep(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
