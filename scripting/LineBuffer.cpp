#include "LineBuffer.h"

namespace Lua::Process {

void LineBuffer::Feed(char* chunk) {
  char* lineStart = chunk;
  char* p = chunk;
  for (; *p != '\0'; ++p) {
    if (*p != '\r' && *p != '\n') continue;
    if (!pending_.empty()) {
      pending_.append(lineStart, p);
      callback_(pending_.c_str());
      pending_.clear();
    } else if (p != lineStart) {
      *p = '\0';
      callback_(lineStart);
    }
    lineStart = p + 1;
  }
  pending_.append(lineStart, p);
}

void LineBuffer::Flush() {
  if (pending_.empty()) return;
  callback_(pending_.c_str());
  pending_.clear();
}

}  // namespace Lua::Process
