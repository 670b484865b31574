#include "ui/form_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/text_codec.h"

namespace slotscope::win32 {
namespace {

constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL

}  // namespace

std::wstring Wide(std::u16string_view text) {
    return {text.begin(), text.end()};
}

std::u16string Utf16(const std::wstring& text) {
    return {text.begin(), text.end()};
}

// Line breaks as the Win32 controls draw them.
std::wstring WithCrLf(std::u16string_view text) {
    std::wstring wide;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) {
            wide += L'\r';
        }
        wide += static_cast<wchar_t>(text[i]);
    }
    return wide;
}

void Choose(HWND box, std::u16string_view text) {
    const LRESULT found = SendMessageW(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(Wide(text).c_str()));
    SendMessageW(box, CB_SETCURSEL, found == CB_ERR ? 0 : static_cast<WPARAM>(found), 0);
}

std::wstring TextOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    const int length = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return text;
}

// The density of the monitor the window is on. GetDpiForWindow (Windows 10) where it exists,
// else the system's.
int DotsPerInch(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0) {
            return static_cast<int>(dpi);
        }
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// The outer size for a client area at a density: AdjustWindowRectExForDpi (Windows 10) where it
// exists, so the frame is measured at the window's own density.
SIZE OuterSize(int width, int height, DWORD style, DWORD exStyle, int dpi) {
    using AdjustFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    RECT rect{0, 0, width, height};
    if (adjustForDpi != nullptr) {
        adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi));
    } else {
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// The height a label's or button's caption needs in `font`, as the control draws it: a label's
// wrapped at its width, a button's on one line.
int CaptionHeight(HWND control, HFONT font, bool wrap) {
    RECT client{};
    GetClientRect(control, &client);
    const std::wstring text = TextOf(control);
    RECT extent{0, 0, client.right, 0};
    const HDC dc = GetDC(control);
    const HGDIOBJ previous = SelectObject(dc, font);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent,
              DT_CALCRECT | DT_NOPREFIX | (wrap ? DT_WORDBREAK | DT_EXPANDTABS : DT_SINGLELINE));
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return extent.bottom - extent.top;
}

HFONT SongFont(double points, int dpi) {
    return CreateFontW(-form::FontPixels(points, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, Wide(form::kFontFace).c_str());
}

// Registers a window class of this program's forms once: the dialog colour, the arrow cursor.
void RegisterFormClass(const wchar_t* name, WNDPROC procedure, HICON icon) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(instance, name, &windowClass) != 0) {
        return;
    }
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = name;
    RegisterClassExW(&windowClass);
}

using Controls = std::map<std::string, HWND, std::less<>>;

// A form's controls as children of `window`, made in tab order (the dialog keys move through
// them in the order they were made), with their captions as `caption` gives them.
Controls MakeControls(HWND window, std::span<const form::Control> controls,
                      const std::function<std::u16string(const form::Control&)>& caption) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    Controls made;
    int id = kFirstControlId;
    for (const form::Control& control : controls) {
        const std::u16string text = caption(control);
        const wchar_t* windowClass = L"STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
        DWORD exStyle = 0;
        std::wstring shown = WithCrLf(text);
        switch (control.kind) {
            case form::Kind::Label:
                style |= SS_LEFT | SS_NOPREFIX;
                break;
            case form::Kind::Link:
                windowClass = L"SysLink";
                style |= WS_TABSTOP;
                shown.insert(0, L"<a>").append(L"</a>");
                break;
            case form::Kind::TextBox:
                windowClass = L"EDIT";
                style |= WS_TABSTOP | ES_AUTOHSCROLL;
                exStyle = WS_EX_CLIENTEDGE;
                break;
            case form::Kind::MultiLineTextBox:
                windowClass = L"EDIT";
                style |= WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
                if (control.scrollBar) {
                    style |= WS_VSCROLL | ES_AUTOHSCROLL;
                }
                exStyle = WS_EX_CLIENTEDGE;
                break;
            case form::Kind::Button:
                windowClass = L"BUTTON";
                style |= WS_TABSTOP | BS_PUSHBUTTON;
                break;
            case form::Kind::ComboBox:
                windowClass = L"COMBOBOX";
                style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
                shown.clear();
                break;
        }
        auto* const menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++));
        HWND child = CreateWindowExW(exStyle, windowClass, shown.c_str(), style, 0, 0, 0, 0, window,
                                     menu, instance, nullptr);
        if (child == nullptr && control.kind == form::Kind::Link) {
            // No link control (Common Controls before version 6): a button does the same.
            child = CreateWindowExW(0, L"BUTTON", WithCrLf(text).c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
                                    window, menu, instance, nullptr);
        }
        if (control.kind == form::Kind::ComboBox) {
            for (const std::u16string_view choice : form::Lines(text)) {
                SendMessageW(child, CB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(Wide(choice).c_str()));
            }
            SendMessageW(child, CB_SETCURSEL, 0, 0);
        }
        if (control.kind == form::Kind::TextBox || control.kind == form::Kind::MultiLineTextBox) {
            // An edit control takes at most 32,767 typed or pasted characters unless told
            // otherwise; a list of thousands of keywords would lose its tail.
            SendMessageW(child, EM_SETLIMITTEXT, 0, 0);
        }
        made.emplace(std::string(control.name), child);
    }
    // Labels lie under the other controls, as on the form: "www." and "进度：" reach under the
    // text boxes beside them. The tab stops keep their order.
    for (const form::Control& control : controls) {
        if (control.kind == form::Kind::Label) {
            SetWindowPos(made.find(control.name)->second, HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
    return made;
}

// Places a form's controls at a density, each in its font. A label's or button's caption cut at
// the bottom can read as another word (进 as 讲): such a control grows downward, except
// `fixedLabel`, whose box stays (its text is made to fit instead).
void PlaceControls(const Controls& made, std::span<const form::Control> controls, int dotsPerInch,
                   const std::function<HFONT(double)>& font, std::string_view fixedLabel) {
    for (const form::Control& control : controls) {
        HWND child = made.find(control.name)->second;
        const HFONT chosen = font(control.points);
        const int left = form::ToPixels(control.left, dotsPerInch);
        const int top = form::ToPixels(control.top, dotsPerInch);
        const int width = form::ToPixels(control.width, dotsPerInch);
        const int height = form::ToPixels(control.height, dotsPerInch);
        // A drop-down list's height is that of its open list: room for its choices.
        const int boxHeight =
            control.kind == form::Kind::ComboBox
                ? height * static_cast<int>(form::Lines(control.caption).size() + 1)
                : height;
        MoveWindow(child, left, top, width, boxHeight, TRUE);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
        if ((control.kind == form::Kind::Label || control.kind == form::Kind::Button) &&
            control.name != fixedLabel) {
            const int needed = CaptionHeight(child, chosen, control.kind == form::Kind::Label);
            if (needed > height) {
                MoveWindow(child, left, top, width, needed, TRUE);
            }
        }
    }
}

}  // namespace slotscope::win32
