// Exits 42 when it runs as a 32-bit process on 64-bit Windows, 43 when not in WoW64.
#include <windows.h>

int main() {
  BOOL wow64 = FALSE;
  if (!::IsWow64Process(::GetCurrentProcess(), &wow64)) return 44;
  return wow64 ? 42 : 43;
}
