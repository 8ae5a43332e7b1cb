// A child program for the process tests. One mode per run:
//
//   test_child.exe write <chunk>...  writes each chunk with one write of its own, 150 ms
//                                    apart; escapes \r \n \0 \\ and \xHH
//   test_child.exe bulk <bytes>      writes lines of 999 'x' and a line feed until at least
//                                    that many bytes went out, then "end of output"
//   test_child.exe forever           writes "started" and sleeps until it is ended
//   test_child.exe parent <ms>       starts "keep <ms>" with its own standard output
//                                    inherited, writes "child line", and ends
//   test_child.exe keep <ms>         sleeps, then ends (also the sleeper of the
//                                    termination tests)
//   test_child.exe exit <code>       ends with that exit code
//   test_child.exe edition           ends with 1 on a server edition, else 0
//
// Output goes to standard output. Exit code 0, or 2 on bad arguments.
#include <windows.h>

#include <cwchar>
#include <string>

#include "IsServerEdition.h"

namespace {

void Write(const std::string& bytes) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

std::string Unescape(const wchar_t* text) {
  std::string bytes;
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    if (*p != L'\\' || p[1] == L'\0') {
      bytes.push_back(static_cast<char>(*p));
      continue;
    }
    ++p;
    switch (*p) {
      case L'r': bytes.push_back('\r'); break;
      case L'n': bytes.push_back('\n'); break;
      case L'0': bytes.push_back('\0'); break;
      case L'x':
        if (p[1] != L'\0' && p[2] != L'\0') {
          const wchar_t hex[3] = {p[1], p[2], L'\0'};
          bytes.push_back(static_cast<char>(std::wcstoul(hex, nullptr, 16)));
          p += 2;
        }
        break;
      default: bytes.push_back(static_cast<char>(*p)); break;
    }
  }
  return bytes;
}

int StartKeeper(const wchar_t* ms) {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(path) + L"\" keep " + ms;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(path, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return 3;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  Write("child line\n");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring mode = argv[1];
  if (mode == L"write") {
    for (int i = 2; i < argc; ++i) {
      if (i > 2) ::Sleep(150);
      Write(Unescape(argv[i]));
    }
    return 0;
  }
  if (mode == L"bulk" && argc > 2) {
    const unsigned long total = std::wcstoul(argv[2], nullptr, 10);
    const std::string line = std::string(999, 'x') + "\n";
    for (unsigned long sent = 0; sent < total; sent += line.size()) Write(line);
    Write("end of output\n");
    return 0;
  }
  if (mode == L"forever") {
    Write("started\n");
    ::Sleep(INFINITE);
    return 0;
  }
  if (mode == L"parent" && argc > 2) return StartKeeper(argv[2]);
  if (mode == L"keep" && argc > 2) {
    ::Sleep(std::wcstoul(argv[2], nullptr, 10));
    return 0;
  }
  if (mode == L"exit" && argc > 2) return static_cast<int>(std::wcstoul(argv[2], nullptr, 0));
  if (mode == L"edition") return IsServerEdition() ? 1 : 0;
  return 2;
}
