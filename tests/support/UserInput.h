#pragma once

#include <windows.h>

// Real input, as a user gives it: through the system's input queue (SendInput), to whatever
// window is under the pointer or has the keyboard focus. Each call waits a moment, handling
// this thread's messages, so that the receiving thread (this one or another) takes the input
// before the next.

void MovePointer(POINT screen);
// The centre of a window, in screen coordinates.
POINT CentreOf(HWND window);
void PressLeftButton();
void ReleaseLeftButton();
// Moves there and clicks.
void ClickAt(POINT screen);
// Presses and releases a key (a virtual-key code).
void PressKey(WORD key);

// Dispatches this thread's messages (dialog keys through IsDialogMessage of dialog) for ms.
void PumpMessages(HWND dialog, DWORD ms);
