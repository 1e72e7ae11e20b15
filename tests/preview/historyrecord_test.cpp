#include "preview/historyrecord.h"

#include "contracts/fundara/memory.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "test_preview";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app =
      QCoreApplication::instance() ? QCoreApplication::instance() : new QCoreApplication(argc, argv);
  return *app;
}

// A 5 × 3 picture at 24 bits (rows of 15 bytes padded to 16) filled with `tag`.
std::vector<BYTE> Picture(BYTE tag) { return std::vector<BYTE>(16 * 3, tag); }

void AddTagged(CHistoryRecord& h, BYTE tag) {
  const auto pixels = Picture(tag);
  h.Add(pixels.data(), 5, 3, 24, tag % 6, tag, -tag, 2 * tag, CRect(0, 0, 5, tag), 1, 255, 200, tag);
}

// Processes pending messages and returns what the recorder got.
std::vector<CMessageRecorder::Entry> Notices(CMessageRecorder& rec) {
  QCoreApplication::processEvents();
  auto m = rec.Messages();
  rec.Clear();
  return m;
}

}  // namespace

TEST(HistoryRecord, NewHistoryFirstAddAndCapacity) {
  App();
  CHistoryRecord h;
  EXPECT_FALSE(h.CanUndo());
  EXPECT_FALSE(h.CanRedo());
  EXPECT_TRUE(h.IsEmpty());
  EXPECT_EQ(h.GetPos(), -1);
  EXPECT_EQ(h.GetLen(), 0);
  _HISTORYDATA current;
  EXPECT_FALSE(h.GetCurrent(current));
  EXPECT_EQ(current.toneR, 255);
  EXPECT_FALSE(h.Undo(current));
  EXPECT_FALSE(h.Redo(current));

  AddTagged(h, 1);
  EXPECT_EQ(h.GetPos(), 0);
  EXPECT_EQ(h.GetLen(), 1);
  EXPECT_FALSE(h.CanUndo());
  ASSERT_TRUE(h.GetCurrent(current));
  EXPECT_EQ(current.width, 5);
  EXPECT_EQ(current.crop, CRect(0, 0, 5, 1));
  ASSERT_NE(current.data, nullptr);
  EXPECT_EQ(current.data[47], 1);
  DelMem(current.data);

  EXPECT_EQ(CHistoryRecord(50).GetCapacity(), 20);
  EXPECT_EQ(CHistoryRecord(5).GetCapacity(), 5);
  EXPECT_EQ(CHistoryRecord(0).GetCapacity(), 1);
  EXPECT_EQ(CHistoryRecord::BufferSize(5, 3, 24), 48u);
  EXPECT_EQ(CHistoryRecord::BufferSize(5, 3, 32), 60u);
  EXPECT_EQ(CHistoryRecord::BufferSize(6, 2, 8), 16u);
  EXPECT_EQ(CHistoryRecord::BufferSize(-6, 2, 8), 0u);
}

TEST(HistoryRecord, SlidesWhenFullAndUndoesToTheOldestKept) {
  App();
  CHistoryRecord h;
  for (int i = 1; i <= 25; ++i) AddTagged(h, static_cast<BYTE>(i));
  EXPECT_EQ(h.GetLen(), 20);
  EXPECT_EQ(h.GetPos(), 19);
  _HISTORYDATA state;
  ASSERT_TRUE(h.GetCurrent(state));
  EXPECT_EQ(state.luminosity, 25);
  for (int i = 0; i < 19; ++i) ASSERT_TRUE(h.Undo(state)) << i;
  EXPECT_EQ(h.GetPos(), 0);
  // The first five states are gone: the oldest kept is the sixth.
  EXPECT_EQ(state.luminosity, 6);
  EXPECT_EQ(state.contrast, -6);
  EXPECT_EQ(state.data[0], 6);
  EXPECT_FALSE(h.Undo(state));
  EXPECT_EQ(h.GetPos(), 0);
  ASSERT_TRUE(h.Redo(state));
  EXPECT_EQ(state.luminosity, 7);
  DelMem(state.data);

  // A small history slides the same way.
  CHistoryRecord small(3);
  for (int i = 1; i <= 5; ++i) AddTagged(small, static_cast<BYTE>(i));
  EXPECT_EQ(small.GetLen(), 3);
  _HISTORYDATA s;
  small.Undo(s);
  small.Undo(s);
  EXPECT_EQ(s.luminosity, 3);
  DelMem(s.data);
}

TEST(HistoryRecord, AddAfterUndoDropsTheRedoTailAndNoticesFollowEveryChange) {
  App();
  CMessageRecorder rec;
  CHistoryRecord h;
  h.SetHwnd(&rec);
  for (int i = 1; i <= 20; ++i) AddTagged(h, static_cast<BYTE>(i));
  auto m = Notices(rec);
  ASSERT_EQ(m.size(), 20u);
  EXPECT_EQ(m.back().message, WM_HISTORY_RECORD);
  EXPECT_EQ(m.back().wParam, 19u);
  EXPECT_EQ(m.back().lParam, 20);

  // The value form: the caller's buffer is replaced by a new copy.
  BYTE* data = NewMem(7);
  LONG width = 0, height = 0;
  int depth = 0, rotation = 0, lum = 0, con = 0, sat = 0, mode = 0, r = 0, g = 0, b = 0;
  CRect crop;
  ASSERT_TRUE(h.Undo(data, width, height, depth, rotation, lum, con, sat, crop, mode, r, g, b));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data[47], 19);
  EXPECT_EQ(width, 5);
  EXPECT_EQ(height, 3);
  EXPECT_EQ(depth, 24);
  EXPECT_EQ(rotation, 19 % 6);
  EXPECT_EQ(lum, 19);
  EXPECT_EQ(sat, 38);
  EXPECT_EQ(crop, CRect(0, 0, 5, 19));
  EXPECT_EQ(g, 200);
  EXPECT_EQ(b, 19);
  ASSERT_TRUE(h.Undo(data, width, height, depth, rotation, lum, con, sat, crop, mode, r, g, b));
  EXPECT_EQ(lum, 18);
  EXPECT_TRUE(h.CanRedo());
  m = Notices(rec);
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[1].wParam, 17u);
  EXPECT_EQ(m[1].lParam, 20);

  AddTagged(h, 99);
  EXPECT_EQ(h.GetPos(), 18);
  EXPECT_EQ(h.GetLen(), 19);
  EXPECT_FALSE(h.CanRedo());
  lum = -1;
  BYTE* const before = data;
  EXPECT_FALSE(h.Redo(data, width, height, depth, rotation, lum, con, sat, crop, mode, r, g, b));
  EXPECT_EQ(lum, -1);  // refused: nothing changed
  EXPECT_EQ(data, before);
  ASSERT_TRUE(h.Undo(data, width, height, depth, rotation, lum, con, sat, crop, mode, r, g, b));
  EXPECT_EQ(lum, 18);
  ASSERT_TRUE(h.Redo(data, width, height, depth, rotation, lum, con, sat, crop, mode, r, g, b));
  EXPECT_EQ(lum, 99);
  DelMem(data);
  m = Notices(rec);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].wParam, 18u);
  EXPECT_EQ(m[0].lParam, 19);

  // A null buffer adds nothing and posts nothing.
  h.Add(nullptr, 5, 3, 24, 0, 0, 0, 0, CRect(), 0, 255, 255, 255);
  EXPECT_EQ(h.GetLen(), 19);
  EXPECT_TRUE(Notices(rec).empty());

  h.Clear();
  EXPECT_TRUE(h.IsEmpty());
  EXPECT_EQ(h.GetPos(), -1);
  m = Notices(rec);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(static_cast<LPARAM>(m[0].wParam), -1);
  EXPECT_EQ(m[0].lParam, 0);
}

TEST(HistoryRecord, SnapshotsAreIndependentCopies) {
  App();
  CHistoryRecord h;
  auto pixels = Picture(7);
  h.Add(pixels.data(), 5, 3, 24, 0, 0, 0, 0, CRect(0, 0, 5, 3), 0, 255, 255, 255);
  std::memset(pixels.data(), 0, pixels.size());  // the caller reuses its buffer
  _HISTORYDATA a, b;
  ASSERT_TRUE(h.GetCurrent(a));
  ASSERT_TRUE(CHistoryRecord::CopyData(b, a));
  EXPECT_NE(a.data, b.data);
  EXPECT_EQ(b.data[0], 7);
  a.data[0] = 1;
  _HISTORYDATA again;
  h.GetCurrent(again);
  EXPECT_EQ(again.data[0], 7);
  // A record form Add keeps its own copy too.
  b.luminosity = 42;
  h.Add(b);
  b.data[0] = 0;
  h.GetCurrent(again);
  EXPECT_EQ(again.luminosity, 42);
  EXPECT_EQ(again.data[0], 7);
  DelMem(a.data);
  DelMem(b.data);
  DelMem(again.data);
}
