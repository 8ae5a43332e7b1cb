#include "ImportHook.h"

#include <cstring>

namespace {

void* SwapSlot(void** slot, void* value) {
  DWORD oldProtection = 0;
  if (!::VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &oldProtection)) return nullptr;
  void* previous = *slot;
  *slot = value;
  ::VirtualProtect(slot, sizeof(void*), oldProtection, &oldProtection);
  return previous;
}

}  // namespace

ImportHook::ImportHook(const char* dllName, const char* functionName, void* replacement) {
  auto* base = reinterpret_cast<unsigned char*>(::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return;
  for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       entry->Name != 0; ++entry) {
    if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dllName) != 0) continue;
    if (entry->OriginalFirstThunk == 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), functionName) != 0) continue;
      auto** slot = reinterpret_cast<void**>(&addresses->u1.Function);
      original_ = *slot;
      if (SwapSlot(slot, replacement) != nullptr) slot_ = slot;
      return;
    }
  }
}

ImportHook::~ImportHook() {
  if (slot_ != nullptr) SwapSlot(slot_, original_);
}
