#include "DialogProgress.h"

#include "Colours.h"
#include "Font.h"
#include "ResourceIds.h"
#include "Settings.h"

DialogProgress::DialogProgress() { pageFont_ = KvUI::CreateFont(12, 400, 0); }

HWND DialogProgress::Create(HINSTANCE instance, HWND parent) {
  return KvUI::Dialog::Create(instance, IDD_PROGRESS, parent);
}

int DialogProgress::OnInitDialog() {
  Settings& settings = Settings::Instance();
  spinner_.Attach(::GetDlgItem(hwnd_, IDC_SPINNER));
  spinner_.SetColour(KvUI::kTitle);

  message_.Attach(::GetDlgItem(hwnd_, IDC_MESSAGE));
  message_.SetItemFont(pageFont_.GetFont());
  message_.SetItemText(settings.GetString(L"Removing"));

  cancel_.Attach(::GetDlgItem(hwnd_, IDCANCEL));
  cancel_.SetColours(KvUI::kAccent, KvUI::kAccentHover, KvUI::kWhite);
  cancel_.SetFilled(false);
  cancel_.SetItemFont(pageFont_.GetFont());
  cancel_.SetItemText(settings.GetString(L"Cancel"));
  cancel_.EnableItem(false);
  return TRUE;
}
