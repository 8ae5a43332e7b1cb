// The window's resources as the built program carries them: the dialog templates read
// back from their binary form, the icon group and the manifest.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "ProgramRunner.h"
#include "ResourceIds.h"
#include "StringUtils.h"
#include "UniqueAny.h"

namespace {

struct Item {
  int id;
  std::wstring windowClass;
  DWORD style;
  short x, y, cx, cy;
  std::wstring text;
};

struct Template {
  DWORD style = 0;
  DWORD exStyle = 0;
  short cx = 0, cy = 0;
  std::wstring caption;
  WORD pointSize = 0;
  WORD weight = 0;
  std::wstring face;
  std::vector<Item> items;
};

// Reads the extended template format (DLGTEMPLATEEX and DLGITEMTEMPLATEEX).
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, size_t size) : begin_(data), p_(data), end_(data + size) {}

  bool Read(Template& t) {
    if (Word() != 1 || Word() != 0xFFFF) return false;
    Dword();  // help id
    t.exStyle = Dword();
    t.style = Dword();
    const WORD count = Word();
    Word();
    Word();
    t.cx = static_cast<short>(Word());
    t.cy = static_cast<short>(Word());
    NameOrOrdinal();  // menu
    NameOrOrdinal();  // class
    t.caption = String();
    if (t.style & DS_SETFONT) {
      t.pointSize = Word();
      t.weight = Word();
      Word();  // italic, character set
      t.face = String();
    }
    for (WORD i = 0; i < count && ok_; ++i) {
      Align();
      Item item{};
      Dword();  // help id
      Dword();  // extended style
      item.style = Dword();
      item.x = static_cast<short>(Word());
      item.y = static_cast<short>(Word());
      item.cx = static_cast<short>(Word());
      item.cy = static_cast<short>(Word());
      item.id = static_cast<int>(Dword());
      item.windowClass = NameOrOrdinal();
      std::transform(item.windowClass.begin(), item.windowClass.end(), item.windowClass.begin(),
                     ::towlower);
      item.text = NameOrOrdinal();
      p_ += Word();  // creation data
      t.items.push_back(item);
    }
    return ok_;
  }

 private:
  WORD Word() {
    if (p_ + 2 > end_) {
      ok_ = false;
      return 0;
    }
    const WORD w = static_cast<WORD>(p_[0] | (p_[1] << 8));
    p_ += 2;
    return w;
  }
  DWORD Dword() {
    const DWORD low = Word();
    return low | (static_cast<DWORD>(Word()) << 16);
  }
  std::wstring String() {
    std::wstring s;
    while (ok_) {
      const WORD c = Word();
      if (c == 0) break;
      s += static_cast<wchar_t>(c);
    }
    return s;
  }
  std::wstring NameOrOrdinal() {
    if (p_ + 2 <= end_ && p_[0] == 0xFF && p_[1] == 0xFF) {
      Word();
      switch (Word()) {
        case 0x80: return L"button";
        case 0x81: return L"edit";
        case 0x82: return L"static";
        default: return L"#ordinal";
      }
    }
    return String();
  }
  void Align() {
    while (((p_ - begin_) & 3) != 0) ++p_;
  }

  const BYTE* begin_;
  const BYTE* p_;
  const BYTE* end_;
  bool ok_ = true;
};

class ProgramResources : public testing::Test {
 protected:
  void SetUp() override {
    module_.reset(::LoadLibraryExW(PurgeKit64Path().c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module_);
  }

  std::string Bytes(const wchar_t* name, const wchar_t* type) {
    const HRSRC found = ::FindResourceW(module_.get(), name, type);
    if (!found) return {};
    const HGLOBAL loaded = ::LoadResource(module_.get(), found);
    const auto* data = static_cast<const char*>(::LockResource(loaded));
    return std::string(data, ::SizeofResource(module_.get(), found));
  }

  UniqueModule module_;
};

constexpr DWORD kPage = WS_CHILD | WS_SYSMENU | DS_CONTROL | DS_SETFONT | DS_FIXEDSYS;
constexpr DWORD kChild = WS_CHILD;
constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;

}  // namespace

TEST_F(ProgramResources, DialogTemplatesHoldTheirControlsWhereTheyBelong) {
  struct Expected {
    int id;
    DWORD style;
    DWORD exStyle;
    std::wstring caption;
    std::vector<Item> items;
  };
  const Expected templates[] = {
      {IDD_WELCOME,
       kPage,
       WS_EX_CONTROLPARENT,
       L"",
       {
           {IDOK, L"button", kShown | WS_TABSTOP | BS_DEFPUSHBUTTON, 143, 126, 114, 24, L"#Start"},
           // The licence notice with its link, which the welcome page fills.
           {IDC_NOTICE_LINK, L"static", kShown | WS_GROUP | SS_CENTER, 24, 188, 352, 12,
            L"#Copyright notice with the licence terms link"},
           {IDC_LUA_NOTICE, L"static", kShown | WS_GROUP | SS_CENTER, 24, 203, 352, 12,
            L"#LUA copyright notice"},
           {IDC_ZLIB_NOTICE, L"static", kShown | WS_GROUP | SS_CENTER, 24, 214, 352, 12,
            L"#zlib copyright notice"},
           {IDC_TITLE, L"static", kShown | WS_GROUP | SS_CENTER | SS_CENTERIMAGE | SS_ENDELLIPSIS,
            24, 10, 352, 62, L"#Title"},
           {IDC_MESSAGE, L"static", kShown | WS_GROUP | SS_CENTER | SS_ENDELLIPSIS, 24, 72, 352, 50,
            L"#Message"},
       }},
      {IDD_MESSAGE,
       kPage,
       WS_EX_CONTROLPARENT,
       L"",
       {
           {IDOK, L"button", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 170, 196, 106, 24, L"#OK"},
           {IDCANCEL, L"button", kShown | WS_TABSTOP | BS_PUSHBUTTON, 284, 196, 106, 24,
            L"#Cancel"},
           {IDC_IMAGE, L"static", kShown | SS_BLACKFRAME, 170, 47, 60, 51, L""},
           {IDC_MESSAGE, L"static", kShown | WS_GROUP | SS_CENTER | SS_ENDELLIPSIS, 22, 123, 356,
            42, L"#Message"},
       }},
      {IDD_PROGRESS,
       kPage,
       WS_EX_CONTROLPARENT,
       L"",
       {
           {IDCANCEL, L"button", kShown | WS_TABSTOP | BS_DEFPUSHBUTTON, 284, 196, 106, 24,
            L"#Cancel"},
           {IDC_SPINNER, L"static", kShown | SS_BLACKFRAME, 170, 46, 60, 52, L""},
           {IDC_MESSAGE, L"static", kShown | WS_GROUP | SS_CENTER | SS_ENDELLIPSIS, 22, 123, 356,
            42, L"#Message"},
       }},
      {IDD_SELECT,
       kPage,
       WS_EX_CONTROLPARENT,
       L"",
       {
           {IDOK, L"button", kShown | WS_TABSTOP | BS_DEFPUSHBUTTON, 170, 196, 106, 24, L"#OK"},
           {IDCANCEL, L"button", kShown | WS_TABSTOP | BS_PUSHBUTTON, 284, 196, 106, 24,
            L"#Cancel"},
           {IDC_RADIO_ALL, L"button", kShown | WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 44, 32,
            334, 20, L"#Remove all Korvane products"},
           {IDC_RADIO_SELECT, L"button", kShown | BS_AUTORADIOBUTTON, 44, 52, 334, 20,
            L"#I want to select what to remove"},
           {IDC_PRODUCT_LIST, L"syslistview32",
            kChild | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER, 44, 75, 312, 105,
            L""},
       }},
      {IDD_MAIN,
       WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_CENTER |
           DS_SETFONT | DS_FIXEDSYS,
       0,
       L"#Title",
       {}},
  };
  for (const auto& e : templates) {
    SCOPED_TRACE(e.id);
    const std::string bytes = Bytes(MAKEINTRESOURCEW(e.id), RT_DIALOG);
    ASSERT_FALSE(bytes.empty());
    Template t;
    ASSERT_TRUE(TemplateReader(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()).Read(t));
    EXPECT_EQ(t.style, e.style);
    EXPECT_EQ(t.exStyle, e.exStyle);
    EXPECT_EQ(t.cx, 400);
    EXPECT_EQ(t.cy, 230);
    EXPECT_EQ(t.caption, e.caption);
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.weight, 400);
    EXPECT_EQ(t.face, L"MS Shell Dlg");
    ASSERT_EQ(t.items.size(), e.items.size());
    for (size_t i = 0; i < e.items.size(); ++i) {
      const Item& want = e.items[i];
      const Item& got = t.items[i];
      SCOPED_TRACE(want.id);
      EXPECT_EQ(got.id, want.id);
      EXPECT_EQ(got.windowClass, want.windowClass);
      EXPECT_EQ(got.style, want.style) << std::hex << got.style << " " << want.style;
      EXPECT_EQ(got.x, want.x);
      EXPECT_EQ(got.y, want.y);
      EXPECT_EQ(got.cx, want.cx);
      EXPECT_EQ(got.cy, want.cy);
      EXPECT_EQ(got.text, want.text);
    }
  }
}

TEST_F(ProgramResources, IconGroupHolds48_32And16PixelsOf32Bits) {
  const std::string group = Bytes(MAKEINTRESOURCEW(IDI_PURGEKIT), RT_GROUP_ICON);
  ASSERT_GE(group.size(), 6u);
  const auto* words = reinterpret_cast<const WORD*>(group.data());
  ASSERT_EQ(words[1], 1);  // icons
  const WORD count = words[2];
  ASSERT_EQ(group.size(), 6u + 14u * count);
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    const auto* entry = reinterpret_cast<const BYTE*>(group.data() + 6 + 14 * i);
    EXPECT_EQ(entry[0], entry[1]);
    EXPECT_EQ(*reinterpret_cast<const WORD*>(entry + 6), 32);  // bits per pixel
    sizes.push_back(entry[0]);
  }
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48}));
  for (const int size : {16, 32, 48}) {
    UniqueIcon icon(static_cast<HICON>(
        ::LoadImageW(module_.get(), MAKEINTRESOURCEW(IDI_PURGEKIT), IMAGE_ICON, size, size, 0)));
    EXPECT_TRUE(icon) << size;
  }
}

TEST_F(ProgramResources, ManifestRequiresAdministratorAndCommonControls6) {
  const std::string manifest = Bytes(MAKEINTRESOURCEW(1), RT_MANIFEST);
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"requireAdministrator\""),
            std::string::npos);
  const size_t controls = manifest.find("name=\"Microsoft.Windows.Common-Controls\"");
  ASSERT_NE(controls, std::string::npos);
  EXPECT_NE(manifest.find("version=\"6.0.0.0\"", controls), std::string::npos);
}
