#include "DialogWelcome.h"

#include <string>

#include "BuildInfo.h"
#include "Colours.h"
#include "Font.h"
#include "Log.h"
#include "OpenUrl.h"
#include "ResourceIds.h"
#include "Settings.h"
#include "StringUtils.h"

using namespace KvTzkLogging;

namespace {

// The year of the build, the last four characters of the compiler's date ("Aug 14 2020").
std::wstring BuildYear() {
  const std::wstring date = BuildInfo::kBuildDate;
  return date.size() >= 4 ? date.substr(date.size() - 4) : date;
}

}  // namespace

DialogWelcome::DialogWelcome() {
  pageFont_ = KvUI::CreateFont(12, 400, 0);
  titleFont_ = KvUI::CreateFont(24, 300, 0);
  smallFont_ = KvUI::CreateFont(8, 400, 0);
}

DialogWelcome::~DialogWelcome() {
  smallFont_.Release();
  titleFont_.Release();
}

HWND DialogWelcome::Create(HINSTANCE instance, HWND parent) {
  return KvUI::Dialog::Create(instance, IDD_WELCOME, parent);
}

int DialogWelcome::OnInitDialog() {
  Settings& settings = Settings::Instance();
  title_.Attach(::GetDlgItem(hwnd_, IDC_TITLE));
  title_.SetItemFont(titleFont_.GetFont());
  title_.SetItemText(settings.GetString(L"Title"));
  title_.SetTextColour(KvUI::kTitle);

  message_.Attach(::GetDlgItem(hwnd_, IDC_MESSAGE));
  message_.SetItemFont(pageFont_.GetFont());
  message_.SetItemText(settings.GetString(L"Welcome"));

  start_.Attach(::GetDlgItem(hwnd_, IDOK));
  start_.SetItemFont(pageFont_.GetFont());
  start_.SetItemText(settings.GetString(L"Start"));
  start_.SetColours(KvUI::kAccent, KvUI::kAccentHover, KvUI::kWhite);

  notice_.Attach(::GetDlgItem(hwnd_, IDC_NOTICE_LINK));
  notice_.SetItemFont(smallFont_.GetFont());
  notice_.SetTextColour(KvUI::kGreyText);
  notice_.SetLinkColours(KvUI::kAccent, KvUI::kAccentHover);
  notice_.SplitLinkText(ReplaceAll(settings.GetString(L"CopyrightKV"), L"%YEAR%", BuildYear()));

  luaNotice_.Attach(::GetDlgItem(hwnd_, IDC_LUA_NOTICE));
  luaNotice_.SetItemText(settings.GetCustomization(L"LuaCopyright"));
  luaNotice_.SetItemFont(smallFont_.GetFont());
  luaNotice_.SetTextColour(KvUI::kGreyText);

  zlibNotice_.Attach(::GetDlgItem(hwnd_, IDC_ZLIB_NOTICE));
  zlibNotice_.SetItemFont(smallFont_.GetFont());
  zlibNotice_.SetItemText(settings.GetCustomization(L"ZlibCopyright"));
  zlibNotice_.SetTextColour(KvUI::kGreyText);
  return TRUE;
}

void DialogWelcome::LaunchUrl() {
  const std::wstring url = Settings::Instance().GetCustomization(L"UrlEULT");
  if (OpenUrl(url)) {
    LogFuncW(LogInfo, "DialogChild::LaunchUrl", L"Launched URL: %ls", url.c_str());
  } else {
    LogFuncW(LogError, "DialogChild::LaunchUrl", L"Failed to launch URL: %ls", url.c_str());
  }
}

INT_PTR DialogWelcome::OnCommand(WORD id, WORD code, HWND control) {
  if (id == IDC_NOTICE_LINK) {
    LaunchUrl();
    return 0;
  }
  return DialogChild::OnCommand(id, code, control);
}
