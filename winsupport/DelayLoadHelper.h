#pragma once

#include <windows.h>

#include <delayimp.h>

// Binds one delay-loaded import on its first call: loads the library through
// DelayLoad::ResolveLibrary when its module slot is still empty, looks the function up (by
// ordinal where the import names one) and stores its address in the import slot. A failure
// raises the exception 0xC06D0057 (bad descriptor), 0xC06D007E (library not found) or
// 0xC06D007F (function not found) with a pointer to the DelayLoadInfo record as its
// argument. May be entered any number of times for one import, also by threads at once.
//
// Include this header, never <delayimp.h> itself (which has no include guard).
//
// The delay-import thunks call it as __delayLoadHelper2, which this library defines; the
// programs' link forces that definition in place of the runtime's.
FARPROC WINAPI DelayLoadHelper(PCImgDelayDescr descriptor, FARPROC* importSlot);
