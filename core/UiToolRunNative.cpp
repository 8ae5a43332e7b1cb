#include "UiTool.h"

// The 64-bit program is the native one: the run goes on in this process.
bool UiTool::RunNative(int* /*code*/) { return false; }
