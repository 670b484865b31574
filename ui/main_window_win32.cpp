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

namespace slotscope {
namespace {

constexpr wchar_t kClassName[] = L"SlotscopeForm1";
constexpr UINT kPostMessage = WM_APP + 1;  // lParam: std::function<void()>*, run and delete
constexpr int kFirstControlId = 100;       // clear of IDOK and IDCANCEL
constexpr int kIconResource = 1;

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

constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

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
        if (field == Field::Device) {
            SendMessageW(control, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(Wide(text).c_str()));
            return;
        }
        SetWindowTextW(control, WithCrLf(text).c_str());
        if (field == Field::Status) {
            form_.FitStatus();
        }
    }

  private:
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

// The settings dialog: the form kSettingsControls in a window of its own, owned by Form1, which
// takes no input while it is open. 确定 (or Enter) gives the window's runs the settings it shows
// when they can be read, else says why; 取消, Esc and the close box leave them as they were.
class Form1::Settings final {
  public:
    explicit Settings(Form1& owner) : owner_(owner) {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        RegisterFormClass(kSettingsClassName, &Settings::Procedure, nullptr);
        constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        const int dpi = owner_.dotsPerInch_;
        const SIZE outer = OuterSize(form::ToPixels(form::kSettingsWidthTwips, dpi),
                                     form::ToPixels(form::kSettingsHeightTwips, dpi), kStyle,
                                     WS_EX_DLGMODALFRAME, dpi);
        RECT ownerRect{};
        GetWindowRect(owner_.window_, &ownerRect);
        CreateWindowExW(WS_EX_DLGMODALFRAME, kSettingsClassName, Wide(form::kSettingsTitle).c_str(),
                        kStyle, ownerRect.left + (ownerRect.right - ownerRect.left - outer.cx) / 2,
                        ownerRect.top + (ownerRect.bottom - ownerRect.top - outer.cy) / 2, outer.cx,
                        outer.cy, owner_.window_, nullptr, instance, this);
        if (window_ == nullptr) {
            return;
        }
        controls_ = MakeControls(
            window_, form::kSettingsControls,
            [](const form::Control& control) { return std::u16string(control.caption); });
        PlaceControls(controls_, form::kSettingsControls, dpi,
                      [this, dpi](double points) {
                          const double size = points > 0 ? points : form::kDefaultPoints;
                          auto found = fonts_.find(size);
                          if (found == fonts_.end()) {
                              found = fonts_.emplace(size, SongFont(size, dpi)).first;
                          }
                          return found->second;
                      },
                      {});
        for (const auto& [name, text] : SettingsDialogTexts(owner_.run_->settings())) {
            SetWindowTextW(Control(name), WithCrLf(text).c_str());
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
        std::u16string why;
        const std::optional<RunSettings> settings = ReadSettingsDialog(
            [this](std::string_view name) { return Utf16(TextOf(Control(name))); },
            owner_.run_->services().cookieError, why);
        if (!settings) {
            SetWindowTextW(Control("Label8"), Wide(why).c_str());
            return;
        }
        owner_.run_->SetSettings(*settings);
        Close();
    }

    // The owner takes input again before this goes, so Windows hands it the activation.
    void Close() {
        EnableWindow(owner_.window_, TRUE);
        SetActiveWindow(owner_.window_);
        DestroyWindow(window_);
    }

    Form1& owner_;
    HWND window_ = nullptr;
    Controls controls_;
    std::map<double, HFONT> fonts_;
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
                auto* const control = reinterpret_cast<HWND>(lParam);
                if (control == Control("Command1")) {
                    run_->StartOrStop();
                } else if (control == Control("Command2")) {
                    run_->OpenHomePage();
                } else if (control == Control("Label8")) {
                    OpenSettings();  // the links drawn as buttons
                } else if (control == Control("Label9")) {
                    OpenHistory();
                }
            }
            return 0;
        case WM_NOTIFY: {
            const auto* notice = reinterpret_cast<const NMHDR*>(lParam);
            if (notice->code == NM_CLICK || notice->code == NM_RETURN) {
                if (notice->hwndFrom == Control("Label8")) {
                    OpenSettings();
                } else if (notice->hwndFrom == Control("Label9")) {
                    OpenHistory();
                }
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
