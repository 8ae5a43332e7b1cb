#pragma once

#include <windows.h>

#include <utility>

// One owning holder for every kind of Windows handle. A Traits type names the value
// that means "nothing held" and how a held value is released, so that handles whose
// failure value is NULL and those whose failure value is INVALID_HANDLE_VALUE never
// share a holder type and a failed call can't be mistaken for a valid handle.
template <typename Traits>
class UniqueAny {
 public:
  using pointer = typename Traits::type;

  UniqueAny() noexcept = default;
  explicit UniqueAny(pointer value) noexcept : value_(value) {}
  ~UniqueAny() { reset(); }

  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  pointer get() const noexcept { return value_; }
  bool is_valid() const noexcept { return value_ != Traits::empty(); }
  explicit operator bool() const noexcept { return is_valid(); }

  void reset(pointer value = Traits::empty()) noexcept {
    if (is_valid()) Traits::close(value_);
    value_ = value;
  }
  pointer release() noexcept { return std::exchange(value_, Traits::empty()); }

  // For functions that return a handle through an out-parameter.
  pointer* put() noexcept {
    reset();
    return &value_;
  }

 private:
  pointer value_ = Traits::empty();
};

// The closing rule of every kernel handle holder: a handle is closed unless it is
// NULL or INVALID_HANDLE_VALUE, whichever of the two the holder takes as empty.
namespace ScopedHandle {
inline void Close(HANDLE handle) noexcept {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
}
}  // namespace ScopedHandle

struct NullHandleTraits {
  using type = HANDLE;
  static constexpr HANDLE empty() noexcept { return nullptr; }
  static void close(HANDLE h) noexcept { ScopedHandle::Close(h); }
};

struct InvalidHandleTraits {
  using type = HANDLE;
  static HANDLE empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { ScopedHandle::Close(h); }
};

struct RegKeyTraits {
  using type = HKEY;
  static constexpr HKEY empty() noexcept { return nullptr; }
  static void close(HKEY h) noexcept { ::RegCloseKey(h); }
};

struct ModuleTraits {
  using type = HMODULE;
  static constexpr HMODULE empty() noexcept { return nullptr; }
  static void close(HMODULE h) noexcept { ::FreeLibrary(h); }
};

struct LocalMemoryTraits {
  using type = HLOCAL;
  static constexpr HLOCAL empty() noexcept { return nullptr; }
  static void close(HLOCAL h) noexcept { ::LocalFree(h); }
};

struct FindFileTraits {
  using type = HANDLE;
  static HANDLE empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { ::FindClose(h); }
};

struct SidTraits {
  using type = PSID;
  static constexpr PSID empty() noexcept { return nullptr; }
  static void close(PSID sid) noexcept { ::FreeSid(sid); }
};

struct ServiceHandleTraits {
  using type = SC_HANDLE;
  static constexpr SC_HANDLE empty() noexcept { return nullptr; }
  static void close(SC_HANDLE h) noexcept { ::CloseServiceHandle(h); }
};

// Blocks from HeapAlloc on the process heap.
struct ProcessHeapTraits {
  using type = void*;
  static constexpr void* empty() noexcept { return nullptr; }
  static void close(void* block) noexcept { ::HeapFree(::GetProcessHeap(), 0, block); }
};

// GDI objects (fonts, bitmaps, brushes, regions), kept with their own handle type.
template <typename T>
struct GdiObjectTraits {
  using type = T;
  static constexpr T empty() noexcept { return nullptr; }
  static void close(T h) noexcept { ::DeleteObject(h); }
};

// Memory device contexts made by CreateCompatibleDC.
struct MemoryDcTraits {
  using type = HDC;
  static constexpr HDC empty() noexcept { return nullptr; }
  static void close(HDC h) noexcept { ::DeleteDC(h); }
};

struct IconTraits {
  using type = HICON;
  static constexpr HICON empty() noexcept { return nullptr; }
  static void close(HICON h) noexcept { ::DestroyIcon(h); }
};

// One reference to a COM object.
template <typename T>
struct ComTraits {
  using type = T*;
  static constexpr T* empty() noexcept { return nullptr; }
  static void close(T* p) noexcept { p->Release(); }
};

// Device information lists of the device installer (HDEVINFO from SetupDiGetClassDevs and
// friends). The closing call lives in UniqueAny.cpp, so that the device installer's header,
// whose macros clash with ordinary names, stays out of every other source.
struct DevInfoListTraits {
  using type = void*;
  static void* empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(void* list) noexcept;
};

// Handles whose failure value is NULL: processes, threads, events, mutexes, tokens,
// file mappings.
using UniqueHandle = UniqueAny<NullHandleTraits>;
// Handles whose failure value is INVALID_HANDLE_VALUE: files, snapshots.
using UniqueFileHandle = UniqueAny<InvalidHandleTraits>;
using UniqueHKey = UniqueAny<RegKeyTraits>;
using UniqueModule = UniqueAny<ModuleTraits>;
using UniqueLocal = UniqueAny<LocalMemoryTraits>;
using UniqueFindHandle = UniqueAny<FindFileTraits>;
// SIDs made by AllocateAndInitializeSid.
using UniqueSid = UniqueAny<SidTraits>;
// Service control manager and service handles.
using UniqueServiceHandle = UniqueAny<ServiceHandleTraits>;
using UniqueHeapBlock = UniqueAny<ProcessHeapTraits>;
template <typename T>
using UniqueGdi = UniqueAny<GdiObjectTraits<T>>;
using UniqueMemoryDc = UniqueAny<MemoryDcTraits>;
using UniqueIcon = UniqueAny<IconTraits>;
template <typename T>
using UniqueCom = UniqueAny<ComTraits<T>>;
using UniqueDevInfoList = UniqueAny<DevInfoListTraits>;
