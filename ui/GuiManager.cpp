#include "GuiManager.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>

#include "DialogMessage.h"
#include "DialogProgress.h"
#include "DialogSelect.h"
#include "DialogWelcome.h"
#include "Log.h"
#include "ResourceIds.h"
#include "Settings.h"

using namespace KvTzkLogging;

GuiManager::GuiManager(HANDLE stopEvent, HINSTANCE instance)
    : stop_(stopEvent), instance_(instance), gdiPlus_(KvUI::GdiPlus::Start()) {
  ready_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  dialogDone_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  icon_ = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_PURGEKIT));
}

GuiManager::~GuiManager() {
  if (mainWindow_ != nullptr) ::PostMessageW(mainWindow_, WM_CLOSE, 0, 0);
  if (uiThread_.joinable()) uiThread_.join();
  // The windows are gone with the UI thread; the pages' images go before GDI+ does.
  currentPage_.reset();
  posted_.clear();
  gdiPlus_.reset();
}

bool GuiManager::Start() {
  uiThread_ = std::thread(&GuiManager::Run, this);
  // Also ends when the thread could not make its window and has ended.
  const HANDLE events[] = {ready_.get(), stop_};
  return ::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0;
}

void GuiManager::Stop() {
  if (mainWindow_ != nullptr) ::PostMessageW(mainWindow_, WM_CLOSE, 0, 0);
  if (uiThread_.joinable()) uiThread_.join();
}

void GuiManager::Run() {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&controls);
  const HWND window = KvUI::Dialog::Create(instance_, IDD_MAIN, nullptr);
  if (window == nullptr) {
    LogFuncW(LogError, "GuiManager::Run", L"Failed to create main dialog");
    ::CoUninitialize();
    // Nobody will answer: the waits, Start's included, must not hang.
    ::SetEvent(stop_);
    return;
  }
  MSG msg;
  ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  mainWindow_ = window;
  ::SetEvent(ready_.get());
  MessageLoop();
  ::ResetEvent(ready_.get());
  ::CoUninitialize();
  ::SetEvent(stop_);
}

int GuiManager::MessageLoop() {
  MSG msg;
  BOOL got;
  while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) > 0) {
    if (hwnd_ != nullptr && ::IsDialogMessageW(hwnd_, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return got;
}

bool GuiManager::PostShowDialog(std::unique_ptr<DialogChild> page) {
  DialogChild* raw = page.get();
  {
    std::lock_guard<std::mutex> lock(postedLock_);
    posted_.push_back(std::move(page));
  }
  const HWND window = mainWindow_;
  if (window != nullptr && ::PostMessageW(window, WM_SHOWCHILD, 0, reinterpret_cast<LPARAM>(raw))) {
    return true;
  }
  LogFuncW(LogError, "GuiManager::PostShowDialog", L"Failed to post message: %lu",
           ::GetLastError());
  TakePosted(raw);
  return false;
}

std::unique_ptr<DialogChild> GuiManager::TakePosted(DialogChild* page) {
  std::lock_guard<std::mutex> lock(postedLock_);
  auto it = std::find_if(posted_.begin(), posted_.end(),
                         [page](const auto& held) { return held.get() == page; });
  if (it == posted_.end()) return nullptr;
  std::unique_ptr<DialogChild> taken = std::move(*it);
  posted_.erase(it);
  return taken;
}

int GuiManager::ShowDialogAndWait(std::unique_ptr<DialogChild> page) {
  if (!PostShowDialog(std::move(page))) return kGuiCancelled;
  const HANDLE events[] = {dialogDone_.get(), stop_};
  if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) return result_;
  return kGuiCancelled;
}

int GuiManager::ShowMessage(MessageKind kind) {
  return ShowDialogAndWait(std::make_unique<DialogMessage>(kind));
}

int GuiManager::ShowWelcome() { return ShowDialogAndWait(std::make_unique<DialogWelcome>()); }

int GuiManager::SelectProducts(ProductList& products) {
  return ShowDialogAndWait(std::make_unique<DialogSelect>(products));
}

void GuiManager::ShowProgress() { PostShowDialog(std::make_unique<DialogProgress>()); }

void GuiManager::ShowChild(DialogChild* posted) {
  std::unique_ptr<DialogChild> page = TakePosted(posted);
  const bool first = !IsItemVisible(0);
  if (first) {
    SetItemText(Settings::Instance().GetString(L"Title"));
    ShowItem(SW_SHOW);
    BringToFront();
  }
  if (page) {
    page->Create(instance_, hwnd_);
    if (first) SetClientSize(page->GetClientSize(), false);
    page->ShowItem(SW_SHOW);
    // A hidden child dialog gets no focus of its own when it is made.
    const HWND focus = ::GetNextDlgTabItem(page->GetHwnd(), nullptr, FALSE);
    if (focus != nullptr) ::SetFocus(focus);
  }
  std::unique_ptr<DialogChild> previous = std::move(currentPage_);
  currentPage_ = std::move(page);
  if (previous) previous->ShowItem(SW_HIDE);
  previous.reset();
  // Whatever was answered before belongs to an earlier page.
  ::ResetEvent(dialogDone_.get());
}

INT_PTR GuiManager::OnMessage(UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE: ::DestroyWindow(hwnd_); return 0;
    case WM_SHOWCHILD: ShowChild(reinterpret_cast<DialogChild*>(lParam)); return 1;
    default: return 0;
  }
}

int GuiManager::OnInitDialog() {
  if (icon_ != nullptr) {
    ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  }
  return TRUE;
}

INT_PTR GuiManager::OnCommand(WORD id, WORD code, HWND control) {
  LogFuncW(LogDebug, "GuiManager::OnCommand", L"id=%d, code=%d, HWND=%p", id, code, control);
  const HWND page = currentPage_ ? currentPage_->GetHwnd() : nullptr;
  if (page == nullptr) return 1;
  if (control == page) {
    // The showing page's own answer.
    result_ = id;
    ::SetEvent(dialogDone_.get());
    return 1;
  }
  // Enter and Esc, which the dialog manager sends to the main dialog: they act as the
  // showing page's button of that id, and only while it can be pressed. A page without a
  // Cancel button may still take Esc as its cancel answer.
  const HWND button = ::GetDlgItem(page, id);
  if (button != nullptr && ::IsWindowVisible(button) && ::IsWindowEnabled(button)) {
    ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  } else if (id == IDCANCEL && button == nullptr && currentPage_->EscapeCancelsWithoutButton()) {
    ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
  return 1;
}

void GuiManager::OnDestroy() { ::PostQuitMessage(0); }
