#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "unzip.h"

// Unpacks the script archive, a ZIP kept as an RCDATA resource of the running program,
// into a directory: read in place from the mapped resource through minizip with memory
// callbacks of its own, each member streamed to disk through one small buffer. Member
// names that could reach outside the directory are refused, never followed.
class ZipDropper {
 public:
  static constexpr WORD kScriptArchiveResourceId = 103;
  static constexpr unsigned kBufferSize = 4096;

  // Unpacks every member of the program's archive into an existing directory. Stops at
  // the first member that fails; what was written before stays.
  static bool ExtractFilesFromResource(const std::wstring& directory,
                                       WORD resourceId = kScriptArchiveResourceId);

  // Writes the member the archive is positioned on below the directory. 0 on success,
  // UNZ_BADZIPFILE for a name or member that is refused, UNZ_INTERNALERROR when the file
  // can't be created, written or its data is damaged, or minizip's own code.
  static int ExtractZipFile(unzFile archive, const std::wstring& directory, const char* name,
                            char* buffer);

  // The file functions handed to minizip. The "file name" is the resource id.
  static voidpf ZCALLBACK ResourceOpen(voidpf opaque, const void* name, int mode);
  static uLong ZCALLBACK ResourceRead(voidpf opaque, voidpf stream, void* buffer, uLong count);
  static ZPOS64_T ZCALLBACK ResourceTell(voidpf opaque, voidpf stream);
  static long ZCALLBACK ResourceSeek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin);
  static int ZCALLBACK ResourceClose(voidpf opaque, voidpf stream);

 private:
  // Whether the resource is a valid archive without members in its shortest form.
  static bool IsEmptyArchive(WORD resourceId);
  // Copies the open member into the file; false after a read or write failure.
  static bool WriteZipDataToFile(unzFile archive, HANDLE file, char* buffer, ZPOS64_T& written);
};
