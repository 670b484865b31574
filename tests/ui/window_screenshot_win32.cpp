// Shows the Win32 window with a few keywords typed, for a screenshot taken from outside:
// window_screenshot RECT-FILE SECONDS [settings] writes the window's place on the screen ("x y
// width height", frame included) to RECT-FILE, then keeps the window up for SECONDS. With
// "settings" the settings dialog is open over it, and its place is written instead.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/ui/screenshot_services.h"
#include "ui/main_window_win32.h"

int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int /*nShowCmd*/) {
    const bool settings = __argc == 4 && std::string(__argv[3]) == "settings";
    if (__argc != 3 && !settings) {
        return 2;
    }
    slotscope::WindowServices services = slotscope::testing::ScreenshotServices();
    slotscope::Form1 window(std::move(services), /*quitOnClose=*/true);
    SetWindowTextW(window.Control("Text1"),
                   L"鲜花速递\r\n同城送花\r\n生日蛋糕\r\nflowers delivery");
    SetWindowTextW(window.Control("Text4"), L"shop.example.cn");
    window.Show();

    if (settings) {
        window.OpenSettings();
    }
    RECT place{};
    GetWindowRect(settings ? window.SettingsWindow() : window.window(), &place);
    if (std::FILE* out = std::fopen(__argv[1], "w")) {
        std::fprintf(out, "%ld %ld %ld %ld\n", place.left, place.top, place.right - place.left,
                     place.bottom - place.top);
        std::fclose(out);
    }
    SetTimer(nullptr, 0, static_cast<UINT>(std::atoi(__argv[2]) * 1000),
             [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); });
    return slotscope::Form1::RunMessageLoop();
}
