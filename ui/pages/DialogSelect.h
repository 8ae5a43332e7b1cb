#pragma once

#include <string>

#include "Button.h"
#include "DialogChild.h"
#include "ProductConfig.h"

// The choice of what to remove: every product, or the products ticked in a list. Next is
// enabled while something would be removed; the choice reaches the products only on Next.
class DialogSelect : public DialogChild {
 public:
  explicit DialogSelect(ProductList products);

  HWND Create(HINSTANCE instance, HWND parent) override;
  int OnInitDialog() override;
  INT_PTR OnCommand(WORD id, WORD code, HWND control) override;
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void SetupList();
  void AddItem(const std::wstring& name, bool detected, bool selected, size_t index);
  void UpdateNextButton();
  void SaveProductSelections();

  KvUI::Button next_;
  KvUI::Button cancel_;
  HWND list_ = nullptr;
  ProductList products_;
};
