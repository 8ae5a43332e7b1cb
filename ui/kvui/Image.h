#pragma once

#include "Control.h"
#include "GdiPlus.h"

namespace KvUI {

// A GDI+ image fitted into the control: kept in proportion and centred, or stretched.
class Image : public Control {
 public:
  Image();
  ~Image() override;

  void Draw(HDC dc, RECT* rect) override;
  virtual void SetImage(SharedImage image, bool stretch);
  // Scales each channel of the image by that colour's channel.
  virtual void Tint(COLORREF colour);

 private:
  SharedImage image_;
  std::unique_ptr<Gdiplus::ImageAttributes> attributes_;
  bool stretch_ = false;
};

}  // namespace KvUI
