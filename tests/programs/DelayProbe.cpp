// kvdelayprobe.dll: see DelayProbe.h.
#include <windows.h>

#include <cwchar>

#include "DelayLoadSettings.h"
#include "DelayProbe.h"

namespace {

HMODULE self = nullptr;
DelayProbeRecord last;

void Copy(const wchar_t* text, bool& isNull, wchar_t (&target)[260]) {
  isNull = text == nullptr;
  target[0] = L'\0';
  if (text != nullptr) std::wcsncpy(target, text, 259);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}

int WINAPI ProbeOrdinal() { return kProbeOrdinal; }

int WINAPI ProbeNamed() { return 8; }

DWORD WINAPI ProbeModulePath(wchar_t* buffer, DWORD size) {
  return ::GetModuleFileNameW(self, buffer, size);
}

void WINAPI ProbeLastRecord(DelayProbeRecord* record) { *record = last; }

void WINAPI TzkDelayLoadDependencies(DelayLoadRecordV0* record) {
  ++last.calls;
  last.version = 0;
  last.size = record->size;
  last.flags = record->flags;
  last.profileId = 0;
  Copy(record->profile, last.profileNull, last.profile);
  Copy(record->directory, last.directoryNull, last.directory);
}

void WINAPI KVDelayLoadDependencies(DelayLoadRecordV1* record) {
  ++last.calls;
  last.version = 1;
  last.size = record->size;
  last.flags = record->flags;
  last.profileId = record->profileId;
  last.profileNull = true;
  last.profile[0] = L'\0';
  Copy(record->directory, last.directoryNull, last.directory);
}

}  // extern "C"
