#pragma once

#include <windows.h>

// One whole run of the program; returns the process exit code.
int Run(HINSTANCE instance);
