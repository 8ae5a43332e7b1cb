#pragma once

#include "Button.h"
#include "DialogChild.h"
#include "Spinner.h"
#include "TextBlock.h"

// Shown while the products are removed: a turning spinner, the message and a Cancel button
// that stays disabled, since a removal can't be cancelled.
class DialogProgress : public DialogChild {
 public:
  DialogProgress();

  HWND Create(HINSTANCE instance, HWND parent) override;
  int OnInitDialog() override;

 private:
  KvUI::Spinner spinner_;
  KvUI::TextBlock message_;
  KvUI::Button cancel_;
};
