// slotscope.exe: the window (plain Win32).

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <memory>

#include "net/page_fetch.h"
#include "ui/main_window_win32.h"

int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int nShowCmd) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    slotscope::Form1 window(slotscope::DesktopWindowServices(
                                [] { return std::make_unique<slotscope::HttpPageFetcher>(); }),
                            /*quitOnClose=*/true);
    window.Show(nShowCmd);
    return slotscope::Form1::RunMessageLoop();
}
