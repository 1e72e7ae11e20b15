#include "preview/historyrecord.h"

#include "contracts/fundara/memory.h"

#include <cstring>

CHistoryRecord::CHistoryRecord(int n) : capacity_(n <= kMaxCapacity ? n : kMaxCapacity) {
  // A history must hold at least the current state.
  if (capacity_ < 1) capacity_ = 1;
}

CHistoryRecord::~CHistoryRecord() {
  for (auto& item : items_) ReleaseData(item);
}

size_t CHistoryRecord::BufferSize(LONG width, LONG height, int depth) {
  if (width <= 0 || height <= 0 || depth <= 0) return 0;
  const size_t row = (static_cast<size_t>(width) * depth + 7) / 8;
  const size_t stride = depth == 32 ? row : (row + 3) & ~size_t{3};
  return stride * static_cast<size_t>(height);
}

void CHistoryRecord::ReleaseData(_HISTORYDATA& state) {
  DelMem(state.data);
  state.data = nullptr;
}

bool CHistoryRecord::CopyData(_HISTORYDATA& dst, const _HISTORYDATA& src) {
  if (&dst == &src) return src.data != nullptr;
  ReleaseData(dst);
  BYTE* keep = nullptr;
  const size_t size = BufferSize(src.width, src.height, src.depth);
  bool ok = true;
  if (src.data) {
    keep = NewMem(size);
    if (keep) {
      std::memset(keep, 0, size);
      std::memcpy(keep, src.data, size);
    } else {
      ok = false;
    }
  }
  dst = src;
  dst.data = keep;
  return ok;
}

void CHistoryRecord::Notify(int wParam, int lParam) const {
  if (hwnd_) PostMessage(hwnd_, WM_HISTORY_RECORD, static_cast<WPARAM>(static_cast<LPARAM>(wParam)), lParam);
}

void CHistoryRecord::Add(const _HISTORYDATA& state) {
  len_ = pos_ + 1;
  if (pos_ + 1 < capacity_) {
    ++pos_;
    CopyData(items_[pos_], state);
    len_ = pos_ + 1;
  } else {
    // Full: every snapshot moves one place down and the oldest is lost.
    for (int i = 0; i + 1 < capacity_; ++i) CopyData(items_[i], items_[i + 1]);
    CopyData(items_[capacity_ - 1], state);
    pos_ = capacity_ - 1;
    len_ = capacity_;
  }
  // Snapshots beyond the length hold nothing.
  for (int i = len_; i < kMaxCapacity; ++i) ReleaseData(items_[i]);
  Notify(pos_, len_);
}

void CHistoryRecord::Add(const BYTE* data, int width, int height, int depth, int rotation, int luminosity,
                         int contrast, int saturation, CRect crop, int showMode, int toneR, int toneG,
                         int toneB) {
  if (!data) return;
  _HISTORYDATA state;
  state.data = const_cast<BYTE*>(data);  // only read by CopyData
  state.width = width;
  state.height = height;
  state.depth = depth;
  state.rotation = rotation;
  state.luminosity = luminosity;
  state.contrast = contrast;
  state.saturation = saturation;
  state.crop = crop;
  state.showMode = showMode;
  state.toneR = toneR;
  state.toneG = toneG;
  state.toneB = toneB;
  Add(state);
}

bool CHistoryRecord::Step(int step, _HISTORYDATA& state) {
  pos_ += step;
  const bool ok = CopyData(state, items_[pos_]);
  Notify(pos_, len_);
  return ok;
}

bool CHistoryRecord::Step(int step, BYTE*& data, LONG& width, LONG& height, int& depth, int& rotation,
                          int& luminosity, int& contrast, int& saturation, CRect& crop, int& showMode, int& toneR,
                          int& toneG, int& toneB) {
  pos_ += step;
  const _HISTORYDATA& item = items_[pos_];
  DelMem(data);
  data = nullptr;
  const size_t size = BufferSize(item.width, item.height, item.depth);
  bool ok = false;
  if (item.data && (data = NewMem(size)) != nullptr) {
    std::memcpy(data, item.data, size);
    ok = true;
  }
  width = item.width;
  height = item.height;
  depth = item.depth;
  rotation = item.rotation;
  luminosity = item.luminosity;
  contrast = item.contrast;
  saturation = item.saturation;
  crop = item.crop;
  showMode = item.showMode;
  toneR = item.toneR;
  toneG = item.toneG;
  toneB = item.toneB;
  Notify(pos_, len_);
  return ok;
}

bool CHistoryRecord::Undo(_HISTORYDATA& state) {
  if (pos_ <= 0) return false;
  return Step(-1, state);
}

bool CHistoryRecord::Undo(BYTE*& data, LONG& width, LONG& height, int& depth, int& rotation, int& luminosity,
                          int& contrast, int& saturation, CRect& crop, int& showMode, int& toneR, int& toneG,
                          int& toneB) {
  if (pos_ <= 0) return false;
  return Step(-1, data, width, height, depth, rotation, luminosity, contrast, saturation, crop, showMode, toneR,
              toneG, toneB);
}

bool CHistoryRecord::Redo(_HISTORYDATA& state) {
  if (pos_ + 1 >= len_) return false;
  return Step(1, state);
}

bool CHistoryRecord::Redo(BYTE*& data, LONG& width, LONG& height, int& depth, int& rotation, int& luminosity,
                          int& contrast, int& saturation, CRect& crop, int& showMode, int& toneR, int& toneG,
                          int& toneB) {
  if (pos_ + 1 >= len_) return false;
  return Step(1, data, width, height, depth, rotation, luminosity, contrast, saturation, crop, showMode, toneR,
              toneG, toneB);
}

bool CHistoryRecord::GetCurrent(_HISTORYDATA& state) const {
  if (pos_ < 0 || pos_ >= len_) return false;
  return CopyData(state, items_[pos_]);
}

void CHistoryRecord::Clear() {
  for (auto& item : items_) {
    ReleaseData(item);
    item = _HISTORYDATA{};
  }
  len_ = 0;
  pos_ = -1;
  Notify(-1, 0);
}
