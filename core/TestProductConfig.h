#pragma once

#include <string>

#include "ProductConfig.h"

// A made-up product with fixed values, shown only by the test UI.
class TestProductConfig : public ProductConfig {
 public:
  TestProductConfig(std::wstring id, std::wstring displayName, bool detected)
      : id_(std::move(id)), displayName_(std::move(displayName)), detected_(detected) {}

  std::wstring GetId() const override { return id_; }
  std::wstring GetSubProductId() const override { return {}; }
  std::wstring GetDisplayName() const override { return displayName_; }
  bool IsDetected() const override { return detected_; }
  bool IsSelected() const override { return selected_; }
  void SetSelected(bool selected) override { selected_ = selected; }
  int GetPriority() const override { return 50; }

 private:
  std::wstring id_;
  std::wstring displayName_;
  bool detected_;
  bool selected_ = false;
};
