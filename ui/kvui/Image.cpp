#include "Image.h"

namespace KvUI {

Image::Image() : attributes_(std::make_unique<Gdiplus::ImageAttributes>()) {}

Image::~Image() {
  attributes_.reset();
  image_.reset();
}

void Image::SetImage(SharedImage image, bool stretch) {
  attributes_->Reset();
  image_ = std::move(image);
  stretch_ = stretch;
  Invalidate();
}

void Image::Tint(COLORREF colour) {
  Gdiplus::ColorMatrix matrix{};
  matrix.m[0][0] = GetRValue(colour) / 255.0f;
  matrix.m[1][1] = GetGValue(colour) / 255.0f;
  matrix.m[2][2] = GetBValue(colour) / 255.0f;
  matrix.m[3][3] = 1.0f;
  matrix.m[4][4] = 1.0f;
  attributes_->SetColorMatrix(&matrix, Gdiplus::ColorMatrixFlagsDefault,
                              Gdiplus::ColorAdjustTypeBitmap);
  Invalidate();
}

void Image::Draw(HDC dc, RECT* rect) {
  FillBackground(dc, rect);
  if (!image_) return;
  Gdiplus::Graphics graphics(dc);
  Gdiplus::RectF bounds;
  Gdiplus::Unit unit = Gdiplus::UnitPixel;
  image_->GetBounds(&bounds, &unit);
  graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBilinear);
  const float w = static_cast<float>(rect->right - rect->left - 1);
  const float h = static_cast<float>(rect->bottom - rect->top - 1);
  Gdiplus::RectF target(static_cast<float>(rect->left), static_cast<float>(rect->top), w, h);
  if (!stretch_ && bounds.Width > 0 && bounds.Height > 0) {
    const float scale = std::min(w / bounds.Width, h / bounds.Height);
    target.Width = scale * bounds.Width;
    target.Height = scale * bounds.Height;
    target.X = rect->left + (w - target.Width) * 0.5f;
    target.Y = rect->top + (h - target.Height) * 0.5f;
  }
  graphics.DrawImage(image_.get(), target, bounds.X, bounds.Y, bounds.Width, bounds.Height, unit,
                     attributes_.get());
}

}  // namespace KvUI
