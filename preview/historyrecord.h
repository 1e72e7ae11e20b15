#pragma once
// Undo and redo history of a still picture: the last states, each a full
// copy of the pixels with every setting that shapes how they are shown.
// Changes are announced to the notice window with WM_HISTORY_RECORD
// (wParam = position, lParam = length).

#include "platform/geometry.h"
#include "platform/messages.h"
#include "platform/records.h"
#include "preview/preview_messages.h"

// One snapshot. `data` (bottom-up rows padded to 4 bytes except at depth
// 32) is owned by the snapshot and comes from NewMem; 0 = empty.
struct _HISTORYDATA {
  BYTE* data = nullptr;
  LONG width = 0;
  LONG height = 0;
  int depth = 0;
  int rotation = 0;  // 0 none, 1-3 quarter turns, 4 flipped, 5 mirrored
  int luminosity = 0;
  int contrast = 0;
  int saturation = 0;
  CRect crop;
  int showMode = 0;
  int toneR = 255;
  int toneG = 255;
  int toneB = 255;
};

class CHistoryRecord {
 public:
  static constexpr int kMaxCapacity = 20;

  CHistoryRecord() : CHistoryRecord(kMaxCapacity) {}
  // Capacity n, at most 20.
  explicit CHistoryRecord(int n);
  ~CHistoryRecord();
  CHistoryRecord(const CHistoryRecord&) = delete;
  CHistoryRecord& operator=(const CHistoryRecord&) = delete;

  void SetHwnd(HWND window) { hwnd_ = window; }

  // Stores a copy as the new current state; whatever could be redone is
  // dropped, and when full the oldest state slides out.
  void Add(const _HISTORYDATA& state);
  // Does nothing when data is null.
  void Add(const BYTE* data, int width, int height, int depth, int rotation, int luminosity, int contrast,
           int saturation, CRect crop, int showMode, int toneR, int toneG, int toneB);

  // One step back: the record form copies the snapshot into `state`; the
  // value form replaces the caller's buffer (DelMem) with a new copy (NewMem).
  bool Undo(_HISTORYDATA& state);
  bool Undo(BYTE*& data, LONG& width, LONG& height, int& depth, int& rotation, int& luminosity, int& contrast,
            int& saturation, CRect& crop, int& showMode, int& toneR, int& toneG, int& toneB);
  bool Redo(_HISTORYDATA& state);
  bool Redo(BYTE*& data, LONG& width, LONG& height, int& depth, int& rotation, int& luminosity, int& contrast,
            int& saturation, CRect& crop, int& showMode, int& toneR, int& toneG, int& toneB);

  bool CanUndo() const { return pos_ > 0; }
  bool CanRedo() const { return pos_ + 1 < len_; }
  bool IsEmpty() const { return len_ == 0; }
  bool GetCurrent(_HISTORYDATA& state) const;
  int GetLen() const { return len_; }
  int GetPos() const { return pos_; }
  int GetCapacity() const { return capacity_; }

  // Releases every snapshot: length 0, position -1.
  void Clear();

  // Copies the values and the pixels of `src` into `dst` (its old buffer is
  // released). False when the pixels cannot be allocated (dst.data is then 0).
  static bool CopyData(_HISTORYDATA& dst, const _HISTORYDATA& src);
  // Bytes of a snapshot's pixel buffer.
  static size_t BufferSize(LONG width, LONG height, int depth);

 private:
  // Moves the position by `step` and hands the snapshot out.
  bool Step(int step, _HISTORYDATA& state);
  bool Step(int step, BYTE*& data, LONG& width, LONG& height, int& depth, int& rotation, int& luminosity,
            int& contrast, int& saturation, CRect& crop, int& showMode, int& toneR, int& toneG, int& toneB);
  void Notify(int wParam, int lParam) const;
  static void ReleaseData(_HISTORYDATA& state);

  int capacity_;
  int len_ = 0;
  int pos_ = -1;
  _HISTORYDATA items_[kMaxCapacity];
  HWND hwnd_ = nullptr;
};
