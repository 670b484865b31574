#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "ui/window_run.h"

class QCloseEvent;

namespace slotscope {

// The program's window in Qt Widgets. Its controls carry the names of the form (Label1, Text1,
// Command1, ...) as object names. Start runs the keyword check on a worker thread, so the window
// keeps answering; the run reads and writes the controls on the window's thread, live.
class Form1 final : public QWidget {
    Q_OBJECT

  public:
    explicit Form1(WindowServices services, QWidget* parent = nullptr);
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    bool running() const { return run_->running(); }
    // The settings dialog (the link 设置), window-modal; its 确定 gives the window's runs the
    // settings it shows.
    void OpenSettings();
    // The history link: the report in the browser, or a message box saying why not.
    void OpenHistory();
    // The workbook link: the history as an Excel workbook, opened, or a message box saying why not.
    void ExportWorkbook();
    void ShowHistoryMessage(const std::u16string& message);

  signals:
    void runFinished();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    class Texts;
    class Thread;

    QWidget* Control(const char* name) const;

    std::map<std::string, QWidget*, std::less<>> controls_;
    std::unique_ptr<Texts> texts_;
    std::unique_ptr<Thread> thread_;
    std::unique_ptr<WindowRun> run_;  // last: goes first, while the rest still serves it
};

}  // namespace slotscope
