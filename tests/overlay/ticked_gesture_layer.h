#pragma once
// The gesture layer with its timers fired by the test (no real waits).

#include "overlay/gesture_layer.h"

#include <set>

namespace overlay_test {

// The layer with its timers fired by the test: a tick reaches only a
// running timer, as a real one would; the real ticks are left out, so
// that a slow run cannot move the state on by itself.
class TickedGestureLayer : public CGestureRecognitionLayer {
 public:
  void Tick(UINT id) {
    if (!HasTimer(id)) return;
    ticking_ = true;
    OnTimer(id);
    ticking_ = false;
  }
  void Ticks(UINT id, int n) {
    for (int i = 0; i < n; ++i) Tick(id);
  }
  std::set<UINT> RunningTimers() const {
    std::set<UINT> running;
    for (const UINT id : {kWarmUpTimer, kPhotographTimer, kActivityTimer})
      if (HasTimer(id)) running.insert(id);
    return running;
  }

 protected:
  void OnTimer(UINT id) override {
    if (ticking_) CGestureRecognitionLayer::OnTimer(id);
  }

 private:
  bool ticking_ = false;
};

}  // namespace overlay_test
