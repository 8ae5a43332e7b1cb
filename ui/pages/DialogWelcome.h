#pragma once

#include "Button.h"
#include "DialogChild.h"
#include "GdiObject.h"
#include "StaticLink.h"
#include "TextBlock.h"

// The first page: title, what the tool does, the Start button, the licence notice with its
// link to the licence terms, and the notices of the libraries.
class DialogWelcome : public DialogChild {
 public:
  DialogWelcome();
  ~DialogWelcome() override;

  HWND Create(HINSTANCE instance, HWND parent) override;
  int OnInitDialog() override;
  INT_PTR OnCommand(WORD id, WORD code, HWND control) override;
  // The page has Start only; Esc leaves the wizard as Cancel would.
  bool EscapeCancelsWithoutButton() const override { return true; }

 private:
  void LaunchUrl();

  KvUI::TextBlock title_;
  KvUI::TextBlock message_;
  KvUI::Button start_;
  KvUI::StaticLink notice_;
  KvUI::TextBlock luaNotice_;
  KvUI::TextBlock zlibNotice_;
  KvUI::GdiObject titleFont_;
  KvUI::GdiObject smallFont_;
};
