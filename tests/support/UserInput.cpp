#include "UserInput.h"

namespace {

constexpr DWORD kSettleMs = 60;

void Send(INPUT input) {
  ::SendInput(1, &input, sizeof(INPUT));
  // The receiving window may be this thread's own.
  PumpMessages(nullptr, kSettleMs);
}

INPUT Mouse(DWORD flags, LONG x = 0, LONG y = 0) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = x;
  input.mi.dy = y;
  input.mi.dwFlags = flags;
  return input;
}

}  // namespace

void MovePointer(POINT screen) {
  const int width = ::GetSystemMetrics(SM_CXSCREEN);
  const int height = ::GetSystemMetrics(SM_CYSCREEN);
  // Absolute positions are in 1/65536 of the screen.
  const LONG x = static_cast<LONG>((screen.x * 65536LL + width / 2) / width);
  const LONG y = static_cast<LONG>((screen.y * 65536LL + height / 2) / height);
  Send(Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x, y));
}

POINT CentreOf(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void PressLeftButton() { Send(Mouse(MOUSEEVENTF_LEFTDOWN)); }
void ReleaseLeftButton() { Send(Mouse(MOUSEEVENTF_LEFTUP)); }

void ClickAt(POINT screen) {
  MovePointer(screen);
  // Under Wine a press that follows the move at once is sometimes lost: let the move settle.
  PumpMessages(nullptr, 300);
  PressLeftButton();
  ReleaseLeftButton();
}

namespace {
void Key(WORD key, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  Send(input);
}
}  // namespace

void PressKey(WORD key) {
  Key(key, true);
  Key(key, false);
}

void PumpMessages(HWND dialog, DWORD ms) {
  const DWORD start = ::GetTickCount();
  do {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (dialog && ::IsDialogMessageW(dialog, &msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::Sleep(5);
  } while (::GetTickCount() - start < ms);
}
