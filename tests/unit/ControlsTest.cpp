// The owner-drawn controls in a real window on the display: what they paint in each state
// (saved as screenshots in the build tree's artefacts folder), and what real mouse and
// keyboard input makes them send.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Button.h"
#include "Colours.h"
#include "Dialog.h"
#include "Font.h"
#include "Gallery.h"
#include "GdiPlus.h"
#include "Image.h"
#include "ImageResource.h"
#include "ProgramRunner.h"
#include "ResourceIds.h"
#include "ScreenCapture.h"
#include "Spinner.h"
#include "StaticLink.h"
#include "TextBlock.h"
#include "UniqueAny.h"
#include "UserInput.h"

namespace {

constexpr uint32_t kWhitePixel = 0xFFFFFF;
constexpr DWORD kSettle = 250;

// A place on the screen away from the window.
POINT Elsewhere() {
  return {::GetSystemMetrics(SM_CXSCREEN) - 10, ::GetSystemMetrics(SM_CYSCREEN) - 10};
}

// A window with one of each control, as a page would set them up.
class Gallery : public KvUI::Dialog {
 public:
  explicit Gallery(HMODULE program) : program_(program) {}

  int OnInitDialog() override {
    font_ = KvUI::CreateFont(10, 400, 0);
    text.Attach(::GetDlgItem(hwnd_, IDC_G_TEXT));
    text.SetItemFont(font_.GetFont());
    text.SetTextColour(KvUI::kTitle);
    filled.Attach(::GetDlgItem(hwnd_, IDC_G_FILLED));
    filled.SetItemFont(font_.GetFont());
    filled.SetColours(KvUI::kAccent, KvUI::kAccentHover, KvUI::kWhite);
    outline.Attach(::GetDlgItem(hwnd_, IDC_G_OUTLINE));
    outline.SetItemFont(font_.GetFont());
    outline.SetColours(KvUI::kAccent, KvUI::kAccentHover, KvUI::kWhite);
    outline.SetFilled(false);
    link.Attach(::GetDlgItem(hwnd_, IDC_G_LINK));
    link.SetItemFont(font_.GetFont());
    link.SplitLinkText(L"Read the [#]licence terms[#] before you go on.");
    image.Attach(::GetDlgItem(hwnd_, IDC_G_IMAGE));
    image.SetImage(KvUI::LoadImageResource(program_, MAKEINTRESOURCEW(IDP_FINISHED), L"PNG"),
                   false);
    spinner.Attach(::GetDlgItem(hwnd_, IDC_G_SPINNER));
    spinner.SetColour(KvUI::kTitle);
    return TRUE;
  }

  INT_PTR OnCommand(WORD id, WORD code, HWND) override {
    commands.emplace_back(id, code);
    return 0;
  }

  KvUI::TextBlock text;
  KvUI::Button filled;
  KvUI::Button outline;
  KvUI::StaticLink link;
  KvUI::Image image;
  KvUI::Spinner spinner;
  std::vector<std::pair<WORD, WORD>> commands;

 private:
  HMODULE program_;
  KvUI::GdiObject font_;
};

class Controls : public testing::Test {
 protected:
  void SetUp() override {
    gdiPlus_ = KvUI::GdiPlus::Start();
    program_.reset(::LoadLibraryExW(PurgeKit64Path().c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(program_);
    gallery_ = std::make_unique<Gallery>(program_.get());
    ASSERT_NE(gallery_->Create(::GetModuleHandleW(nullptr), IDD_GALLERY, nullptr), nullptr)
        << ::GetLastError();
    ::SetWindowPos(gallery_->GetHwnd(), nullptr, 60, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    gallery_->ShowItem(SW_SHOW);
    gallery_->BringToFront();
    // Focus cues shown, as after keyboard use.
    ::SendMessageW(gallery_->GetHwnd(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    Away();
  }

  void TearDown() override {
    gallery_.reset();
    PumpMessages(nullptr, 50);
    gdiPlus_.reset();
  }

  HWND Dlg() const { return gallery_->GetHwnd(); }
  HWND ItemWnd(int id) const { return ::GetDlgItem(Dlg(), id); }
  void Pump(DWORD ms = kSettle) { PumpMessages(Dlg(), ms); }
  // The pointer off the window, the focus on the image (which shows no focus cue).
  void Away() {
    MovePointer(Elsewhere());
    ::SetFocus(ItemWnd(IDC_G_IMAGE));
    Pump();
  }

  std::shared_ptr<KvUI::GdiPlus::Instance> gdiPlus_;
  UniqueModule program_;
  std::unique_ptr<Gallery> gallery_;
};

POINT ToScreen(HWND window, POINT client) {
  ::ClientToScreen(window, &client);
  return client;
}

POINT CentreOfRect(HWND window, const RECT& r) {
  return ToScreen(window, {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

}  // namespace

TEST(StaticLinkText, SplitsAtTwoMarkersOnly) {
  struct Case {
    std::wstring text, before, link, after;
  };
  const Case cases[] = {
      {L"Plain words only.", L"Plain words only.", L"", L""},
      {L"Read the [#]licence terms[#].", L"Read the ", L"licence terms", L"."},
      {L"[#]Start[#] of the text", L"", L"Start", L" of the text"},
      {L"At the end: [#]terms[#]", L"At the end: ", L"terms", L""},
      {L"One [#] marker stays", L"One [#] marker stays", L"", L""},
      {L"Empty [#][#] link", L"Empty ", L"", L" link"},
      {L"[#", L"[#", L"", L""},
      {L"", L"", L"", L""},
  };
  auto gdiPlus = KvUI::GdiPlus::Start();
  UniqueModule program(::LoadLibraryExW(PurgeKit64Path().c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  Gallery gallery(program.get());
  ASSERT_NE(gallery.Create(::GetModuleHandleW(nullptr), IDD_GALLERY, nullptr), nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "\"" << std::string(c.text.begin(), c.text.end()) << "\"");
    gallery.link.SplitLinkText(c.text);
    EXPECT_EQ(gallery.link.GetBefore(), c.before);
    EXPECT_EQ(gallery.link.GetLink(), c.link);
    EXPECT_EQ(gallery.link.GetAfter(), c.after);
    EXPECT_EQ(gallery.link.GetItemText(), c.before + c.link + c.after);
    EXPECT_EQ((gallery.link.GetStyle() & WS_TABSTOP) != 0, !c.link.empty());
  }
}

TEST_F(Controls, EveryControlPaintsInEveryStateAndTheStatesLookDifferent) {
  struct Subject {
    const wchar_t* name;
    int id;
    bool hoverShows;     // hovering changes the look
    bool disabledShows;  // disabling changes the look
  };
  const Subject subjects[] = {
      {L"text", IDC_G_TEXT, false, true},      {L"filled", IDC_G_FILLED, true, true},
      {L"outline", IDC_G_OUTLINE, true, true}, {L"link", IDC_G_LINK, true, false},
      {L"image", IDC_G_IMAGE, false, false},   {L"spinner", IDC_G_SPINNER, false, false},
  };
  for (const auto& s : subjects) {
    SCOPED_TRACE(std::string(s.name, s.name + wcslen(s.name)));
    const HWND control = ItemWnd(s.id);
    // Over the link itself, not its plain text.
    const POINT over = s.id == IDC_G_LINK && !gallery_->link.GetLinkRects().empty()
                           ? CentreOfRect(control, gallery_->link.GetLinkRects()[0])
                           : CentreOf(control);
    std::vector<std::pair<std::wstring, ScreenShot>> shots;
    auto shoot = [&](const wchar_t* state) {
      Pump();
      shots.emplace_back(state, CaptureWindow(control));
      EXPECT_TRUE(SavePng(shots.back().second,
                          ArtefactPath(std::wstring(L"kvui-") + s.name + L"-" + state + L".png")));
      // The placeholders' own look is a black frame; inside it, only our painting shows.
      EXPECT_GT(shots.back().second.CountInsideOtherThan(kWhitePixel, 2), 100u)
          << "nothing painted";
    };
    Away();
    shoot(L"normal");
    MovePointer(over);
    shoot(L"hover");
    PressLeftButton();
    shoot(L"pressed");
    // Leaving before the release cancels the click.
    MovePointer(Elsewhere());
    Pump(400);
    ReleaseLeftButton();
    ::SetFocus(control);
    shoot(L"focused");
    Away();
    ::EnableWindow(control, FALSE);
    shoot(L"disabled");
    ::EnableWindow(control, TRUE);

    const ScreenShot& normal = shots[0].second;
    if (s.id != IDC_G_SPINNER) {
      EXPECT_EQ(shots[1].second == normal, !s.hoverShows) << "hover";
      EXPECT_EQ(shots[4].second == normal, !s.disabledShows) << "disabled";
    }
  }
  // A pressed button that the pointer leaves before the release has not been clicked.
  EXPECT_TRUE(gallery_->commands.empty());
  // The whole window once, for a person to look at.
  SavePng(CaptureWindow(Dlg()), ArtefactPath(L"kvui-gallery.png"));
}

TEST_F(Controls, FocusedButtonsAndLinkShowAFocusCue) {
  for (const int id : {IDC_G_FILLED, IDC_G_OUTLINE, IDC_G_LINK}) {
    SCOPED_TRACE(id);
    Away();
    const ScreenShot before = CaptureWindow(ItemWnd(id));
    ::SetFocus(ItemWnd(id));
    Pump();
    EXPECT_FALSE(CaptureWindow(ItemWnd(id)) == before);
  }
}

TEST_F(Controls, ButtonClicksOnlyWhenPressedAndReleasedOverIt) {
  const HWND button = ItemWnd(IDC_G_FILLED);
  // Pressed, the pointer leaves, released outside: no click.
  MovePointer(CentreOf(button));
  PressLeftButton();
  Pump();
  MovePointer(Elsewhere());
  Pump(400);
  ReleaseLeftButton();
  Pump();
  EXPECT_TRUE(gallery_->commands.empty());
  // Pressed and released over it: one click.
  ClickAt(CentreOf(button));
  Pump();
  ASSERT_EQ(gallery_->commands.size(), 1u);
  EXPECT_EQ(gallery_->commands[0], std::make_pair(WORD{IDC_G_FILLED}, WORD{BN_CLICKED}));
}

TEST_F(Controls, LinkSendsBnClickedOnClickAndSpaceOnly) {
  const HWND link = ItemWnd(IDC_G_LINK);
  ASSERT_FALSE(gallery_->link.GetLinkRects().empty());
  const RECT linkRect = gallery_->link.GetLinkRects()[0];

  // The plain text before the link is no link.
  RECT client{};
  ::GetClientRect(link, &client);
  ClickAt(ToScreen(link, {linkRect.left - 10, (linkRect.top + linkRect.bottom) / 2}));
  Pump();
  EXPECT_TRUE(gallery_->commands.empty());

  ClickAt(CentreOfRect(link, linkRect));
  Pump();
  ASSERT_EQ(gallery_->commands.size(), 1u);
  EXPECT_EQ(gallery_->commands[0], std::make_pair(WORD{IDC_G_LINK}, WORD{BN_CLICKED}));

  Away();
  ::SetFocus(link);
  Pump();
  PressKey('A');
  Pump();
  EXPECT_EQ(gallery_->commands.size(), 1u);
  PressKey(VK_SPACE);
  Pump();
  ASSERT_EQ(gallery_->commands.size(), 2u);
  EXPECT_EQ(gallery_->commands[1], std::make_pair(WORD{IDC_G_LINK}, WORD{BN_CLICKED}));
}
