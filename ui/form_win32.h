#pragma once

// The Win32 side of the forms: text between the toolkit's wide strings and ours, the monitor's
// density, the Song font, the forms' window class, and a form's controls made and placed as the
// form table gives them.

#include <windows.h>

#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "ui/form_table.h"

namespace slotscope::win32 {

std::wstring Wide(std::u16string_view text);

std::u16string Utf16(const std::wstring& text);

// Line breaks as the Win32 controls draw them.
std::wstring WithCrLf(std::u16string_view text);

std::wstring TextOf(HWND control);

// Chooses the choice of a drop-down list that reads `text` exactly (a prefix or another case is
// another choice), else the first: a drop-down list takes no text of its own.
void Choose(HWND box, std::u16string_view text);

// The density of the monitor the window is on. GetDpiForWindow (Windows 10) where it exists,
// else the system's.
int DotsPerInch(HWND window);

// The outer size for a client area at a density: AdjustWindowRectExForDpi (Windows 10) where it
// exists, so the frame is measured at the window's own density.
SIZE OuterSize(int width, int height, DWORD style, DWORD exStyle, int dpi);

// The height a label's or button's caption needs in `font`, as the control draws it: a label's
// wrapped at its width, a button's on one line.
int CaptionHeight(HWND control, HFONT font, bool wrap);

HFONT SongFont(double points, int dpi);

// Registers a window class of this program's forms once: the dialog colour, the arrow cursor.
void RegisterFormClass(const wchar_t* name, WNDPROC procedure, HICON icon);

using Controls = std::map<std::string, HWND, std::less<>>;

// A form's controls as children of `window`, made in tab order (the dialog keys move through
// them in the order they were made), with their captions as `caption` gives them.
Controls MakeControls(HWND window, std::span<const form::Control> controls,
                      const std::function<std::u16string(const form::Control&)>& caption);

// Places a form's controls at a density, each in its font. A label's or button's caption cut at
// the bottom can read as another word (进 as 讲): such a control grows downward, except
// `fixedLabel`, whose box stays (its text is made to fit instead).
void PlaceControls(const Controls& made, std::span<const form::Control> controls, int dotsPerInch,
                   const std::function<HFONT(double)>& font, std::string_view fixedLabel);

}  // namespace slotscope::win32
