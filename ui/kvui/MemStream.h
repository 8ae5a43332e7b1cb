#pragma once

#include <windows.h>

#include <objidl.h>

#include <vector>

namespace KvUI {

// A read-only COM stream over a private copy of some bytes (a resource), for GDI+ to
// decode from. It frees itself with its last reference.
class MemStream : public IStream {
 public:
  // A new stream (one reference, the caller's) over a copy of the resource's bytes;
  // E_FAIL when the resource can't be found or loaded.
  static HRESULT FromResource(HMODULE module, const wchar_t* name, const wchar_t* type,
                              IStream** stream);

  MemStream(const BYTE* data, size_t size) : bytes_(data, data + size) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override;
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* newPosition) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* statstg, DWORD flag) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) override;

 private:
  virtual ~MemStream() = default;

  const std::vector<BYTE> bytes_;
  ULONGLONG position_ = 0;
  LONG references_ = 1;
};

}  // namespace KvUI
