#pragma once

#include <string>
#include <vector>

// Starts the process-wide logger of a test process at level 6 on a log file of its own and
// reads back what the code under test logged. The file lies where the logger puts an
// administrator's files: <root>\Korvane\Log\PurgeKitTests\<name>-<process id>.log.
class LogCapture {
 public:
  explicit LogCapture(const std::wstring& name);
  // Ends the logger and deletes the file with its older generations.
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Later calls of Entries() see only what is logged from now on.
  void Mark();
  // The entries logged since the last Mark, each without its date, time and ids: the level
  // tag, the function prefix and the message, as in " I: Class::Method: text". A message
  // with line breaks inside stays one entry.
  std::vector<std::string> Entries();
  // Whether an entry equals `entry` exactly.
  bool Has(const std::string& entry);
  // How many entries equal `entry` exactly.
  size_t Count(const std::string& entry);
  // All entries since the mark, one per line, for failure messages.
  std::string Dump();

  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
  size_t mark_ = 0;
};
