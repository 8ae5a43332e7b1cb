// A small service for the service tests, installed with the image path
//
//   "kv_test_service.exe" <mode> <record file>
//
// Modes: normal; slowstart (start pending for 1500 ms before running); slowstop (stop pending
// for 2000 ms before stopping); nostop (refuses the stop control). When it stops, the service
// appends its name and a line feed to the record file, so that a test can see in which order
// services were stopped.
#include <windows.h>

#include <string>

namespace {

std::wstring g_mode;
std::wstring g_record;
SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stopEvent = nullptr;

void Report(DWORD state, DWORD waitHintMs = 0) {
  static DWORD checkPoint = 0;
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted =
      state == SERVICE_RUNNING && g_mode != L"nostop" ? SERVICE_ACCEPT_STOP : 0;
  status.dwWaitHint = waitHintMs;
  status.dwCheckPoint = waitHintMs != 0 ? ++checkPoint : 0;
  ::SetServiceStatus(g_status, &status);
}

void AppendRecord(const std::wstring& name) {
  const HANDLE file = ::CreateFileW(g_record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string line = std::string(name.begin(), name.end()) + "\n";
  DWORD written = 0;
  ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(file);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    if (g_mode == L"nostop") return ERROR_CALL_NOT_IMPLEMENTED;
    Report(SERVICE_STOP_PENDING, 3000);
    ::SetEvent(g_stopEvent);
    return NO_ERROR;
  }
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
  const std::wstring name = argc > 0 ? argv[0] : L"";
  g_status = ::RegisterServiceCtrlHandlerExW(name.c_str(), Handler, nullptr);
  if (g_status == nullptr) return;
  if (g_mode == L"slowstart") {
    Report(SERVICE_START_PENDING, 3000);
    ::Sleep(1500);
  }
  Report(SERVICE_RUNNING);
  ::WaitForSingleObject(g_stopEvent, INFINITE);
  if (g_mode == L"slowstop") {
    for (int i = 0; i < 4; ++i) {
      ::Sleep(500);
      Report(SERVICE_STOP_PENDING, 3000);
    }
  }
  AppendRecord(name);
  Report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  g_mode = argv[1];
  g_record = argv[2];
  g_stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  wchar_t name[] = L"";
  const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
