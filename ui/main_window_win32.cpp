#include "ui/main_window_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "base/text_codec.h"
#include "core/run_limits.h"
#include "core/search_address.h"
#include "ui/form_table.h"
#include "ui/form_win32.h"
#include "ui/settings_dialog_win32.h"

namespace slotscope {
using namespace win32;  // the form helpers of this toolkit
namespace {

constexpr wchar_t kClassName[] = L"SlotscopeForm1";
constexpr UINT kPostMessage = WM_APP + 1;  // lParam: std::function<void()>*, run and delete
constexpr int kIconResource = 1;

constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

}  // namespace

WindowServices DesktopWindowServices(WindowServices::MakeFetcher makeFetcher,
                                     std::function<std::string(std::string_view)> cookieError) {
    WindowServices services;
    services.makeFetcher = std::move(makeFetcher);
    services.cookieError = std::move(cookieError);
    // baidu.csv beside the executable, wherever it was unpacked (a folder named 桌面 too).
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.resize(path.find_last_of(L"\\/") + 1);
    services.resultsPath = EncodeUtf8(Utf16(path) + std::u16string(limits::kResultsFileName16));
    services.mobileResultsPath =
        EncodeUtf8(Utf16(path) + std::u16string(limits::kPhoneResultsFileName16));
    services.homePageUrl = std::string(HomePageUrl);
    services.searchUrlPrefix = std::string(SearchUrlPrefix);
    services.mobileSearchUrlPrefix = std::string(MobileSearchUrlPrefix);
    services.settings = RunSettings{};
    services.store = std::make_shared<SettingsStore>(EncodeUtf8(Utf16(path)), UserSettingsFolder());
    services.openUrl = [](const std::string& address) {
        // The address goes to the shell as a document to open, never into a command line.
        const std::wstring wide = Wide(DecodeUtf8(address));
        const auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        return result > 32;
    };
    services.openFile = services.openUrl;  // the shell opens a local path with its program
    return services;
}

class Form1::Texts final : public WindowTexts {
  public:
    explicit Texts(Form1& form) : form_(form) {}

    std::u16string Get(Field field) const override {
        return Utf16(TextOf(form_.Control(WindowTexts::ControlOf(field))));
    }
    void Set(Field field, const std::u16string& text) override {
        HWND control = form_.Control(WindowTexts::ControlOf(field));
        if (field == Field::Device || field == Field::Region) {
            Choose(control, text);
            return;
        }
        SetWindowTextW(control, WithCrLf(text).c_str());
        if (field == Field::Status) {
            form_.FitStatus();
        }
    }
    void SetChoices(Field field, const std::vector<std::u16string>& choices) override {
        HWND box = form_.Control(WindowTexts::ControlOf(field));
        const std::u16string chosen = Get(field);
        SendMessageW(box, CB_RESETCONTENT, 0, 0);
        for (const std::u16string& choice : choices) {
            SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(choice).c_str()));
        }
        SendMessageW(box, CB_SETMINVISIBLE,
                     static_cast<WPARAM>(std::max<std::size_t>(choices.size(), 1)), 0);
        Choose(box, chosen);
    }

  private:
    // Chooses the choice that reads `text` exactly (a prefix or another case is another
    // region's), else the first.
    Form1& form_;
};

// Work for the window's thread goes through its message queue, in the order it was posted.
class Form1::Thread final : public WindowThread {
  public:
    explicit Thread(const Form1& form) : form_(form) {}

    void Post(std::function<void()> work) override {
        auto* posted = new std::function<void()>(std::move(work));
        if (form_.window_ == nullptr ||
            PostMessageW(form_.window_, kPostMessage, 0, reinterpret_cast<LPARAM>(posted)) == 0) {
            delete posted;
        }
    }

  private:
    const Form1& form_;
};

Form1::Form1(WindowServices services, bool quitOnClose)
    : quitOnClose_(quitOnClose), services_(std::move(services)) {
    INITCOMMONCONTROLSEX linkClass{sizeof(INITCOMMONCONTROLSEX), ICC_LINK_CLASS};
    InitCommonControlsEx(&linkClass);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    if (icon == nullptr) {
        icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
    }
    RegisterFormClass(kClassName, &Form1::Procedure, icon);
    CreateWindowExW(0, kClassName, Wide(form::kTitle).c_str(), kWindowStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    if (window_ == nullptr) {
        return;
    }
    CreateControls();
    Layout(DotsPerInch(window_));

    texts_ = std::make_unique<Texts>(*this);
    thread_ = std::make_unique<Thread>(*this);
    HWND command1 = Control("Command1");
    run_ = std::make_unique<WindowRun>(
        services_, *texts_, *thread_,
        WindowRun::Events{
            .runningChanged =
                [command1](bool running) {
                    SetWindowTextW(
                        command1, Wide(running ? form::kStopCaption : form::kStartCaption).c_str());
                },
            .finished =
                [this] {
                    if (finished_) {
                        finished_();
                    }
                },
            .close = [this] { DestroyWindow(window_); }});
}

Form1::~Form1() {
    settings_.reset();
    run_.reset();  // stops a run under way and waits for it, serving the window meanwhile
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    for (const auto& [points, font] : fonts_) {
        DeleteObject(font);
    }
}

void Form1::OpenHistory() {
    run_->OpenHistory([this](const std::u16string& message) {
        MessageBoxW(window_, Wide(message).c_str(), L"历史记录", MB_OK | MB_ICONINFORMATION);
    });
}

void Form1::ExportWorkbook() {
    run_->ExportWorkbook([this](const std::u16string& message) {
        MessageBoxW(window_, Wide(message).c_str(), L"历史记录", MB_OK | MB_ICONINFORMATION);
    });
}

void Form1::OpenSettings() {
    if (settings_ != nullptr && settings_->window() != nullptr) {
        SetActiveWindow(settings_->window());
        return;
    }
    settings_ = std::make_unique<Settings>(*this);
}

HWND Form1::SettingsWindow() const {
    return settings_ != nullptr ? settings_->window() : nullptr;
}

HWND Form1::SettingsControl(std::string_view name) const {
    return settings_ != nullptr && settings_->window() != nullptr ? settings_->Control(name)
                                                                  : nullptr;
}

void Form1::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    SetFocus(Control("Text1"));
}

HWND Form1::Control(std::string_view name) const {
    const auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second;
}

void Form1::CreateControls() {
    controls_ = MakeControls(window_, form::kControls, [this](const form::Control& control) {
        std::u16string caption(control.caption);
        if (control.name == "Label4") {
            caption += DecodeUtf8(services_.homePageUrl);
        }
        return caption;
    });
}

HFONT Form1::Font(double points) {
    const double size = points > 0 ? points : form::kDefaultPoints;
    auto found = fonts_.find(size);
    if (found == fonts_.end()) {
        found = fonts_.emplace(size, SongFont(size, dotsPerInch_)).first;
    }
    return found->second;
}

void Form1::FitStatus() {
    HWND status = Control(WindowTexts::ControlOf(WindowTexts::Field::Status));
    RECT client{};
    GetClientRect(status, &client);
    HFONT font = nullptr;
    for (const double points : form::kStatusPoints) {
        font = Font(points);
        if (CaptionHeight(status, font, /*wrap=*/true) <= client.bottom) {
            break;
        }
    }
    SendMessageW(status, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void Form1::Layout(int dotsPerInch) {
    dotsPerInch_ = dotsPerInch;
    // The controls are given the new fonts before the old ones go.
    std::map<double, HFONT> previous;
    previous.swap(fonts_);
    PlaceControls(
        controls_, form::kControls, dotsPerInch, [this](double points) { return Font(points); },
        WindowTexts::ControlOf(WindowTexts::Field::Status));
    FitStatus();
    for (const auto& [points, font] : previous) {
        DeleteObject(font);
    }
    const SIZE outer =
        OuterSize(form::ToPixels(form::kWidthTwips, dotsPerInch),
                  form::ToPixels(form::kHeightTwips, dotsPerInch), kWindowStyle, 0, dotsPerInch);
    SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK Form1::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return form->Handle(message, wParam, lParam);
}

LRESULT Form1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kPostMessage: {
            std::unique_ptr<std::function<void()>> work(
                reinterpret_cast<std::function<void()>*>(lParam));
            (*work)();
            return 0;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && run_ != nullptr) {
                ButtonClicked(reinterpret_cast<HWND>(lParam));
            }
            return 0;
        case WM_NOTIFY: {
            const auto* notice = reinterpret_cast<const NMHDR*>(lParam);
            if (notice->code == NM_CLICK || notice->code == NM_RETURN) {
                LinkClicked(notice->hwndFrom);
            }
            return 0;
        }
        case WM_DPICHANGED: {
            // Another monitor: the same form at its density, in the place Windows suggests.
            Layout(HIWORD(wParam));
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_ACTIVATE:
            // A plain window keeps no focus of its own: give it back to the control that had it.
            if (LOWORD(wParam) == WA_INACTIVE) {
                lastFocus_ = GetFocus();
            } else {
                SetFocus(lastFocus_ != nullptr ? lastFocus_ : Control("Text1"));
            }
            return 0;
        case WM_CLOSE:
            if (run_ == nullptr || run_->CloseRequested()) {
                DestroyWindow(window_);
            }
            return 0;
        case WM_DESTROY:
            Destroyed();
            return 0;
        default:
            return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void Form1::ButtonClicked(HWND control) {
    if (control == Control("Command1")) {
        run_->StartOrStop();
    } else if (control == Control("Command2")) {
        run_->OpenHomePage();
    } else {
        LinkClicked(control);  // the links drawn as buttons
    }
}

void Form1::LinkClicked(HWND control) {
    if (control == Control("Label8")) {
        OpenSettings();
    } else if (control == Control("Label9")) {
        OpenHistory();
    } else if (control == Control("Label11")) {
        ExportWorkbook();
    }
}

void Form1::Destroyed() {
    // Work posted to the window that it will not run now: free it.
    MSG message;
    while (PeekMessageW(&message, window_, kPostMessage, kPostMessage, PM_REMOVE) != 0) {
        delete reinterpret_cast<std::function<void()>*>(message.lParam);
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    window_ = nullptr;
    if (quitOnClose_) {
        PostQuitMessage(0);
    }
}

int Form1::RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, Shift-Tab and the arrow keys move between the controls, as in a dialog.
        const HWND top = GetAncestor(message.hwnd, GA_ROOT);
        if (top != nullptr && IsDialogMessageW(top, &message) != 0) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace slotscope
