#include "DialogChild.h"

DialogChild::~DialogChild() { pageFont_.Release(); }

void DialogChild::ForwardToParent(WORD id, WORD code) {
  ::SendMessageW(::GetParent(hwnd_), WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(hwnd_));
}

INT_PTR DialogChild::OnCommand(WORD id, WORD code, HWND control) {
  if (id == IDOK || id == IDCANCEL) {
    ForwardToParent(id, code);
    return 0;
  }
  return KvUI::Dialog::OnCommand(id, code, control);
}
