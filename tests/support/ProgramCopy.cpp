#include "ProgramCopy.h"

#include <vector>

#include "ProgramRunner.h"
#include "UniqueAny.h"

namespace {

// A resource type or name: an integer id or a string.
struct ResourceId {
  explicit ResourceId(LPCWSTR id)
      : number(IS_INTRESOURCE(id) ? static_cast<WORD>(reinterpret_cast<ULONG_PTR>(id)) : 0),
        text(IS_INTRESOURCE(id) ? L"" : id) {}
  LPCWSTR get() const { return text.empty() ? MAKEINTRESOURCEW(number) : text.c_str(); }
  bool operator==(const ResourceId& other) const {
    return number == other.number && text == other.text;
  }
  WORD number;
  std::wstring text;
};

// One resource of a module.
struct ResourceEntry {
  ResourceId type;
  ResourceId name;
  WORD language = 0;
  std::string data;
};

std::vector<ResourceEntry> ReadAllResources(HMODULE module) {
  struct Walk {
    HMODULE module;
    std::vector<ResourceEntry> entries;
  } walk{module, {}};
  ::EnumResourceTypesW(
      module,
      [](HMODULE m, LPWSTR type, LONG_PTR typeParam) -> BOOL {
        ::EnumResourceNamesW(
            m, type,
            [](HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR nameParam) -> BOOL {
              ::EnumResourceLanguagesW(
                  m, type, name,
                  [](HMODULE m, LPCWSTR type, LPCWSTR name, WORD language,
                     LONG_PTR languageParam) -> BOOL {
                    auto* walk = reinterpret_cast<Walk*>(languageParam);
                    HRSRC info = ::FindResourceExW(m, type, name, language);
                    HGLOBAL loaded = info != nullptr ? ::LoadResource(m, info) : nullptr;
                    const char* bytes = loaded != nullptr
                                            ? static_cast<const char*>(::LockResource(loaded))
                                            : nullptr;
                    ResourceEntry entry{ResourceId(type), ResourceId(name), language, {}};
                    if (bytes != nullptr) entry.data.assign(bytes, ::SizeofResource(m, info));
                    walk->entries.push_back(std::move(entry));
                    return TRUE;
                  },
                  nameParam);
              return TRUE;
            },
            typeParam);
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&walk));
  return walk.entries;
}

}  // namespace

std::wstring MakeProgramCopy(const std::wstring& copy, const ResourceChange* change) {
  if (!::CopyFileW(PurgeKit64Path().c_str(), copy.c_str(), FALSE)) return {};
  if (change == nullptr) return copy;

  std::vector<ResourceEntry> entries;
  {
    UniqueModule original(
        ::LoadLibraryExW(PurgeKit64Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!original) return {};
    entries = ReadAllResources(original.get());
  }
  const ResourceId type(change->type);
  bool found = false;
  for (auto entry = entries.begin(); entry != entries.end();) {
    if (entry->type == type && entry->name.text.empty() && entry->name.number == change->id) {
      found = true;
      if (!change->bytes) {
        entry = entries.erase(entry);
        continue;
      }
      entry->data = *change->bytes;
    }
    ++entry;
  }
  if (!found) return {};

  HANDLE update = ::BeginUpdateResourceW(copy.c_str(), TRUE);
  if (update == nullptr) return {};
  bool written = true;
  for (ResourceEntry& entry : entries) {
    written =
        written && ::UpdateResourceW(update, entry.type.get(), entry.name.get(), entry.language,
                                     entry.data.data(), static_cast<DWORD>(entry.data.size()));
  }
  if (!::EndUpdateResourceW(update, !written) || !written) return {};
  return copy;
}
