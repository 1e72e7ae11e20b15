#pragma once
// The panel for choosing the picture-library folder: the library's folder
// tree over a background picture, with an OK and a Cancel button below it.
// A click on either button posts WM_COMMAND with the button's id (2 OK,
// 3 Cancel) to the panel's parent; the chosen folder is GetPicLibPath.

#include <QString>

#include "canvas/bufferdc.h"
#include "contracts/widgetta/gdi_btn.h"
#include "imaging/gdi_image.h"
#include "overlay/tree_ctrl_ex.h"
#include "overlay/xml_list_mgr.h"

constexpr UINT ID_DATAPATH_OK = 2;
constexpr UINT ID_DATAPATH_CANCEL = 3;
constexpr UINT ID_DATAPATH_TREE = 3005;

class CSelectDataPathLayer : public CWnd {
 public:
  CSelectDataPathLayer();
  // Creates the panel (200 × 240) at `topLeft` in the parent's client area.
  bool Create(CWnd* parent, CPoint topLeft, UINT id = 0);

  // Stores the path and selects it in the tree.
  void SetPicLibPath(const QString& path);
  const QString& GetPicLibPath() const { return picLibPath_; }
  CTreeCtrlEx& GetTree() { return tree_; }

 protected:
  bool OnEraseBkgnd(QPainter& painter) override;

 private:
  LRESULT OnTreeCtrlSelect(WPARAM, LPARAM);
  LRESULT OnButton(WPARAM wParam, LPARAM lParam);

  CXmlListMgr xml_;
  CGdiImage background_;
  CHdcBtn ok_, cancel_;
  CBufferDC surface_;
  CTreeCtrlEx tree_;
  QString dataPath_;
  QString picLibPath_;
};
