#pragma once

#include <functional>
#include <string>

namespace Lua::Process {

// Splits a stream of output chunks into lines. A carriage return or a line feed ends a
// line; consecutive line ends (and so CR LF) give no empty lines. Lines that lie wholly
// inside one chunk are handed on in place; only a line cut by the end of a chunk is copied.
class LineBuffer {
 public:
  using Callback = std::function<void(const char* line)>;

  explicit LineBuffer(Callback callback) : callback_(std::move(callback)) {}

  // Scans the chunk up to its first NUL, which the caller must have put behind the data;
  // line ends inside it are overwritten. Bytes after a NUL inside the data are dropped.
  void Feed(char* chunk);
  // Hands on the pending partial line, if there is one.
  void Flush();

 private:
  Callback callback_;
  std::string pending_;
};

}  // namespace Lua::Process
