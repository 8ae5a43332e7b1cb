#include "GdiPlus.h"

namespace KvUI::GdiPlus {

Instance::Instance() : input_(nullptr, FALSE, FALSE) {
  Gdiplus::GdiplusStartup(&token_, &input_, nullptr);
}

Instance::~Instance() {
  if (token_ != 0) Gdiplus::GdiplusShutdown(token_);
}

std::shared_ptr<Instance> Start() { return std::make_shared<Instance>(); }

}  // namespace KvUI::GdiPlus
