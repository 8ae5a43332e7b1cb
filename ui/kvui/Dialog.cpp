#include "Dialog.h"

namespace KvUI {

Dialog::~Dialog() {
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

INT_PTR Dialog::DoModal(HINSTANCE instance, int templateId, HWND parent) {
  return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), parent, &Dialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND Dialog::Create(HINSTANCE instance, int templateId, HWND parent) {
  return ::CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId), parent, &Dialog::DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

INT_PTR Dialog::OnMessage(UINT, WPARAM, LPARAM) { return 0; }

int Dialog::OnInitDialog() { return TRUE; }

INT_PTR Dialog::OnCommand(WORD id, WORD, HWND) {
  if (id == IDOK || id == IDCANCEL) {
    ::EndDialog(hwnd_, id);
    return 0;
  }
  return 1;
}

INT_PTR Dialog::OnDrawItem(UINT, DRAWITEMSTRUCT*) { return 0; }

HBRUSH Dialog::OnCtlColor(HDC, HWND) { return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)); }

void Dialog::OnDestroy() {}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<Dialog*>(lParam);
    dialog->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
    return dialog->OnInitDialog();
  }
  auto* dialog = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (dialog == nullptr) return 0;
  switch (message) {
    case WM_DESTROY:
      dialog->OnDestroy();
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      dialog->hwnd_ = nullptr;
      return TRUE;
    case WM_DRAWITEM:
      return dialog->OnDrawItem(static_cast<UINT>(wParam),
                                reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    case WM_COMMAND:
      return dialog->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(
          dialog->OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    default: return dialog->OnMessage(message, wParam, lParam);
  }
}

}  // namespace KvUI
