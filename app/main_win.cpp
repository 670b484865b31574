// slotscope.exe: the window (plain Win32).

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "app/window_session.h"
#include "ui/main_window_win32.h"

int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int nShowCmd) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    slotscope::Form1 window(slotscope::WithHistory(slotscope::DesktopWindowServices(
                                &slotscope::MakeWindowFetcher, &slotscope::WindowCookieError)),
                            /*quitOnClose=*/true);
    window.Show(nShowCmd);
    return slotscope::Form1::RunMessageLoop();
}
