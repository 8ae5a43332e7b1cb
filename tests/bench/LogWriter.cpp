// Writes numbered log lines from several threads, for the tests and the benchmark that need
// more than one process writing one log file at once.
//
//   log_writer.exe <dir> <name> <threads> <lines per thread> [<start event name>]
//
// Logging starts like the program's (no namespace, level 4), with dir and name as given.
// With a start event name, the lines are written only once that event is set, so that
// several writers begin together. Each line reads
//   "LogWriter::Thread: thread <t> line <i> <padding> end"
// and the process id in the line tells the writer. Exit code 0, 2 on bad arguments, 3 when
// the start event never came.
#include <windows.h>

#include <cwchar>
#include <string>

#include "Log.h"
#include "NumberedLines.h"

using namespace KvTzkLogging;

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  const std::wstring dir = argv[1];
  const std::wstring name = argv[2];
  const int threads = _wtoi(argv[3]);
  const int lines = _wtoi(argv[4]);
  if (threads < 1 || lines < 0) return 2;

  InitNsW(nullptr, dir.c_str(), name.c_str(), LogInfo, 0);
  if (argc > 5) {
    HANDLE start = ::OpenEventW(SYNCHRONIZE, FALSE, argv[5]);
    const bool started = start != nullptr && ::WaitForSingleObject(start, 60000) == WAIT_OBJECT_0;
    if (start != nullptr) ::CloseHandle(start);
    if (!started) {
      End();
      return 3;
    }
  }

  WriteNumberedLines("LogWriter::Thread", threads, lines);
  End();
  return 0;
}
