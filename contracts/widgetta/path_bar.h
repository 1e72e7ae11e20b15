#pragma once
// A path bar: the current folder shown as a row of segments, from the root
// folder (named by its last component) down to the folder, separated by
// arrows. Clicking a segment makes its folder the current one and posts
// WM_COMMAND to the parent with wParam = MAKEWPARAM(bar id, PBN_SELCHANGE)
// and lParam = the bar's handle; GetPath then gives the folder. When the
// segments do not fit, the leading ones after the root fold into "…".

#include <QString>
#include <QStringList>

#include "contracts/widgetta/ui_ctrl.h"

constexpr UINT PBN_SELCHANGE = 1;

class CPathBar : public CUICtrl {
 public:
  // The folder the bar starts at; the current path returns to it.
  void SetRootPath(const QString& root);
  const QString& GetRootPath() const { return root_; }
  // Shows `path`, which must lie in the root folder (or be it). 0 otherwise,
  // and nothing changes.
  int SetPath(const QString& path);
  QString GetPath() const;

  int GetSegmentCount() const { return static_cast<int>(segments_.size()) + 1; }
  // Text and folder of segment `index` (0 is the root).
  QString GetSegmentText(int index) const;
  QString GetSegmentPath(int index) const;
  // Segment under a client point; -1 for none.
  int HitTest(CPoint p) const;

 protected:
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;
  void OnMouseLeave() override;
  void OnPaint(QPainter& painter) override;

 private:
  struct Slot {
    int index;  // segment index, -1 for the fold mark
    QRect box;
  };
  std::vector<Slot> Layout() const;

  QString root_;
  QStringList segments_;  // below the root
  int hot_ = -1;
};
