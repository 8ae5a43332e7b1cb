#include "ImageResource.h"

#include "MemStream.h"
#include "UniqueAny.h"

namespace KvUI {

SharedImage LoadImageResource(HMODULE module, const wchar_t* name, const wchar_t* type) {
  UniqueCom<IStream> stream;
  if (FAILED(MemStream::FromResource(module, name, type, stream.put()))) return {};
  // GDI+ takes its own reference for as long as it needs the stream.
  return SharedImage(new Gdiplus::Image(stream.get()));
}

}  // namespace KvUI
