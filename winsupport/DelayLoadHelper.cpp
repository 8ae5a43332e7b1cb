#include "DelayLoadHelper.h"

#include "DelayLoad.h"
#include "DelayLoadSettings.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr DWORD kInvalidParameter = VcppException(ERROR_SEVERITY_ERROR, ERROR_INVALID_PARAMETER);
constexpr DWORD kModuleNotFound = VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND);
constexpr DWORD kProcedureNotFound = VcppException(ERROR_SEVERITY_ERROR, ERROR_PROC_NOT_FOUND);

// Addresses inside our own image, from the relative addresses of the descriptor.
template <typename T>
T FromRva(RVA rva) {
  return reinterpret_cast<T>(reinterpret_cast<BYTE*>(&__ImageBase) + rva);
}

void Raise(DWORD code, DelayLoadInfo& info) {
  ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(&info);
  ::RaiseException(code, 0, 1, &argument);
}

const IMAGE_NT_HEADERS* NtHeaders(HMODULE module) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  return reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(module) +
                                                   dos->e_lfanew);
}

// The bound address may be used only for the very image it was bound against.
bool BoundAddressValid(const ImgDelayDescr& descriptor, HMODULE module) {
  if (descriptor.rvaBoundIAT == 0 || descriptor.dwTimeStamp == 0) return false;
  const IMAGE_NT_HEADERS* headers = NtHeaders(module);
  return headers->Signature == IMAGE_NT_SIGNATURE &&
         headers->FileHeader.TimeDateStamp == descriptor.dwTimeStamp &&
         reinterpret_cast<ULONG_PTR>(module) == headers->OptionalHeader.ImageBase;
}

}  // namespace

FARPROC WINAPI DelayLoadHelper(PCImgDelayDescr descriptor, FARPROC* importSlot) {
  DelayLoadInfo info{};
  info.cb = sizeof(info);
  info.pidd = descriptor;
  info.ppfn = importSlot;

  if ((descriptor->grAttrs & dlattrRva) == 0) {
    Raise(kInvalidParameter, info);
    return nullptr;
  }

  info.szDll = FromRva<LPCSTR>(descriptor->rvaDLLName);
  auto* moduleSlot = FromRva<HMODULE*>(descriptor->rvaHmod);
  const auto* iat = FromRva<const IMAGE_THUNK_DATA*>(descriptor->rvaIAT);
  const auto* names = FromRva<const IMAGE_THUNK_DATA*>(descriptor->rvaINT);
  const size_t index = reinterpret_cast<const IMAGE_THUNK_DATA*>(importSlot) - iat;
  const IMAGE_THUNK_DATA& entry = names[index];
  info.dlp.fImportByName = !IMAGE_SNAP_BY_ORDINAL(entry.u1.Ordinal);
  if (info.dlp.fImportByName) {
    info.dlp.szProcName = reinterpret_cast<LPCSTR>(
        FromRva<const IMAGE_IMPORT_BY_NAME*>(entry.u1.AddressOfData)->Name);
  } else {
    info.dlp.dwOrdinal = static_cast<DWORD>(IMAGE_ORDINAL(entry.u1.Ordinal));
  }

  HMODULE module = *reinterpret_cast<HMODULE volatile*>(moduleSlot);
  if (module == nullptr) {
    module = DelayLoad::ResolveLibrary(info.szDll);
    if (module == nullptr) {
      info.dwLastError = ::GetLastError();
      Raise(kModuleNotFound, info);
      return nullptr;
    }
    DelayLoadSettings::Instance().RecordLoadedModule(info.szDll);
    // Another thread may have bound the library meanwhile: keep one reference only.
    const HMODULE previous = static_cast<HMODULE>(
        ::InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(moduleSlot), module));
    if (previous == module) ::FreeLibrary(module);
  }
  info.hmodCur = module;

  FARPROC function = nullptr;
  if (BoundAddressValid(*descriptor, module)) {
    function = reinterpret_cast<FARPROC>(
        FromRva<const IMAGE_THUNK_DATA*>(descriptor->rvaBoundIAT)[index].u1.Function);
  } else {
    function = ::GetProcAddress(
        module, info.dlp.fImportByName
                    ? info.dlp.szProcName
                    : reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(info.dlp.dwOrdinal)));
  }
  if (function == nullptr) {
    info.dwLastError = ::GetLastError();
    Raise(kProcedureNotFound, info);
    return nullptr;
  }
  info.pfnCur = function;
  *importSlot = function;
  return function;
}

extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* importSlot) {
  return DelayLoadHelper(descriptor, importSlot);
}
