// The Win32 window, driven as a user would through messages to its controls, with a fake search
// engine.

#include "ui/main_window_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cwchar>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/window_session.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_engine.h"
#include "ui/form_table.h"

namespace slotscope {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::wstring Wide(std::u16string_view text) {
    return {text.begin(), text.end()};
}

std::u16string TextOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return {text.begin(), text.end()};
}

// Serves the window's messages until `done` holds or `limit` passes; whether it held.
bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

// Every label's and button's caption, as the control draws it (a label's wrapped at its width),
// fits its client height; a control made taller than the form says is only as tall as that.
void ExpectCaptionsFit(const Form1& window, int dpi) {
    for (const form::Control& control : form::kControls) {
        if (control.kind != form::Kind::Label && control.kind != form::Kind::Button) {
            continue;
        }
        HWND child = window.Control(control.name);
        RECT client{};
        GetClientRect(child, &client);
        const std::u16string text = TextOf(child);
        RECT extent{0, 0, client.right, 0};
        HDC dc = GetDC(child);
        const HGDIOBJ previous =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
        DrawTextW(
            dc, Wide(text).c_str(), static_cast<int>(text.size()), &extent,
            DT_CALCRECT | DT_NOPREFIX |
                (control.kind == form::Kind::Label ? DT_WORDBREAK | DT_EXPANDTABS : DT_SINGLELINE));
        SelectObject(dc, previous);
        ReleaseDC(child, dc);
        const int needed = extent.bottom - extent.top;
        EXPECT_LE(needed, client.bottom) << control.name << " at " << dpi << " dpi";
        EXPECT_TRUE(client.bottom == form::ToPixels(control.height, dpi) || client.bottom == needed)
            << control.name << " at " << dpi << " dpi: " << client.bottom << " px for " << needed;
    }
}

class Win32WindowTest : public ::testing::Test {
  protected:
    std::unique_ptr<Form1> MakeWindow() {
        auto window = std::make_unique<Form1>(
            testing::TestWindowServices(engine_, dir_.file("baidu.csv"), opened_),
            /*quitOnClose=*/false);
        window->OnRunFinished([this] { ++finished_; });
        window->Show();
        return window;
    }

    static void SetText(Form1& window, const char* name, std::u16string_view text) {
        SendMessageW(window.Control(name), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(Wide(text).c_str()));
    }
    static void Click(Form1& window, const char* name) {
        SendMessageW(window.Control(name), BM_CLICK, 0, 0);
    }
    // Types the keywords and the website, then presses Start.
    static void StartRun(Form1& window, std::u16string_view keywords) {
        SetText(window, "Text1", keywords);
        SetText(window, "Text4", u"shop.example.cn");
        Click(window, "Command1");
    }

    testing::TempDir dir_;
    std::shared_ptr<testing::WindowEngine> engine_ = std::make_shared<testing::WindowEngine>();
    std::vector<std::string> opened_;
    int finished_ = 0;
};

TEST_F(Win32WindowTest, LayoutAt96DotsPerInchIsTheFormsTable) {
    auto window = MakeWindow();
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (dpi != 96) {
        GTEST_SKIP() << "the screen is at " << dpi << " dots per inch, not 96";
    }
    RECT client{};
    GetClientRect(window->window(), &client);
    EXPECT_EQ(client.right, 527);  // 7905 x 5865 twips
    EXPECT_EQ(client.bottom, 391);
    EXPECT_EQ(TextOf(window->window()), u"Slotscope");
    EXPECT_EQ(GetWindowLongW(window->window(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);

    for (const form::Control& control : form::kControls) {
        const std::string name(control.name);
        HWND child = window->Control(name);
        ASSERT_NE(child, nullptr) << name;
        RECT place{};
        GetWindowRect(child, &place);
        MapWindowPoints(nullptr, window->window(), reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.left, control.left / 15) << name;
        EXPECT_EQ(place.top, control.top / 15) << name;
        EXPECT_EQ(place.right - place.left, control.width / 15) << name;
        // Labels may grow (CaptionsFit...); a drop-down list's closed height is its font's.
        if (control.kind != form::Kind::Label && control.kind != form::Kind::ComboBox) {
            EXPECT_EQ(place.bottom - place.top, control.height / 15) << name;
        }

        std::u16string caption(control.caption);
        if (name == "Label4") {
            caption += u"http://home.test/";
        } else if (control.kind == form::Kind::ComboBox) {
            caption = caption.substr(0, caption.find(u'\n'));  // its first choice is chosen
        } else if (control.kind == form::Kind::Link) {
            caption.insert(0, u"<a>").append(u"</a>");  // the link control's markup
        }
        std::u16string shown = TextOf(child);
        shown.erase(std::remove(shown.begin(), shown.end(), u'\r'), shown.end());
        EXPECT_EQ(shown, caption) << name;

        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EXPECT_EQ(std::wstring(font.lfFaceName), L"SimSun") << name;
        EXPECT_EQ(font.lfCharSet, GB2312_CHARSET) << name;
        EXPECT_EQ(font.lfWeight, FW_NORMAL) << name;
        const double points = control.points > 0 ? control.points : form::kDefaultPoints;
        EXPECT_EQ(font.lfHeight, -form::FontPixels(points, 96)) << name;

        const bool tabStop = (GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) != 0;
        EXPECT_EQ(tabStop, control.kind != form::Kind::Label) << name;
    }
    // Two of the form's values as written on it, in case the table itself went wrong.
    RECT command1{};
    GetWindowRect(window->Control("Command1"), &command1);
    EXPECT_EQ(command1.right - command1.left, 193);
    EXPECT_EQ(GetFocus(), window->Control("Text1"));
}

TEST_F(Win32WindowTest, AnotherMonitorsDensityKeepsTheFormsProportions) {
    auto window = MakeWindow();
    for (const int dpi : {120, 144}) {  // 125 % and 150 %
        // What Windows sends when the window moves to a monitor of that density.
        RECT suggested{100, 100, 100 + 7905 * dpi / 1440 + 20, 100 + 5865 * dpi / 1440 + 40};
        SendMessageW(window->window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        for (const form::Control& control : form::kControls) {
            HWND child = window->Control(control.name);
            RECT place{};
            GetWindowRect(child, &place);
            MapWindowPoints(nullptr, window->window(), reinterpret_cast<POINT*>(&place), 2);
            EXPECT_EQ(place.left, form::ToPixels(control.left, dpi)) << control.name << " " << dpi;
            EXPECT_EQ(place.top, form::ToPixels(control.top, dpi)) << control.name << " " << dpi;
            EXPECT_EQ(place.right - place.left, form::ToPixels(control.width, dpi)) << control.name;
            // A drop-down list's closed height is its font's.
            if (control.kind != form::Kind::Label && control.kind != form::Kind::ComboBox) {
                EXPECT_EQ(place.bottom - place.top, form::ToPixels(control.height, dpi));
            }
            LOGFONTW font{};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), sizeof font,
                       &font);
            const double points = control.points > 0 ? control.points : form::kDefaultPoints;
            EXPECT_EQ(font.lfHeight, -form::FontPixels(points, dpi)) << control.name << " " << dpi;
        }
        RECT placed{};
        GetWindowRect(window->window(), &placed);
        EXPECT_EQ(placed.left, suggested.left) << dpi;
        EXPECT_EQ(placed.top, suggested.top) << dpi;
    }
    // 150 %: the start button is 1.5 times its size at 96 dots per inch.
    RECT command1{};
    GetWindowRect(window->Control("Command1"), &command1);
    EXPECT_EQ(command1.right - command1.left, 289);  // 2895 twips
}

TEST_F(Win32WindowTest, CaptionsFitTheirControlsAtEveryDensity) {
    Form1 window(testing::BlockedWindowServices(dir_.file("baidu.csv"), opened_),
                 /*quitOnClose=*/false);
    window.OnRunFinished([this] { ++finished_; });
    window.Show();
    HDC screen = GetDC(nullptr);
    const int screenDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ExpectCaptionsFit(window, screenDpi);
    // A status too long for the default size is shown smaller.
    StartRun(window, u"abort");
    ASSERT_TRUE(ServeUntil([&] { return finished_ == 1; }));
    EXPECT_TRUE(TextOf(window.Control("Label3")).starts_with(u"运行中止（the page fetch"));
    ExpectCaptionsFit(window, screenDpi);
    for (const int dpi : {120, 144}) {
        RECT suggested{100, 100, 100 + 7905 * dpi / 1440 + 20, 100 + 5865 * dpi / 1440 + 40};
        SendMessageW(window.window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        ExpectCaptionsFit(window, dpi);
    }
}

TEST_F(Win32WindowTest, TabMovesThroughTheControlsInTheFormsOrder) {
    auto window = MakeWindow();
    std::vector<std::string> order;
    HWND control = window->Control("Text1");
    do {
        for (const auto& c : form::kControls) {
            if (window->Control(c.name) == control) {
                order.emplace_back(c.name);
            }
        }
        control = GetNextDlgTabItem(window->window(), control, FALSE);
    } while (control != window->Control("Text1") && order.size() < 20);
    EXPECT_EQ(order, (std::vector<std::string>{"Text1", "Text4", "Combo1", "Combo2", "Command1",
                                               "Text2", "Text3", "Text5", "Command2", "Label8",
                                               "Label9", "Label11"}));
}

// Clicks a link (设置, 历史记录) as the mouse does: the link control tells its window, a button
// clicks.
void ClickLink(Form1& window, const char* name = "Label8") {
    HWND link = window.Control(name);
    std::array<wchar_t, 32> kind{};
    GetClassNameW(link, kind.data(), static_cast<int>(kind.size()));
    if (std::wstring_view(kind.data()) == L"SysLink") {
        NMLINK notice{};
        notice.hdr = {link, static_cast<UINT_PTR>(GetDlgCtrlID(link)), NM_CLICK};
        SendMessageW(window.window(), WM_NOTIFY, notice.hdr.idFrom,
                     reinterpret_cast<LPARAM>(&notice));
    } else {
        SendMessageW(link, BM_CLICK, 0, 0);
    }
}

void SetDialogText(const Form1& window, const char* name, std::u16string_view text) {
    SendMessageW(window.SettingsControl(name), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

TEST_F(Win32WindowTest, SettingsDialogSetsTheNextRunsAndIsRemembered) {
    auto services = testing::TestWindowServices(engine_, dir_.file("baidu.csv"), opened_);
    auto cookies = std::make_shared<std::vector<std::string>>();
    services.makeFetcher = [cookies, make = services.makeFetcher](
                               std::string_view cookie, const std::vector<ProxyAddress>& proxies) {
        cookies->emplace_back(cookie);
        return make(cookie, proxies);
    };
    services.store = std::make_shared<SettingsStore>(dir_.file("program"), dir_.file("user"));
    std::filesystem::create_directories(dir_.file("program"));
    {
        Form1 first(services, /*quitOnClose=*/false);
        first.OnRunFinished([this] { ++finished_; });
        first.Show();
        ClickLink(first);
        ASSERT_NE(first.SettingsWindow(), nullptr);
        EXPECT_FALSE(IsWindowEnabled(first.window()));  // the dialog is modal
        EXPECT_EQ(TextOf(first.SettingsControl("Text1")), u"3");
        SetDialogText(first, "Text3", u"11");
        SendMessageW(first.SettingsControl("Command1"), BM_CLICK, 0, 0);
        EXPECT_EQ(TextOf(first.SettingsControl("Label8")), u"验证后重试须为0到10的整数");
        SetDialogText(first, "Text3", u"1");
        SetDialogText(first, "Text4", u"BDUSS=login\r\nBAIDUID=x");
        SendMessageW(first.SettingsControl("Command1"), BM_CLICK, 0, 0);
        EXPECT_EQ(first.SettingsWindow(), nullptr);
        EXPECT_TRUE(IsWindowEnabled(first.window()));

        SendMessageW(first.Control("Combo1"), CB_SETCURSEL, 1, 0);  // 手机
        StartRun(first, u"k1\r\n鲜花");
        ASSERT_TRUE(ServeUntil([&] { return finished_ == 1; }));
        EXPECT_EQ(*cookies, std::vector<std::string>({"BDUSS=login\r\nBAIDUID=x"}));
        SendMessageW(first.window(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(first.closed());
    }
    Form1 second(services, /*quitOnClose=*/false);
    EXPECT_EQ(TextOf(second.Control("Text1")), u"k1\r\n鲜花");
    EXPECT_EQ(TextOf(second.Control("Text4")), u"shop.example.cn");
    EXPECT_EQ(TextOf(second.Control("Combo1")), u"手机");
    ClickLink(second);
    EXPECT_EQ(TextOf(second.SettingsControl("Text3")), u"1");
    EXPECT_EQ(TextOf(second.SettingsControl("Text4")), u"BDUSS=login\r\nBAIDUID=x");
    SendMessageW(second.SettingsWindow(), WM_CLOSE, 0, 0);  // leaves them as they were
    EXPECT_EQ(second.SettingsWindow(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("program") + "\\cookie"));
}

// The one run through the toolkit: a click on Command1 runs the list typed into the form's
// controls, and the run's texts reach the window's; the other buttons and the history link reach
// the run too. What a run writes is the shared tests'.
TEST_F(Win32WindowTest, AClickRunsTheListAndTheWindowShowsWhatItWrites) {
    std::vector<std::string> files;
    auto services =
        WithHistory(testing::TestWindowServices(engine_, dir_.file("baidu.csv"), opened_));
    services.openFile = [&files](const std::string& path) {
        files.push_back(path);
        return true;
    };
    Form1 window(std::move(services), /*quitOnClose=*/false);
    window.OnRunFinished([this] { ++finished_; });
    window.Show();
    SetText(window, "Text1", u"k2\r\n\r\nk1");
    SetText(window, "Text4", u"shop.example.cn");
    std::vector<std::u16string> captions;
    engine_->delay = 50ms;
    Click(window, "Command1");
    captions.push_back(TextOf(window.Control("Command1")));
    ASSERT_TRUE(ServeUntil([&] { return finished_ == 1; }));

    EXPECT_EQ(captions, std::vector<std::u16string>{u"停止"});
    EXPECT_EQ(TextOf(window.Control("Command1")), u"开始");
    EXPECT_EQ(TextOf(window.Control("Text5")), u"2/2");
    EXPECT_EQ(TextOf(window.Control("Label3")),
              u"总词数2运行完毕，信息保存在同目录下的baidu.csv里");
    EXPECT_EQ(TextOf(window.Control("Text2")), u"左1");
    EXPECT_EQ(TextOf(window.Control("Text3")), u"右无推广位");

    HWND device = window.Control("Combo1");
    EXPECT_EQ(TextOf(device), u"电脑");
    // From the keyboard, as the tab order reaches it: 两者.
    SetFocus(device);
    for (int i = 0; i < 2; ++i) {
        SendMessageW(device, WM_KEYDOWN, VK_DOWN, 0);
        SendMessageW(device, WM_KEYUP, VK_DOWN, 0);
    }
    EXPECT_EQ(TextOf(device), u"两者");
    StartRun(window, u"k2");
    ASSERT_TRUE(ServeUntil([&] { return finished_ == 2; }));
    EXPECT_EQ(TextOf(window.Control("Label3")),
              u"总词数1运行完毕，信息保存在同目录下的baidu.csv和baidu_mobile.csv里");

    Click(window, "Command2");
    EXPECT_EQ(opened_, std::vector<std::string>{testing::kWindowHome});
    ClickLink(window, "Label9");
    ASSERT_TRUE(ServeUntil([&] { return !files.empty(); }));
    EXPECT_EQ(files, std::vector<std::string>{dir_.file("slotscope-report.html")});
}

TEST_F(Win32WindowTest, DestroyingTheWindowDuringARunDoesNotHang) {
    auto window = MakeWindow();
    engine_->delay = 10s;
    StartRun(*window, u"k1");
    ASSERT_TRUE(ServeUntil([&] { return engine_->searches == 1; }));
    const auto start = Clock::now();
    window.reset();
    EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(Win32WindowTest, LongListPastedIntoTheKeywordBoxArrivesWhole) {
    auto window = MakeWindow();
    std::wstring list;  // 6,000 keywords, about 60,000 characters
    for (int i = 0; i < 6000; ++i) {
        list += L"关键词" + std::to_wstring(i) + L"\r\n";
    }
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (list.size() + 1) * sizeof(wchar_t));
    std::wcscpy(static_cast<wchar_t*>(GlobalLock(memory)), list.c_str());
    GlobalUnlock(memory);
    ASSERT_TRUE(OpenClipboard(window->window()) && EmptyClipboard() &&
                SetClipboardData(CF_UNICODETEXT, memory) != nullptr && CloseClipboard());
    SetFocus(window->Control("Text1"));
    SendMessageW(window->Control("Text1"), WM_PASTE, 0, 0);
    EXPECT_EQ(Wide(TextOf(window->Control("Text1"))), list);
}

TEST_F(Win32WindowTest, WindowStaysResponsiveDuringARun) {
    auto window = MakeWindow();
    engine_->delay = 1s;
    StartRun(*window, u"k1\r\nk2");
    // The window's thread answers a message sent from another thread within 100 ms throughout.
    std::atomic<bool> running = true;
    std::atomic<bool> proberDone = false;
    std::atomic<long long> longest = 0;
    std::thread prober([&] {
        while (running) {
            const auto start = Clock::now();
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(window->window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
            const auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
            longest = std::max<long long>(longest, waited.count());
            std::this_thread::sleep_for(10ms);
        }
        proberDone = true;
    });
    const bool done = ServeUntil([&] { return finished_ == 1; }, 15s);
    running = false;
    ServeUntil([&] { return proberDone.load(); });  // its last message still needs an answer
    prober.join();
    ASSERT_TRUE(done);
    EXPECT_LT(longest, 100) << "the window's thread kept a message waiting " << longest << " ms";
    EXPECT_EQ(TextOf(window->Control("Text5")), u"2/2");
}

}  // namespace
}  // namespace slotscope
