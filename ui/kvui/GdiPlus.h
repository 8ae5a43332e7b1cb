#pragma once

#include <windows.h>
// Not part of the lean Windows headers, but needed by GDI+.
#include <objidl.h>
#include <propidl.h>
// GDI+ expects the classic min and max.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <memory>

namespace KvUI {

// A decoded image, shared by the controls that show it.
using SharedImage = std::shared_ptr<Gdiplus::Image>;

namespace GdiPlus {

// GDI+ kept started for as long as one share of the instance lives.
class Instance {
 public:
  Instance();
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

 private:
  Gdiplus::GdiplusStartupInput input_;
  ULONG_PTR token_ = 0;
};

std::shared_ptr<Instance> Start();

}  // namespace GdiPlus
}  // namespace KvUI
