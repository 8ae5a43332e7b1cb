#pragma once

#include <windows.h>

#include "Dialog.h"
#include "GdiObject.h"

// The base of the wizard's pages: a child dialog inside the main dialog. A page never ends
// itself; it forwards OK and Cancel to its parent, whose owner decides.
class DialogChild : public KvUI::Dialog {
 public:
  ~DialogChild() override;

  INT_PTR OnCommand(WORD id, WORD code, HWND control) override;
  // Creates the page's window from its own template as a child of parent.
  virtual HWND Create(HINSTANCE instance, HWND parent) = 0;
  using KvUI::Dialog::Create;
  // Whether Esc, which the dialog manager sends as IDCANCEL, cancels the page although it
  // shows no Cancel button. Pages with a Cancel button answer Esc only through that button.
  virtual bool EscapeCancelsWithoutButton() const { return false; }

 protected:
  // Sends IDOK or IDCANCEL to the parent as a command from this page.
  void ForwardToParent(WORD id, WORD code);

  KvUI::GdiObject pageFont_;
};
