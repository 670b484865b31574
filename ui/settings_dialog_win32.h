#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "ui/form_table.h"
#include "ui/form_win32.h"
#include "ui/main_window_win32.h"
#include "ui/window_run.h"
#include "ui/window_settings.h"

namespace slotscope {

// The settings dialog: the form kSettingsControls in a window of its own, owned by Form1, which
// takes no input while it is open. 确定 (or Enter) gives the window's runs the settings it shows
// when they can be read, else says why; 取消, Esc and the close box leave them as they were.
class Form1::Settings final {
  public:
    explicit Settings(Form1& owner) : owner_(owner) {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        win32::RegisterFormClass(kSettingsClassName, &Settings::Procedure, nullptr);
        constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        const int dpi = owner_.dotsPerInch_;
        const SIZE outer = win32::OuterSize(form::ToPixels(form::kSettingsWidthTwips, dpi),
                                            form::ToPixels(form::kSettingsHeightTwips, dpi), kStyle,
                                            WS_EX_DLGMODALFRAME, dpi);
        RECT ownerRect{};
        GetWindowRect(owner_.window_, &ownerRect);
        CreateWindowExW(WS_EX_DLGMODALFRAME, kSettingsClassName,
                        win32::Wide(form::kSettingsTitle).c_str(), kStyle,
                        ownerRect.left + (ownerRect.right - ownerRect.left - outer.cx) / 2,
                        ownerRect.top + (ownerRect.bottom - ownerRect.top - outer.cy) / 2, outer.cx,
                        outer.cy, owner_.window_, nullptr, instance, this);
        if (window_ == nullptr) {
            return;
        }
        controls_ = win32::MakeControls(
            window_, form::kSettingsControls,
            [](const form::Control& control) { return std::u16string(control.caption); });
        win32::PlaceControls(controls_, form::kSettingsControls, dpi,
                             [this, dpi](double points) {
                                 const double size = points > 0 ? points : form::kDefaultPoints;
                                 auto found = fonts_.find(size);
                                 if (found == fonts_.end()) {
                                     found = fonts_.emplace(size, win32::SongFont(size, dpi)).first;
                                 }
                                 return found->second;
                             },
                             {});
        for (const auto& [name, text] : SettingsDialogTexts(owner_.run_->settings())) {
            if (form::Find(name, form::kSettingsControls)->kind == form::Kind::ComboBox) {
                win32::Choose(Control(name), text);
            } else {
                SetWindowTextW(Control(name), win32::WithCrLf(text).c_str());
            }
        }
        EnableWindow(owner_.window_, FALSE);
        ShowWindow(window_, SW_SHOWNORMAL);
        SetFocus(Control("Text1"));
        SendMessageW(Control("Text1"), EM_SETSEL, 0, -1);
    }
    ~Settings() {
        if (window_ != nullptr) {
            Close();
        }
        for (const auto& [points, font] : fonts_) {
            DeleteObject(font);
        }
    }
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    HWND window() const { return window_; }
    HWND Control(std::string_view name) const {
        const auto found = controls_.find(name);
        return found == controls_.end() ? nullptr : found->second;
    }

  private:
    static constexpr wchar_t kSettingsClassName[] = L"SlotscopeSettings";

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* dialog =
                static_cast<Settings*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            dialog->window_ = window;
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
        }
        auto* dialog = reinterpret_cast<Settings*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (dialog == nullptr) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        switch (message) {
            case WM_COMMAND: {
                auto* const control = reinterpret_cast<HWND>(lParam);
                if (LOWORD(wParam) == IDOK || control == dialog->Control("Command1")) {
                    dialog->Accept();
                } else if (LOWORD(wParam) == IDCANCEL || control == dialog->Control("Command2")) {
                    dialog->Close();
                } else if (control == dialog->Control("Command3")) {
                    dialog->TestChannels();
                }
                return 0;
            }
            case WM_CLOSE:
                dialog->Close();
                return 0;
            case WM_DESTROY:
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                dialog->window_ = nullptr;
                return 0;
            default:
                return DefWindowProcW(window, message, wParam, lParam);
        }
    }

    void Accept() {
        const auto settings = ReadSettingsDialog(
            [this](std::string_view name) { return win32::Utf16(win32::TextOf(Control(name))); },
            owner_.run_->services().cookieError);
        if (!settings) {
            SetWindowTextW(Control("Label8"), win32::Wide(settings.error()).c_str());
            return;
        }
        owner_.run_->SetSettings(*settings);
        Close();
    }

    // 测试: the channels as the box holds them now, saved or not; the answer in a message box
    // over whichever of the two windows is there when it comes.
    void TestChannels() {
        Form1& owner = owner_;
        owner_.run_->TestChannels(
            win32::Utf16(win32::TextOf(Control("Text9"))), [&owner](const std::u16string& message) {
                const HWND over =
                    owner.SettingsWindow() != nullptr ? owner.SettingsWindow() : owner.window_;
                MessageBoxW(over, win32::Wide(message).c_str(), L"通知测试",
                            MB_OK | MB_ICONINFORMATION);
            });
    }

    // The owner takes input again before this goes, so Windows hands it the activation.
    void Close() {
        EnableWindow(owner_.window_, TRUE);
        SetActiveWindow(owner_.window_);
        DestroyWindow(window_);
    }

    Form1& owner_;
    HWND window_ = nullptr;
    win32::Controls controls_;
    std::map<double, HFONT> fonts_;
};

}  // namespace slotscope
