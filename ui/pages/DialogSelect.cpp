#include "DialogSelect.h"

#include <commctrl.h>

#include <algorithm>

#include "Colours.h"
#include "Font.h"
#include "Log.h"
#include "ResourceIds.h"
#include "Settings.h"

using namespace KvTzkLogging;

namespace {

constexpr UINT kUnchecked = 1;
constexpr UINT kChecked = 2;

UINT StateImageOf(HWND list, int row) {
  const LRESULT state = ::SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
  return static_cast<UINT>((state & LVIS_STATEIMAGEMASK) >> 12);
}

}  // namespace

DialogSelect::DialogSelect(ProductList products) : products_(std::move(products)) {
  pageFont_ = KvUI::CreateFont(12, 400, 0);
}

HWND DialogSelect::Create(HINSTANCE instance, HWND parent) {
  return KvUI::Dialog::Create(instance, IDD_SELECT, parent);
}

int DialogSelect::OnInitDialog() {
  Settings& settings = Settings::Instance();
  SetItemText(settings.GetString(L"RadioAll"), IDC_RADIO_ALL);
  SetItemFont(pageFont_.GetFont(), IDC_RADIO_ALL);
  SetItemText(settings.GetString(L"RadioSelect"), IDC_RADIO_SELECT);
  SetItemFont(pageFont_.GetFont(), IDC_RADIO_SELECT);

  const bool anySelected = std::any_of(products_.begin(), products_.end(),
                                       [](const auto& product) { return product->IsSelected(); });
  ::CheckRadioButton(hwnd_, IDC_RADIO_ALL, IDC_RADIO_SELECT,
                     anySelected ? IDC_RADIO_SELECT : IDC_RADIO_ALL);

  next_.Attach(::GetDlgItem(hwnd_, IDOK));
  next_.SetColours(KvUI::kAccent, KvUI::kAccentHover, KvUI::kWhite);
  next_.SetItemFont(pageFont_.GetFont());
  next_.SetItemText(settings.GetString(L"Next"));

  cancel_.Attach(::GetDlgItem(hwnd_, IDCANCEL));
  cancel_.SetColours(KvUI::kAccent, KvUI::kAccentHover, KvUI::kWhite);
  cancel_.SetItemFont(pageFont_.GetFont());
  cancel_.SetItemText(settings.GetString(L"Cancel"));
  cancel_.SetFilled(false);

  list_ = ::GetDlgItem(hwnd_, IDC_PRODUCT_LIST);
  SetItemFont(pageFont_.GetFont(), IDC_PRODUCT_LIST);
  SetupList();
  for (size_t i = 0; i < products_.size(); ++i) {
    const auto& product = products_[i];
    std::wstring name = product->GetDisplayName();
    if (name.empty()) name = settings.GetString(L"ProductId_" + product->GetId());
    AddItem(name, product->IsDetected(), product->IsSelected(), i);
  }
  UpdateNextButton();
  ShowItem(anySelected ? SW_SHOW : SW_HIDE, IDC_PRODUCT_LIST);
  return TRUE;
}

void DialogSelect::SetupList() {
  ::SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  RECT client{};
  ::GetClientRect(list_, &client);
  const int width = client.right;
  std::wstring name = Settings::Instance().GetString(L"Name");
  std::wstring detected = Settings::Instance().GetString(L"Detected");
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.pszText = name.data();
  column.cx = width * 75 / 100;
  column.iSubItem = 0;
  ::SendMessageW(list_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  column.pszText = detected.data();
  column.cx = width - width * 75 / 100 - ::GetSystemMetrics(SM_CXVSCROLL);
  column.iSubItem = 1;
  ::SendMessageW(list_, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
}

void DialogSelect::AddItem(const std::wstring& name, bool detected, bool selected, size_t index) {
  std::wstring text = name;
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = 9999;
  item.pszText = text.data();
  item.lParam = static_cast<LPARAM>(index);
  const int row =
      static_cast<int>(::SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (row < 0) return;
  std::wstring detectedText = detected ? Settings::Instance().GetString(L"Detected") : L"";
  LVITEMW sub{};
  sub.iSubItem = 1;
  sub.pszText = detectedText.data();
  ::SendMessageW(list_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
  LVITEMW state{};
  state.stateMask = LVIS_STATEIMAGEMASK;
  state.state = INDEXTOSTATEIMAGEMASK(selected ? kChecked : kUnchecked);
  ::SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
}

void DialogSelect::UpdateNextButton() {
  bool enabled = ::IsDlgButtonChecked(hwnd_, IDC_RADIO_ALL) == BST_CHECKED;
  if (!enabled && list_ != nullptr) {
    const int count = static_cast<int>(::SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count && !enabled; ++row) {
      enabled = StateImageOf(list_, row) != kUnchecked;
    }
  }
  next_.EnableItem(enabled);
}

void DialogSelect::SaveProductSelections() {
  if (::IsDlgButtonChecked(hwnd_, IDC_RADIO_ALL) == BST_CHECKED) {
    // The log files are never part of "all".
    for (const auto& product : products_) product->SetSelected(product->GetId() != L"logs");
    return;
  }
  const int count = static_cast<int>(::SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    ::SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    const size_t index = static_cast<size_t>(item.lParam);
    const UINT state = StateImageOf(list_, row);
    LogFuncW(LogDebug, "DialogSelect::SaveProductSelections", L"Item: %d, param: %Iu, state: %lu",
             row, index, static_cast<unsigned long>(state - 1));
    if (index < products_.size()) products_[index]->SetSelected(state != kUnchecked);
  }
}

INT_PTR DialogSelect::OnCommand(WORD id, WORD code, HWND control) {
  switch (id) {
    case IDOK:
      SaveProductSelections();
      ForwardToParent(IDOK, code);
      return 0;
    case IDC_RADIO_ALL:
    case IDC_RADIO_SELECT:
      ShowItem(id == IDC_RADIO_SELECT ? SW_SHOW : SW_HIDE, IDC_PRODUCT_LIST);
      UpdateNextButton();
      return KvUI::Dialog::OnCommand(id, code, control);
    case IDCANCEL: ForwardToParent(IDCANCEL, code); return 0;
    default: return KvUI::Dialog::OnCommand(id, code, control);
  }
}

INT_PTR DialogSelect::OnMessage(UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom == IDC_PRODUCT_LIST && header->code == LVN_ITEMCHANGED) UpdateNextButton();
  }
  return 0;
}
