#include "MemStream.h"

#include <algorithm>
#include <cstring>

namespace KvUI {

namespace {
// HRESULT_FROM_WIN32(ERROR_NEGATIVE_SEEK)
constexpr HRESULT kNegativeSeek = static_cast<HRESULT>(0x80070083);
}  // namespace

HRESULT MemStream::FromResource(HMODULE module, const wchar_t* name, const wchar_t* type,
                                IStream** stream) {
  const HRSRC resource = ::FindResourceW(module, name, type);
  if (resource == nullptr) return E_FAIL;
  const HGLOBAL loaded = ::LoadResource(module, resource);
  if (loaded == nullptr) return E_FAIL;
  const auto* data = static_cast<const BYTE*>(::LockResource(loaded));
  const DWORD size = ::SizeofResource(module, resource);
  if (data == nullptr && size != 0) return E_FAIL;
  *stream = new MemStream(data, size);
  return S_OK;
}

HRESULT MemStream::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IStream) {
    *ppv = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG MemStream::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

ULONG MemStream::Release() {
  const LONG count = ::InterlockedDecrement(&references_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT MemStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
  if (pv == nullptr) return E_INVALIDARG;
  const ULONGLONG size = bytes_.size();
  const ULONG n =
      position_ < size ? static_cast<ULONG>(std::min<ULONGLONG>(cb, size - position_)) : 0;
  if (n > 0) std::memcpy(pv, bytes_.data() + position_, n);
  position_ += n;
  if (pcbRead) *pcbRead = n;
  return S_OK;
}

HRESULT MemStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
  const LONGLONG delta = move.QuadPart;
  const ULONGLONG size = bytes_.size();
  // The magnitude of a negative move, without overflow for the most negative value.
  const ULONGLONG back = delta < 0 ? 0 - static_cast<ULONGLONG>(delta) : 0;
  switch (origin) {
    case STREAM_SEEK_SET: position_ = static_cast<ULONGLONG>(delta); break;
    case STREAM_SEEK_CUR:
      if (delta < 0 && back > position_) {
        position_ = 0;
        return kNegativeSeek;
      }
      position_ += static_cast<ULONGLONG>(delta);
      break;
    case STREAM_SEEK_END:
      if (delta < 0 && back > size) {
        position_ = 0;
        return kNegativeSeek;
      }
      position_ = size + static_cast<ULONGLONG>(delta);
      break;
    default: return E_INVALIDARG;
  }
  if (newPosition) newPosition->QuadPart = position_;
  return S_OK;
}

HRESULT MemStream::Stat(STATSTG* statstg, DWORD flag) {
  if (statstg == nullptr) return E_INVALIDARG;
  if (flag != STATFLAG_NONAME) return E_NOTIMPL;
  *statstg = STATSTG{};
  statstg->type = STGTY_STREAM;
  statstg->cbSize.QuadPart = bytes_.size();
  return S_OK;
}

HRESULT MemStream::Clone(IStream** ppstm) {
  if (ppstm == nullptr) return E_POINTER;
  auto* clone = new MemStream(bytes_.data(), bytes_.size());
  clone->position_ = position_;
  *ppstm = clone;
  return S_OK;
}

}  // namespace KvUI
