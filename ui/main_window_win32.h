#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "ui/window_run.h"

namespace slotscope {

// The program's window in plain Win32: the form's controls as EDIT, STATIC and BUTTON windows,
// placed from twips at the monitor's density and drawn in SimSun with the GB2312 character set.
// Start runs the keyword check on a worker thread, so the window keeps answering; the run reads
// and writes the controls on the window's thread through SendMessage.
class Form1 final {
  public:
    // Creates the window, hidden; Show() shows it. With `quitOnClose` the message loop ends when
    // the window is closed (the program's window), otherwise it only goes (tests).
    Form1(WindowServices services, bool quitOnClose);
    ~Form1();
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    void Show(int showCommand = SW_SHOWNORMAL);
    HWND window() const { return window_; }
    // The control of the form with that name (Text1, Command1, ...), nullptr if there is none.
    HWND Control(std::string_view name) const;
    bool running() const { return run_ != nullptr && run_->running(); }
    // Whether the window has been closed (and destroyed).
    bool closed() const { return window_ == nullptr; }
    // The settings dialog (the link 设置), and it and its controls while it is open.
    void OpenSettings();
    // The history link: the report in the browser, or a message box saying why not.
    void OpenHistory();
    // The workbook link: the history as an Excel workbook, opened, or a message box saying why not.
    void ExportWorkbook();
    HWND SettingsWindow() const;
    HWND SettingsControl(std::string_view name) const;
    // Runs after each run has ended; for tests.
    void OnRunFinished(std::function<void()> finished) { finished_ = std::move(finished); }

    // The message loop of a program whose only window is a Form1: keyboard navigation between
    // the controls included. Returns the exit code.
    static int RunMessageLoop();

  private:
    class Texts;
    class Thread;
    class Settings;

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // A button clicked; the links come as buttons too where Windows draws them so.
    void ButtonClicked(HWND control);
    // A link clicked or entered: the settings, or the history.
    void LinkClicked(HWND control);
    void CreateControls();
    void Layout(int dotsPerInch);
    // SimSun at a size, for the current density; made once.
    HFONT Font(double points);
    // The status label's font: the largest of the status sizes at which its text fits.
    void FitStatus();
    void Destroyed();

    bool quitOnClose_;
    HWND window_ = nullptr;
    int dotsPerInch_ = 96;
    HWND lastFocus_ = nullptr;
    std::map<std::string, HWND, std::less<>> controls_;
    std::map<double, HFONT> fonts_;  // by point size, for the current density
    std::function<void()> finished_;
    WindowServices services_;
    std::unique_ptr<Texts> texts_;
    std::unique_ptr<Thread> thread_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<WindowRun> run_;  // last: goes first, while the rest still serves it
};

}  // namespace slotscope
