// The toolkit's read-only stream, on its own and under GDI+ decoding the program's images.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GdiPlus.h"
#include "ImageResource.h"
#include "MemStream.h"
#include "ProgramRunner.h"
#include "ResourceIds.h"
#include "UniqueAny.h"

using KvUI::MemStream;

namespace {

constexpr HRESULT kNegativeSeek = static_cast<HRESULT>(0x80070083);

UniqueCom<IStream> StreamOf(size_t size) {
  std::vector<BYTE> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(i);
  return UniqueCom<IStream>(new MemStream(bytes.data(), bytes.size()));
}

ULONGLONG Position(IStream* stream) {
  ULARGE_INTEGER at{};
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_CUR, &at);
  return at.QuadPart;
}

HRESULT SeekTo(IStream* stream, LONGLONG move, DWORD origin, ULONGLONG* where = nullptr) {
  LARGE_INTEGER delta{};
  delta.QuadPart = move;
  ULARGE_INTEGER at{};
  const HRESULT hr = stream->Seek(delta, origin, &at);
  if (where) *where = at.QuadPart;
  return hr;
}

// The program's own resources, read from the built program without running it.
class ProgramModule {
 public:
  ProgramModule()
      : module_(::LoadLibraryExW(PurgeKit64Path().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  HMODULE Get() const { return module_.get(); }

 private:
  UniqueModule module_;
};

}  // namespace

TEST(MemStream, ReadsWhatRemainsAndNothingAtTheEnd) {
  auto stream = StreamOf(10);
  BYTE buffer[16] = {};
  ULONG read = 99;
  EXPECT_EQ(stream.get()->Read(buffer, 4, &read), S_OK);
  EXPECT_EQ(read, 4u);
  EXPECT_EQ(buffer[3], 3);
  EXPECT_EQ(stream.get()->Read(buffer, 16, &read), S_OK);
  EXPECT_EQ(read, 6u);
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(stream.get()->Read(buffer, 16, &read), S_OK);
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(stream.get()->Read(nullptr, 1, &read), E_INVALIDARG);
  // A position beyond the end is allowed; reading there gives nothing.
  EXPECT_EQ(SeekTo(stream.get(), 50, STREAM_SEEK_SET), S_OK);
  EXPECT_EQ(stream.get()->Read(buffer, 4, &read), S_OK);
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(stream.get()->Write(buffer, 1, nullptr), E_NOTIMPL);
}

TEST(MemStream, SeeksFromEveryOriginAndRefusesToGoBeforeTheStart) {
  struct Case {
    ULONGLONG start;
    LONGLONG move;
    DWORD origin;
    HRESULT result;
    ULONGLONG position;  // afterwards
  };
  constexpr ULONGLONG size = 300;
  const Case cases[] = {
      {5, 0, STREAM_SEEK_END, S_OK, size},
      {5, -static_cast<LONGLONG>(size), STREAM_SEEK_END, S_OK, 0},
      {5, -static_cast<LONGLONG>(size) - 1, STREAM_SEEK_END, kNegativeSeek, 0},
      {100, -100, STREAM_SEEK_CUR, S_OK, 0},
      {100, -101, STREAM_SEEK_CUR, kNegativeSeek, 0},
      {100, 25, STREAM_SEEK_CUR, S_OK, 125},
      {100, 7, STREAM_SEEK_SET, S_OK, 7},
      {100, 1, 3, E_INVALIDARG, 100},
      {100, INT64_MIN, STREAM_SEEK_CUR, kNegativeSeek, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << " " << c.move << " " << c.origin);
    auto stream = StreamOf(size);
    SeekTo(stream.get(), static_cast<LONGLONG>(c.start), STREAM_SEEK_SET);
    EXPECT_EQ(SeekTo(stream.get(), c.move, c.origin), c.result);
    EXPECT_EQ(Position(stream.get()), c.position);
  }
}

TEST(MemStream, StatCloneAndInterfaces) {
  auto stream = StreamOf(300);
  STATSTG stat{};
  EXPECT_EQ(stream.get()->Stat(&stat, STATFLAG_DEFAULT), E_NOTIMPL);
  EXPECT_EQ(stream.get()->Stat(nullptr, STATFLAG_NONAME), E_INVALIDARG);
  ASSERT_EQ(stream.get()->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
  EXPECT_EQ(stat.cbSize.QuadPart, 300u);
  EXPECT_EQ(stat.pwcsName, nullptr);

  BYTE buffer[100];
  ULONG read = 0;
  stream.get()->Read(buffer, 100, &read);
  UniqueCom<IStream> clone;
  ASSERT_EQ(stream.get()->Clone(clone.put()), S_OK);
  BYTE first = 0;
  clone.get()->Read(&first, 1, &read);
  EXPECT_EQ(first, 100);
  EXPECT_EQ(Position(stream.get()), 100u);
  EXPECT_EQ(stream.get()->Clone(nullptr), E_POINTER);

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(stream.get()->QueryInterface(IID_ISequentialStream, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(stream.get()->QueryInterface(IID_IStream, nullptr), E_POINTER);
  ASSERT_EQ(stream.get()->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1u);
}

TEST(MemStream, ProgramImagesDecodeUnderGdiPlusTo192PixelsWithAlpha) {
  auto gdiPlus = KvUI::GdiPlus::Start();
  ProgramModule program;
  ASSERT_NE(program.Get(), nullptr);
  for (const int id : {IDP_ERROR, IDP_FINISHED, IDP_REBOOT}) {
    SCOPED_TRACE(id);
    KvUI::SharedImage image = KvUI::LoadImageResource(program.Get(), MAKEINTRESOURCEW(id), L"PNG");
    ASSERT_TRUE(image);
    ASSERT_EQ(image->GetLastStatus(), Gdiplus::Ok);
    EXPECT_EQ(image->GetWidth(), 192u);
    EXPECT_EQ(image->GetHeight(), 192u);
    EXPECT_TRUE(Gdiplus::IsAlphaPixelFormat(image->GetPixelFormat()));

    // Transparent corners around an opaque disc.
    UniqueCom<IStream> stream;
    ASSERT_EQ(MemStream::FromResource(program.Get(), MAKEINTRESOURCEW(id), L"PNG", stream.put()),
              S_OK);
    Gdiplus::Bitmap bitmap(stream.get());
    Gdiplus::Color corner;
    Gdiplus::Color centre;
    bitmap.GetPixel(2, 2, &corner);
    bitmap.GetPixel(96, 150, &centre);
    EXPECT_EQ(corner.GetA(), 0);
    EXPECT_EQ(centre.GetA(), 255);
  }
  IStream* none = nullptr;
  EXPECT_EQ(MemStream::FromResource(program.Get(), MAKEINTRESOURCEW(108), L"PNG", &none), E_FAIL);
  EXPECT_FALSE(KvUI::LoadImageResource(program.Get(), MAKEINTRESOURCEW(108), L"PNG"));
}
