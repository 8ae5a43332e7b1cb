#pragma once

#include <windows.h>

#include "Wnd.h"

namespace KvUI {

// A dialog built from a template and bound to its window by the one dialog procedure of the
// toolkit: the object exists first, its window is bound at WM_INITDIALOG and unbound at
// WM_DESTROY. Each handled message has its own virtual operation.
class Dialog : public Wnd {
 public:
  Dialog() = default;
  // Destroys the window when it still exists.
  virtual ~Dialog();

  virtual INT_PTR DoModal(HINSTANCE instance, int templateId, HWND parent);
  // A modeless dialog, not yet shown; null on failure.
  virtual HWND Create(HINSTANCE instance, int templateId, HWND parent);
  // Messages without an operation of their own; 0 = not handled.
  virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  virtual int OnInitDialog();
  // IDOK and IDCANCEL end the dialog with their id and answer 0; other ids answer 1.
  virtual INT_PTR OnCommand(WORD id, WORD code, HWND control);
  virtual INT_PTR OnDrawItem(UINT id, DRAWITEMSTRUCT* item);
  // The background of the dialog and of its standard controls: white.
  virtual HBRUSH OnCtlColor(HDC dc, HWND control);
  virtual void OnDestroy();

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace KvUI
