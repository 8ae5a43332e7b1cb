#include "DialogMessage.h"

#include "Colours.h"
#include "Font.h"
#include "ImageResource.h"
#include "ResourceIds.h"
#include "Settings.h"

DialogMessage::DialogMessage(MessageKind kind) : kind_(kind) {
  pageFont_ = KvUI::CreateFont(12, 400, 0);
}

HWND DialogMessage::Create(HINSTANCE instance, HWND parent) {
  return KvUI::Dialog::Create(instance, IDD_MESSAGE, parent);
}

int DialogMessage::OnInitDialog() {
  Settings& settings = Settings::Instance();
  message_.Attach(::GetDlgItem(hwnd_, IDC_MESSAGE));
  message_.SetItemFont(pageFont_.GetFont());
  ok_.Attach(::GetDlgItem(hwnd_, IDOK));
  ok_.SetItemFont(pageFont_.GetFont());
  ok_.SetColours(KvUI::kAccent, KvUI::kAccentHover, KvUI::kWhite);
  cancel_.Attach(::GetDlgItem(hwnd_, IDCANCEL));
  cancel_.SetItemFont(pageFont_.GetFont());
  cancel_.SetColours(KvUI::kAccent, KvUI::kAccentHover, KvUI::kWhite);
  image_.Attach(::GetDlgItem(hwnd_, IDC_IMAGE));

  const wchar_t* key = L"ErrorGeneric";
  int imageId = IDP_ERROR;
  switch (kind_) {
    case ErrorPrivileges: key = L"ErrorPrivileges"; break;
    case Finished:
      key = L"Finished";
      imageId = IDP_FINISHED;
      break;
    case FinishedReboot:
      key = L"FinishedReboot";
      imageId = IDP_REBOOT;
      cancel_.SetFilled(false);
      ok_.SetItemText(settings.GetString(L"Reboot"));
      ok_.ShowItem(SW_SHOW);
      break;
    default: break;
  }
  message_.SetItemText(settings.GetString(key));
  cancel_.SetItemText(settings.GetString(L"Close"));
  image_.SetImage(
      KvUI::LoadImageResource(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(imageId), L"PNG"),
      false);
  return TRUE;
}
