// A program whose delay-loaded imports fail, for the tests of the delay-load helper. One mode
// per run:
//
//   delay_child.exe missing            calls a function of a library that exists nowhere
//   delay_child.exe badkey             the same with a profile whose registry key is missing
//   delay_child.exe noproc <directory> calls an ordinal that kvdelayprobe.dll (taken from
//                                      <directory>) does not export
//   delay_child.exe badattr            hands the helper a descriptor without relative
//                                      addresses
//
// The exception ends the program: it writes "code=%08lX dll=%hs error=%lu" from the load
// information of the exception and exits with the exception code. Exit code 2 on bad
// arguments, 3 when the call returned.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "DelayLoadHelper.h"
#include "DelayLoadSettings.h"

extern "C" int WINAPI KvMissingFunction();
extern "C" int WINAPI ProbeMissingOrdinal();

namespace {

LONG WINAPI Report(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  char text[512] = {};
  const DelayLoadInfo* info =
      record.NumberParameters >= 1
          ? reinterpret_cast<const DelayLoadInfo*>(record.ExceptionInformation[0])
          : nullptr;
  std::snprintf(text, sizeof(text), "code=%08lX dll=%s error=%lu", record.ExceptionCode,
                info != nullptr && info->szDll != nullptr ? info->szDll : "(none)",
                info != nullptr ? info->dwLastError : 0ul);
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)),
              &written, nullptr);
  ::ExitProcess(record.ExceptionCode);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  ::SetUnhandledExceptionFilter(Report);
  const std::wstring mode = argv[1];
  if (mode == L"missing") {
    KvMissingFunction();
  } else if (mode == L"badkey") {
    DelayLoadSettings::Instance().SetProfileName(L"kvtest-profile-without-key");
    KvMissingFunction();
  } else if (mode == L"noproc" && argc > 2) {
    DelayLoadSettings::Instance().SetDirectory(argv[2]);
    ProbeMissingOrdinal();
  } else if (mode == L"badattr") {
    ImgDelayDescr descriptor{};
    FARPROC slot = nullptr;
    DelayLoadHelper(&descriptor, &slot);
  } else {
    return 2;
  }
  return 3;
}
