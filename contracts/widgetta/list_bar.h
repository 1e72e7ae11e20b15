#pragma once
// A horizontal strip of items (picture and name) between a backward button
// on the left and a forward button on the right. The buttons page through
// the items; a button is disabled when there is nothing more on its side.
// Clicking an item selects it and posts WM_COMMAND to the parent with
// wParam = MAKEWPARAM(bar id, LBN_SELCHANGE) and lParam = the bar's handle;
// GetCurSel then gives the item.

#include <QImage>
#include <QString>

#include <vector>

#include "contracts/widgetta/gdi_btn.h"

constexpr UINT LBN_SELCHANGE = 1;

class CListBar : public CUICtrl {
 public:
  // Child ids of the two buttons inside the bar.
  static constexpr UINT kBackwardId = 1;
  static constexpr UINT kForwardId = 2;

  // The buttons, each drawn from a picture file. 1 when the picture was
  // read; otherwise the button is still made and drawn as a plain tile
  // with an arrow caption.
  int CreateForwardBtn(const QString& imagePath);
  int CreateBackwardBtn(const QString& imagePath);
  CGdiBtnEx& GetForwardBtn() { return forward_; }
  CGdiBtnEx& GetBackwardBtn() { return backward_; }

  // Appends an item; returns its index. The picture is optional.
  int AddItem(const QString& text, const QString& imagePath = {});
  void RemoveAll();
  int GetItemCount() const { return static_cast<int>(items_.size()); }
  QString GetItemText(int index) const;
  int GetCurSel() const { return current_; }
  int SetCurSel(int index);
  // Index of the first item shown.
  int GetFirstVisible() const { return first_; }
  // How many items fit between the buttons.
  int GetVisibleCount() const;
  // Pages forward or backward; 0 when already at that end.
  int Forward();
  int Backward();
  // Index of the item under a client point; -1 for none.
  int HitTest(CPoint p) const;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnPaint(QPainter& painter) override;
  void OnSize(int cx, int cy) override;

 private:
  struct Item {
    QString text;
    QImage image;
  };
  int ButtonWidth() const;
  QRect ItemRect(int slot) const;
  void Layout();
  int CreateButton(CGdiBtnEx& button, UINT id, const QString& imagePath, const QString& arrow);

  CGdiBtnEx backward_;
  CGdiBtnEx forward_;
  std::vector<Item> items_;
  int current_ = -1;
  int first_ = 0;
};
