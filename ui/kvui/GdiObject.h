#pragma once

#include <windows.h>

#include <utility>

#include "UniqueAny.h"

namespace KvUI {

// Owns one GDI object (the pages' fonts); empty when it holds none.
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(HGDIOBJ object) : object_(object) {}

  HGDIOBJ Get() const { return object_.get(); }
  HFONT GetFont() const { return static_cast<HFONT>(object_.get()); }
  // Deletes the held object, if any.
  void Release() { object_.reset(); }

 private:
  UniqueGdi<HGDIOBJ> object_;
};

}  // namespace KvUI
