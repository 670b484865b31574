#pragma once

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>

#include "core/page_fetcher.h"

class QCloseEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QUrl;

namespace slotscope {

// What the window uses from outside: the real ones in the program, stand-ins in tests.
struct WindowServices {
    std::function<std::unique_ptr<PageFetcher>()> makeFetcher;  // a fresh one for every run
    std::string resultsPath;
    std::string homePageUrl;
    std::string searchUrlPrefix;
    int lookAhead = 3;                         // pages fetched at once: polite for one desktop
    std::function<bool(const QUrl&)> openUrl;  // hands an address to the desktop's browser
};

// The real page fetch, baidu.csv beside the executable and the desktop's browser.
WindowServices DefaultWindowServices();

// The program's window. Its controls carry the names of the form (Label1, Text1, Command1, ...)
// as object names. Start runs the keyword check on a worker thread, so the window keeps
// answering; the run reads and writes the controls on the window's thread, live.
class Form1 final : public QWidget {
    Q_OBJECT

  public:
    explicit Form1(WindowServices services, QWidget* parent = nullptr);
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    bool running() const { return running_; }

  signals:
    void runFinished();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    class Fields;

    void OnCommand1Clicked();
    void StartRun();
    void OnRunEnded();
    void OpenHomePage() const;

    WindowServices services_;

    QLabel* Label1_;
    QPlainTextEdit* Text1_;
    QLabel* Label2_;
    QLabel* Label5_;
    QLineEdit* Text4_;
    QPushButton* Command1_;
    QLabel* Label6_;
    QLineEdit* Text5_;
    QLabel* Label3_;
    QLabel* Label4_;
    QPushButton* Command2_;
    QPlainTextEdit* Text2_;
    QLineEdit* Text3_;

    bool running_ = false;
    bool closeWhenDone_ = false;
    std::atomic<bool> workerDone_ = false;
    std::stop_source stop_;
    std::unique_ptr<Fields> fields_;
    std::unique_ptr<PageFetcher> fetcher_;
    std::jthread worker_;
};

}  // namespace slotscope
