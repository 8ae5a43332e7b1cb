#pragma once

#include "Button.h"
#include "DialogChild.h"
#include "IGuiManager.h"
#include "Image.h"
#include "TextBlock.h"

// The result page: an image and the message of its kind, a Close button and, when a restart
// is needed, a Restart button.
class DialogMessage : public DialogChild {
 public:
  explicit DialogMessage(MessageKind kind);

  HWND Create(HINSTANCE instance, HWND parent) override;
  int OnInitDialog() override;

 private:
  KvUI::Image image_;
  KvUI::TextBlock message_;
  KvUI::Button ok_;
  KvUI::Button cancel_;
  int kind_;
};
