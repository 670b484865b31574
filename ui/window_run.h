#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/page_fetcher.h"
#include "core/region_run.h"
#include "core/run_fields.h"
#include "core/run_history.h"
#include "core/run_limits.h"
#include "regions/proxy_address.h"
#include "regions/region_list.h"
#include "ui/window_schedule.h"
#include "ui/window_settings.h"

namespace slotscope {

// The settings' defaults without rounds after verification pages.
inline RunSettings WithoutVerifyRounds() {
    RunSettings settings;
    settings.verifyRounds = 0;
    return settings;
}

// What a window uses from outside: the real ones in the program, stand-ins in tests.
struct WindowServices {
    // A fresh page fetch for every run and region, carrying the user's cookie text (UTF-8; may be
    // empty) and going through the region's proxies (none: the machine's own connection).
    using MakeFetcher = std::function<std::unique_ptr<PageFetcher>(
        std::string_view cookie, const std::vector<ProxyAddress>& proxies)>;
    MakeFetcher makeFetcher;
    // What is wrong with a cookie text, for the user; empty when nothing is (or none is checked).
    std::function<std::string(std::string_view cookie)> cookieError;
    std::string resultsPath;        // UTF-8
    std::string mobileResultsPath;  // UTF-8
    std::string homePageUrl;
    std::string searchUrlPrefix;
    std::string mobileSearchUrlPrefix;
    // The settings a window starts with where it remembers none; no rounds after verification
    // unless asked for.
    RunSettings settings = WithoutVerifyRounds();
    std::chrono::milliseconds verifyPause = limits::kVerifyPause;
    // Where the window remembers its texts and settings between launches; none: it forgets.
    std::shared_ptr<const SettingsStore> store;
    std::function<bool(const std::string& address)> openUrl;  // hands it to the browser
    // A fresh history for every run and region, beside the results file; none: runs keep no
    // history.
    std::function<std::unique_ptr<RunHistory>()> makeHistory;
    // Writes the history's report for a site (UTF-8): where, or why not.
    struct ReportFile {
        enum class Outcome { Written, NoHistory, Failed } outcome = Outcome::Failed;
        std::string path;     // UTF-8
        std::string problem;  // in English
    };
    std::function<ReportFile(const std::string& site)> writeReport;
    // Writes the history's Excel workbook for a site (UTF-8), the same way.
    std::function<ReportFile(const std::string& site)> writeWorkbook;
    // Hands a local file to the program that opens it (the browser, the spreadsheet).
    std::function<bool(const std::string& path)> openFile;
    // Tells the channels (their lines as the settings hold them) of the runs of `site` whose rows
    // in the history are `runs`, as the rule (its name as the window lists it) calls for; false
    // when one did not take its message. None: the window sends no alerts.
    std::function<bool(const std::u16string& channels, const std::u16string& rule,
                       const std::string& site, const std::vector<long long>& runs,
                       const std::stop_token& stop)>
        tellChannels;
    // Sends a test message to each channel of the lines; what each did, a line each, for the user.
    // A stop (the window closing) ends it at once.
    std::function<std::u16string(const std::u16string& channels, const std::stop_token& stop)>
        testChannels;
    // What the schedule reads time from.
    ScheduleClock clock = ScheduleClock::Machine();
};

// The desktop's side of the window services: baidu.csv and baidu_mobile.csv beside the
// executable, the settings beside it or in the user's folder, the built-in addresses and the
// desktop's browser; the page fetch and the cookie's check are the program's to give.
WindowServices DesktopWindowServices(WindowServices::MakeFetcher makeFetcher,
                                     std::function<std::string(std::string_view)> cookieError);

// The six fields as a window holds them, and the device choice. Called on the window's thread
// only.
class WindowTexts {
  public:
    enum class Field {
        KeywordList,
        Website,
        LeftLabel,
        RightLabel,
        Progress,
        Status,
        Device,
        Region,
    };

    virtual ~WindowTexts() = default;
    virtual std::u16string Get(Field field) const = 0;
    virtual void Set(Field field, const std::u16string& text) = 0;
    // Gives a choice (the region's) these choices, keeping the chosen one where it is among
    // them, else choosing the first.
    virtual void SetChoices(Field field, const std::vector<std::u16string>& choices) = 0;

    // The form's control that holds a field: Text1, Text4, Text2, Text3, Text5, Label3, Combo1
    // (whose text is the chosen device) or Combo2 (the chosen region).
    static const char* ControlOf(Field field);

  protected:
    WindowTexts() = default;
    WindowTexts(const WindowTexts&) = default;
    WindowTexts& operator=(const WindowTexts&) = default;
};

// How work reaches a window's thread: the toolkit's queued call, or Win32's PostMessage.
class WindowThread {
  public:
    virtual ~WindowThread() = default;
    // Has `work` run on the window's thread later, after what was posted before; dropped if
    // the window is gone by then. Called from any thread; never waits for the window.
    virtual void Post(std::function<void()> work) = 0;

  protected:
    WindowThread() = default;
    WindowThread(const WindowThread&) = default;
    WindowThread& operator=(const WindowThread&) = default;
};

// A window's runs, the same for every toolkit: Start runs the keyword check on a worker thread
// while the window keeps answering; the run takes the keyword list and the website when it
// starts, and what it writes reaches the window's fields through the window's thread. A click while
// a run goes on stops it (every finished line is kept); a close during a run stops it and lets the
// window close once the run has closed its file.
class WindowRun final {
  public:
    // What the window does when a run begins and ends.
    struct Events {
        std::function<void(bool running)> runningChanged;  // Command1's caption
        std::function<void()> finished;                    // after the run has ended
        std::function<void()> close;                       // closes the window (asked mid-run)
    };

    WindowRun(WindowServices services, WindowTexts& texts, WindowThread& thread, Events events);
    // Stops a run under way and waits for it, serving the window meanwhile.
    ~WindowRun();
    WindowRun(const WindowRun&) = delete;
    WindowRun& operator=(const WindowRun&) = delete;

    // Idle, or a run under way: running, asked to stop, or asked to stop and then close.
    enum class State { Idle, Running, Stopping, ClosingAfterRun };
    State state() const { return state_; }
    bool running() const { return state_ != State::Idle; }

    // Command1: starts a run, or stops the one under way.
    void StartOrStop();
    // The window is asked to close: true when it may close now, false when it must wait for
    // the run to end (it is then closed through Events::close).
    bool CloseRequested();
    // Command2: the home page in the browser; nothing else changes, whatever the outcome.
    void OpenHomePage() const;
    // The history link: writes the report for the website in the text box on a thread of its
    // own, then, back on the window's thread, opens it in the browser or has `tell` say why not
    // (in a message box). A click while a report is being written is ignored.
    void OpenHistory(std::function<void(const std::u16string& message)> tell);
    // The workbook link: the same for the history's Excel workbook, opened by the spreadsheet.
    void ExportWorkbook(std::function<void(const std::u16string& message)> tell);

    // The settings the next run fetches with; the settings dialog shows and changes them.
    const RunSettings& settings() const { return settings_; }
    void SetSettings(RunSettings settings);
    // Keeps the keywords, the website, the device and the settings for the next launch; false
    // when they could not be kept.
    bool Remember() const;
    // The settings dialog's 测试: a test message to each channel of `channels`, on a thread of
    // its own; then, on the window's thread, `tell` says how each took it. A click while one is
    // being sent is ignored.
    void TestChannels(const std::u16string& channels,
                      std::function<void(const std::u16string& message)> tell);
    // When the schedule starts the next run; none where no schedule is on.
    std::optional<std::chrono::system_clock::time_point> nextRun() const { return nextRun_; }

    const WindowServices& services() const { return services_; }

  private:
    class Fields;

    void Start();
    std::u16string RefusedStart() const;
    // The run as the window's choices and the settings make it.
    RunOptions OptionsOfRun() const;
    std::vector<RunRegion> Connect(const std::vector<Region>& regions);
    void Ended();
    // Has Ended run on the window's thread after the event under way.
    void EndLater(bool onWindowThread);
    // Shows in the status text that the run was aborted, and why.
    void Report(const std::exception_ptr& failure, bool onWindowThread);
    // Tells the settings' channels of a run that finished, on the worker's thread; the status
    // says where one did not take its message.
    void TellChannels(const RegionsSummary& summary, const std::u16string& channels,
                      const std::u16string& rule, const std::stop_token& stop);
    // The schedule of the settings, followed from now on; and what it says on the window.
    void FollowSchedule();
    void ShowNextRun();
    // Writes a file of the history for the website in the text box aside, then opens it.
    struct Errand;
    void WriteAndOpen(const Errand& errand, bool& busy, std::jthread& worker,
                      std::function<void(const std::u16string& message)> tell);

    WindowServices services_;
    RunSettings settings_;
    WindowTexts& texts_;
    WindowThread& thread_;
    Events events_;

    State state_ = State::Idle;
    bool refusalShown_ = false;  // the status says why the last start was refused
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::stop_source stop_;
    std::unique_ptr<Fields> fields_;
    // Each region's page fetch and history, for the run under way.
    std::vector<std::unique_ptr<PageFetcher>> fetchers_;
    std::vector<std::unique_ptr<RunHistory>> histories_;
    std::jthread worker_;
    bool reporting_ = false;
    std::jthread reportWorker_;
    bool exporting_ = false;
    std::jthread exportWorker_;
    bool testing_ = false;
    std::stop_source testStop_;
    std::jthread testWorker_;
    std::optional<std::chrono::system_clock::time_point> nextRun_;
    // Last: its thread is joined before anything it posts to goes.
    std::unique_ptr<WindowSchedule> schedule_;
};

}  // namespace slotscope
