#include "ZipDropper.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <memory>
#include <new>

#include "Log.h"
#include "PathUtils.h"
#include "StringUtils.h"
#include "UniqueAny.h"

using namespace KvTzkLogging;

namespace {

// The state behind the file functions: the locked resource bytes (owned by the module)
// and the read position.
struct ResourceStream {
  const unsigned char* data;
  ZPOS64_T size;
  ZPOS64_T position;
};

// The archive is only ever read.
uLong ZCALLBACK WriteStub(voidpf, voidpf, const void*, uLong) { return 0; }
int ZCALLBACK TestErrorStub(voidpf, voidpf) { return 0; }

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 (with any extension) name devices, not files, in
// every directory.
bool IsDeviceName(const std::wstring& component) {
  std::wstring base = component.substr(0, component.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (auto& unit : base) unit = static_cast<wchar_t>(std::towupper(unit));
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
      base == L"CONOUT$") {
    return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0)) {
    const wchar_t digit = base[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' ||
           digit == L'\u00b3';
  }
  return false;
}

// A member name (forward slashes) may only name something below the directory it is
// unpacked into: no way up, no absolute or UNC path, no drive, no stream, no backslash
// (not a separator of the archive), no control character and no device.
bool IsSafeMemberName(const std::wstring& name) {
  if (name.empty() || name.front() == L'/') return false;
  if (name.find(L"..") != std::wstring::npos) return false;
  if (name.find_first_of(L"\\:") != std::wstring::npos) return false;
  for (const wchar_t unit : name) {
    if (unit < L' ') return false;
  }
  for (const auto& component : Split(name, L'/')) {
    if (IsDeviceName(component)) return false;
  }
  return true;
}

}  // namespace

bool ZipDropper::IsEmptyArchive(WORD resourceId) {
  voidpf stream = ResourceOpen(nullptr, MAKEINTRESOURCEW(resourceId), ZLIB_FILEFUNC_MODE_READ);
  if (stream == nullptr) return false;
  // The end record alone: signature, disk numbers, entry counts 0, directory size and
  // offset 0, then the comment, which runs to the end.
  unsigned char record[22] = {};
  const bool complete = ResourceRead(nullptr, stream, record, sizeof(record)) == sizeof(record);
  ResourceSeek(nullptr, stream, 0, ZLIB_FILEFUNC_SEEK_END);
  const ZPOS64_T size = ResourceTell(nullptr, stream);
  ResourceClose(nullptr, stream);
  if (!complete) return false;
  static constexpr unsigned char kEmptyRecord[20] = {'P', 'K', 5, 6};
  const ZPOS64_T comment = record[20] | (record[21] << 8);
  return std::memcmp(record, kEmptyRecord, sizeof(kEmptyRecord)) == 0 &&
         size == sizeof(record) + comment;
}

voidpf ZCALLBACK ZipDropper::ResourceOpen(voidpf, const void* name, int) {
  auto* stream = new (std::nothrow) ResourceStream{nullptr, 0, 0};
  if (stream == nullptr) return nullptr;
  const HMODULE module = ::GetModuleHandleW(nullptr);
  const HRSRC info = ::FindResourceW(module, static_cast<const wchar_t*>(name), RT_RCDATA);
  const HGLOBAL loaded = info != nullptr ? ::LoadResource(module, info) : nullptr;
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  const DWORD size = info != nullptr ? ::SizeofResource(module, info) : 0;
  if (data == nullptr || size == 0) {
    delete stream;
    return nullptr;
  }
  stream->data = static_cast<const unsigned char*>(data);
  stream->size = size;
  stream->position = 0;
  return stream;
}

uLong ZCALLBACK ZipDropper::ResourceRead(voidpf, voidpf stream, void* buffer, uLong count) {
  auto* resource = static_cast<ResourceStream*>(stream);
  if (resource == nullptr || buffer == nullptr) return 0;
  const ZPOS64_T available = resource->size - resource->position;
  const uLong copied = count < available ? count : static_cast<uLong>(available);
  std::memcpy(buffer, resource->data + resource->position, copied);
  resource->position += copied;
  return copied;
}

ZPOS64_T ZCALLBACK ZipDropper::ResourceTell(voidpf, voidpf stream) {
  const auto* resource = static_cast<const ResourceStream*>(stream);
  return resource != nullptr ? resource->position : 0;
}

long ZCALLBACK ZipDropper::ResourceSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* resource = static_cast<ResourceStream*>(stream);
  if (resource == nullptr) return 1;
  // Every target is worked out without wrapping around: a seek beyond either end
  // leaves the position at the end and fails.
  bool beyond = false;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      beyond = offset > resource->size;
      if (!beyond) resource->position = offset;
      break;
    case ZLIB_FILEFUNC_SEEK_CUR:
      beyond = offset > resource->size - resource->position;
      if (!beyond) resource->position += offset;
      break;
    case ZLIB_FILEFUNC_SEEK_END:
      beyond = offset > resource->size;
      if (!beyond) resource->position = resource->size - offset;
      break;
    default: return 1;
  }
  if (beyond) {
    resource->position = resource->size;
    return 1;
  }
  return 0;
}

int ZCALLBACK ZipDropper::ResourceClose(voidpf, voidpf stream) {
  delete static_cast<ResourceStream*>(stream);
  return 0;
}

bool ZipDropper::WriteZipDataToFile(unzFile archive, HANDLE file, char* buffer, ZPOS64_T& written) {
  for (;;) {
    const int read = unzReadCurrentFile(archive, buffer, kBufferSize);
    if (read < 0) {
      LogFuncW(LogError, "ZipDropper::WriteZipDataToFile", L"Failed to read from zip: %d", read);
      return false;
    }
    if (read == 0) return true;
    DWORD done = 0;
    if (!::WriteFile(file, buffer, static_cast<DWORD>(read), &done, nullptr) ||
        done != static_cast<DWORD>(read)) {
      LogFuncW(LogError, "ZipDropper::WriteZipDataToFile",
               L"Failed to write to file (write: %d, written: %lu) err:%lu", read, done,
               ::GetLastError());
      return false;
    }
    written += done;
  }
}

int ZipDropper::ExtractZipFile(unzFile archive, const std::wstring& directory, const char* name,
                               char* buffer) {
  if (name == nullptr || std::strstr(name, "..") != nullptr) return UNZ_BADZIPFILE;
  std::wstring member = AcpToWide(name);
  if (!IsSafeMemberName(member)) return UNZ_BADZIPFILE;
  // A directory entry: the folders of the files are made as they come.
  if (member.back() == L'/') return UNZ_OK;

  // Only plain members: stored or deflated, never encrypted. Anything else would be
  // copied out undecoded.
  unz_file_info64 info{};
  int code = unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0);
  if (code != UNZ_OK) return code;
  if ((info.flag & 1) != 0 ||
      (info.compression_method != 0 && info.compression_method != Z_DEFLATED)) {
    return UNZ_BADZIPFILE;
  }

  std::replace(member.begin(), member.end(), L'/', L'\\');
  const std::wstring target = CombinePath(directory, member);
  std::wstring parent;
  std::wstring fileName;
  if (!SplitPath(target, parent, fileName) || !CreateDirectoryRecursive(parent, nullptr)) {
    LogFuncW(LogError, "ZipDropper::ExtractZipFile", L"Failed to create base path for '%s'",
             target.c_str());
    return UNZ_INTERNALERROR;
  }

  UniqueFileHandle file(::CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || file.get() == nullptr) {
    const DWORD error = ::GetLastError();
    file.release();
    LogFuncW(LogError, "ZipDropper::ExtractZipFile", L"Failed to open file '%s' for writing: %lu",
             target.c_str(), error);
    return UNZ_INTERNALERROR;
  }

  code = unzOpenCurrentFile(archive);
  if (code != UNZ_OK) return code;
  ZPOS64_T written = 0;
  const bool copied = WriteZipDataToFile(archive, file.get(), buffer, written);
  const int closed = unzCloseCurrentFile(archive);
  file.reset();
  if (!copied) return UNZ_INTERNALERROR;
  // Damaged data that still inflates shows only in its checksum or its length.
  if (closed == UNZ_CRCERROR || written != info.uncompressed_size) {
    LogFuncW(LogError, "ZipDropper::ExtractZipFile", L"Failed to read from zip: %d", UNZ_CRCERROR);
    return UNZ_INTERNALERROR;
  }
  return UNZ_OK;
}

bool ZipDropper::ExtractFilesFromResource(const std::wstring& directory, WORD resourceId) {
  if (directory.empty() || !IsDirectory(directory)) {
    LogFuncW(LogError, "ZipDropper::ExtractFilesFromResource",
             L"Target path '%s' is not valid directory", directory.c_str());
    return false;
  }

  zlib_filefunc64_def functions{};
  functions.zopen64_file = ResourceOpen;
  functions.zread_file = ResourceRead;
  functions.zwrite_file = WriteStub;
  functions.ztell64_file = ResourceTell;
  functions.zseek64_file = ResourceSeek;
  functions.zclose_file = ResourceClose;
  functions.zerror_file = TestErrorStub;
  functions.opaque = nullptr;
  unzFile archive = unzOpen2_64(MAKEINTRESOURCEW(resourceId), &functions);
  // minizip can't open an archive that is nothing but its end record (it takes a
  // record found at offset 0 for none at all); such an archive has nothing to unpack.
  if (archive == nullptr && IsEmptyArchive(resourceId)) return true;
  if (archive == nullptr) {
    LogFuncW(LogError, "ZipDropper::ExtractFilesFromResource", L"Failed to open zip resource");
    return false;
  }

  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBufferSize]);
  int code = buffer ? UNZ_OK : UNZ_INTERNALERROR;
  // An archive without members has nothing to walk (minizip would report the missing
  // first entry as a damaged archive).
  unz_global_info64 global{};
  if (code == UNZ_OK) code = unzGetGlobalInfo64(archive, &global);
  if (code == UNZ_OK) {
    code = global.number_entry == 0 ? UNZ_END_OF_LIST_OF_FILE : unzGoToFirstFile(archive);
  }
  while (code == UNZ_OK) {
    unz_file_info64 info{};
    code = unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0);
    if (code != UNZ_OK) break;
    std::unique_ptr<char[]> name(new (std::nothrow) char[info.size_filename + 1]);
    if (!name) {
      code = UNZ_INTERNALERROR;
      break;
    }
    code = unzGetCurrentFileInfo64(archive, nullptr, name.get(), info.size_filename + 1, nullptr, 0,
                                   nullptr, 0);
    if (code != UNZ_OK) break;
    name[info.size_filename] = '\0';
    LogFuncW(LogDebug, "ZipDropper::ExtractFilesFromResource", L"'%S'", name.get());
    code = ExtractZipFile(archive, directory, name.get(), buffer.get());
    if (code != UNZ_OK) break;
    code = unzGoToNextFile(archive);
  }
  buffer.reset();
  unzClose(archive);

  if (code == UNZ_END_OF_LIST_OF_FILE) return true;
  LogFuncW(LogError, "ZipDropper::ExtractFilesFromResource", L"Unzipping failed: %d", code);
  return false;
}
