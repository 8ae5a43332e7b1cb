#include "OpenUrl.h"

#include <windows.h>

#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "Log.h"
#include "StringUtils.h"
#include "UniqueAny.h"

using namespace KvTzkLogging;

namespace {

// The service of the top-level browser of a shell window.
const GUID kTopLevelBrowser = {
    0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};

// A BSTR VARIANT, freed when it goes.
class BstrVariant {
 public:
  explicit BstrVariant(const std::wstring& text) {
    ::VariantInit(&value_);
    value_.vt = VT_BSTR;
    value_.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  ~BstrVariant() { ::VariantClear(&value_); }
  BstrVariant(const BstrVariant&) = delete;
  BstrVariant& operator=(const BstrVariant&) = delete;
  const VARIANT& Get() const { return value_; }

 private:
  VARIANT value_;
};

template <typename T>
bool QueryFrom(IUnknown* from, UniqueCom<T>& to) {
  return from && SUCCEEDED(from->QueryInterface(__uuidof(T), reinterpret_cast<void**>(to.put())));
}

}  // namespace

bool IsAllowedUrl(const std::wstring& url) {
  if (StartsWith(url, L"https://", false)) return true;
  if (StartsWith(url, L"http://", false)) return true;
  if (StartsWith(url, L"file:///", false)) {
    return EndsWith(url, L".html", false) || EndsWith(url, L".htm", false);
  }
  return false;
}

bool OpenUrl(const std::wstring& url) {
  if (!IsAllowedUrl(url)) {
    LogFuncW(LogError, "OpenUrl", L"Refused to open URL: %ls", url.c_str());
    return false;
  }
  ::AllowSetForegroundWindow(ASFW_ANY);
  return ShellExecuteFromDesktop(url, L"", L"", L"", SW_SHOWNORMAL);
}

bool ShellExecuteFromDesktop(const std::wstring& file, const std::wstring& arguments,
                             const std::wstring& directory, const std::wstring& operation,
                             int showCommand) {
  UniqueCom<IShellWindows> windows;
  if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                reinterpret_cast<void**>(windows.put())))) {
    return false;
  }
  VARIANT location;
  ::VariantInit(&location);
  location.vt = VT_I4;
  location.lVal = CSIDL_DESKTOP;
  VARIANT root;
  ::VariantInit(&root);
  LONG desktopWindow = 0;
  UniqueCom<IDispatch> desktop;
  if (windows.get()->FindWindowSW(&location, &root, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                                  desktop.put()) != S_OK ||
      !desktop) {
    return false;
  }
  UniqueCom<IServiceProvider> provider;
  if (!QueryFrom(desktop.get(), provider)) return false;
  UniqueCom<IShellBrowser> browser;
  if (FAILED(provider.get()->QueryService(kTopLevelBrowser, IID_IShellBrowser,
                                          reinterpret_cast<void**>(browser.put())))) {
    return false;
  }
  UniqueCom<IShellView> activeView;
  if (FAILED(browser.get()->QueryActiveShellView(activeView.put()))) return false;
  UniqueCom<IShellView> view;
  if (!QueryFrom(activeView.get(), view)) return false;
  UniqueCom<IDispatch> background;
  if (FAILED(view.get()->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                       reinterpret_cast<void**>(background.put())))) {
    return false;
  }
  UniqueCom<IShellFolderViewDual> folderView;
  if (!QueryFrom(background.get(), folderView)) return false;
  UniqueCom<IDispatch> application;
  if (FAILED(folderView.get()->get_Application(application.put()))) return false;
  UniqueCom<IShellDispatch2> shell;
  if (!QueryFrom(application.get(), shell)) return false;

  BSTR fileText = ::SysAllocStringLen(file.data(), static_cast<UINT>(file.size()));
  BstrVariant args(arguments);
  BstrVariant dir(directory);
  BstrVariant verb(operation);
  VARIANT show;
  ::VariantInit(&show);
  show.vt = VT_I4;
  show.lVal = showCommand;
  const HRESULT hr = shell.get()->ShellExecute(fileText, args.Get(), dir.Get(), verb.Get(), show);
  ::SysFreeString(fileText);
  return hr == S_OK;
}
