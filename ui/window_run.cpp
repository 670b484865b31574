#include "ui/window_run.h"

#include <algorithm>
#include <array>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

#include "base/numbers.h"
#include "base/text_codec.h"
#include "core/keyword_run.h"
#include "core/region_run.h"
#include "core/run_captions.h"
#include "core/schedule.h"
#include "page/own_site.h"
#include "ui/form_table.h"
#include "ui/window_regions.h"

namespace slotscope {

// The run's six texts as the worker sees them. The keyword list and the website are taken once,
// on the window's thread, when the run starts; what the run writes is queued here and the
// window's thread shows every text in the order written. The worker never waits for the window,
// and at most one call is on its way to the window however fast the run writes.
class WindowRun::Fields final : public RunFields {
  public:
    Fields(WindowTexts& texts, WindowThread& thread, std::shared_ptr<bool> alive)
        : keywordList_(WithCrLfLineBreaks(texts.Get(WindowTexts::Field::KeywordList))),
          website_(texts.Get(WindowTexts::Field::Website)),
          texts_(texts),
          thread_(thread),
          alive_(std::move(alive)) {}

    std::u16string KeywordList() const override { return keywordList_; }
    std::u16string Website() const override { return website_; }
    std::u16string LeftLabel() const override { return left_; }
    void SetLeftLabel(const std::u16string& text) override {
        left_ = text;
        Show(WindowTexts::Field::LeftLabel, text);
    }
    std::u16string RightLabel() const override { return right_; }
    void SetRightLabel(const std::u16string& text) override {
        right_ = text;
        Show(WindowTexts::Field::RightLabel, text);
    }
    void SetProgress(const std::u16string& text) override {
        Show(WindowTexts::Field::Progress, text);
    }
    void SetStatus(const std::u16string& text) override {
        status_ = text;
        Show(WindowTexts::Field::Status, text);
    }
    // The last status the run wrote, for what is said after it (the alerts').
    const std::u16string& status() const { return status_; }

    // Has the window show `text` in `field` after what was handed to it before.
    void Show(WindowTexts::Field field, const std::u16string& text) {
        std::unique_lock lock(pending_->mutex);
        pending_->texts.emplace_back(field, text);
        if (pending_->posted) {
            return;  // the call already on its way shows this too
        }
        pending_->posted = true;
        lock.unlock();
        try {
            Post();
        } catch (...) {
            const std::scoped_lock again(pending_->mutex);
            pending_->posted = false;  // the next text tries again
            throw;
        }
    }

  private:
    void Post() {
        thread_.Post([pending = pending_, &texts = texts_, alive = alive_] {
            std::vector<std::pair<WindowTexts::Field, std::u16string>> shown;
            {
                const std::scoped_lock taken(pending->mutex);
                shown.swap(pending->texts);
                pending->posted = false;
            }
            if (!*alive) {
                return;
            }
            for (const auto& [field, text] : shown) {
                texts.Set(field, text);
            }
        });
    }

    // Texts written by the worker and not yet shown; the window's thread takes them.
    struct Pending {
        std::mutex mutex;
        std::vector<std::pair<WindowTexts::Field, std::u16string>> texts;
        bool posted = false;
    };

    const std::u16string keywordList_;
    const std::u16string website_;
    std::u16string left_;
    std::u16string right_;
    std::u16string status_;
    WindowTexts& texts_;
    WindowThread& thread_;
    std::shared_ptr<bool> alive_;
    std::shared_ptr<Pending> pending_ = std::make_shared<Pending>();
};

const char* WindowTexts::ControlOf(Field field) {
    switch (field) {
        case Field::KeywordList:
            return "Text1";
        case Field::Website:
            return "Text4";
        case Field::LeftLabel:
            return "Text2";
        case Field::RightLabel:
            return "Text3";
        case Field::Progress:
            return "Text5";
        case Field::Device:
            return "Combo1";
        case Field::Region:
            return "Combo2";
        case Field::Status:
            break;
    }
    return "Label3";
}

namespace {

// What the status says after it while the schedule waits: "，下次查询 14:00".
constexpr std::u16string_view kNextRunNote = u"，下次查询 ";

// The device the window's choice names; the desktop page where it names none.
Device ChosenDevice(std::u16string_view choice) {
    const std::vector<std::u16string_view> choices = form::Lines(form::kDeviceChoices);
    const auto found = std::find(choices.begin(), choices.end(), choice);
    constexpr std::array<Device, 3> kDevices = {Device::Pc, Device::Mobile, Device::Both};
    const auto index = static_cast<std::size_t>(found - choices.begin());
    return index < kDevices.size() ? kDevices[index] : Device::Pc;
}

}  // namespace

WindowRun::WindowRun(WindowServices services, WindowTexts& texts, WindowThread& thread,
                     Events events)
    : services_(std::move(services)),
      settings_(services_.settings),
      texts_(texts),
      thread_(thread),
      events_(std::move(events)) {
    // What the last launch left: its texts in the fields, its settings for the runs.
    WindowSettings saved;
    saved.run = settings_;
    if (services_.store != nullptr) {
        saved = services_.store->Load();
    }
    settings_ = saved.run;
    texts_.SetChoices(WindowTexts::Field::Region, RegionChoices(settings_.regions));
    schedule_ = std::make_unique<WindowSchedule>(
        thread_, alive_, services_.clock,
        [this](std::chrono::system_clock::time_point next) {
            nextRun_ = next;
            ShowNextRun();
        },
        [this] {
            // A run due while one goes on is passed over; the schedule goes on.
            if (state_ == State::Idle) {
                Start();
            }
        });
    FollowSchedule();
    if (services_.store == nullptr) {
        return;
    }
    texts_.Set(WindowTexts::Field::KeywordList, saved.keywords);
    texts_.Set(WindowTexts::Field::Website, saved.website);
    if (!saved.device.empty()) {
        texts_.Set(WindowTexts::Field::Device, saved.device);
    }
    if (!saved.region.empty()) {
        texts_.Set(WindowTexts::Field::Region, saved.region);
    }
    if (const std::string shared = services_.store->SharedUserFolder(); !shared.empty()) {
        // Nothing planted there is taken, and nothing of the user's is left there.
        texts_.Set(
            WindowTexts::Field::Status,
            u"设置文件夹可被其他用户改写，未使用，设置只在本次打开时有效：" + DecodeUtf8(shared));
    }
}

void WindowRun::SetSettings(RunSettings settings) {
    // Settings that leave the schedule as it was leave its next run where it was.
    const bool sameSchedule = settings.scheduleMinutes == settings_.scheduleMinutes &&
                              settings.scheduleBetween == settings_.scheduleBetween &&
                              settings.scheduleDays == settings_.scheduleDays;
    settings_ = std::move(settings);
    texts_.SetChoices(WindowTexts::Field::Region, RegionChoices(settings_.regions));
    if (!sameSchedule) {
        FollowSchedule();
    }
    if (!Remember()) {
        // They hold for this launch all the same; the user should know they will not return.
        texts_.Set(WindowTexts::Field::Status, u"设置只在本次打开时有效：无法保存到" +
                                                   DecodeUtf8(services_.store->userFolder()));
    }
}

bool WindowRun::Remember() const {
    if (services_.store == nullptr) {
        return true;
    }
    return services_.store->Save({.keywords = texts_.Get(WindowTexts::Field::KeywordList),
                                  .website = texts_.Get(WindowTexts::Field::Website),
                                  .device = texts_.Get(WindowTexts::Field::Device),
                                  .region = texts_.Get(WindowTexts::Field::Region),
                                  .run = settings_});
}

WindowRun::~WindowRun() {
    schedule_->Stop();
    *alive_ = false;  // a posted end of run or report may still come; it finds this gone
    // A test message under way ends at once, and is not waited for beside a run.
    testStop_.request_stop();
    if (testWorker_.joinable()) {
        testWorker_.join();
    }
    if (reportWorker_.joinable()) {
        reportWorker_.join();
    }
    if (exportWorker_.joinable()) {
        exportWorker_.join();
    }
    if (worker_.joinable()) {
        // The program is ending another way than by closing the window: stop the run and wait
        // until it has closed the results file. The worker never waits for the window.
        stop_.request_stop();
        worker_.join();
    }
}

void WindowRun::StartOrStop() {
    switch (state_) {
        case State::Idle:
            Start();
            return;
        case State::Running:
            state_ = State::Stopping;
            break;
        case State::Stopping:
        case State::ClosingAfterRun:
            break;
    }
    stop_.request_stop();  // the run ends after the keyword under way, keeping its lines
}

RunOptions WindowRun::OptionsOfRun() const {
    RunOptions options;
    options.resultsPath = services_.resultsPath;
    options.mobileResultsPath = services_.mobileResultsPath;
    options.device = ChosenDevice(texts_.Get(WindowTexts::Field::Device));
    options.homePageUrl = services_.homePageUrl;
    options.searchUrlPrefix = services_.searchUrlPrefix;
    options.mobileSearchUrlPrefix = services_.mobileSearchUrlPrefix;
    options.lookAhead = settings_.pagesAtOnce;
    options.delay = ParsePacing(EncodeUtf8(settings_.delay)).value_or(Pacing{});
    options.verifyRounds = settings_.verifyRounds;
    options.verifyPause = services_.verifyPause;
    options.stop = stop_.get_token();
    return options;
}

// Each region through its own proxies, with the user's cookie and a history of its own.
std::vector<RunRegion> WindowRun::Connect(const std::vector<Region>& regions) {
    std::vector<RunRegion> places;
    for (const Region& region : regions) {
        fetchers_.push_back(services_.makeFetcher(EncodeUtf8(settings_.cookie), region.pool));
        histories_.push_back(services_.makeHistory ? services_.makeHistory() : nullptr);
        places.push_back(
            {region.name, fetchers_.back().get(), histories_.back().get(), !region.direct()});
    }
    return places;
}

// Why the window's texts give no run, as the status says it; empty when they give one.
std::u16string WindowRun::RefusedStart() const {
    if (std::u16string refusal = RefusedSiteText(texts_.Get(WindowTexts::Field::Website));
        !refusal.empty()) {
        return refusal;
    }
    const std::u16string list = texts_.Get(WindowTexts::Field::KeywordList);
    bool keyword = false;
    std::u16string_view entry;
    for (KeywordEntries entries(list); !keyword && entries.Next(entry);) {
        keyword = !KeywordOf(entry).empty();
    }
    if (!keyword) {
        return u"请先填写竞价关键词";
    }
    const std::string cookie = EncodeUtf8(settings_.cookie);
    if (!cookie.empty() && services_.cookieError) {
        if (const std::string error = services_.cookieError(cookie); !error.empty()) {
            // Never a run without the session the user asked for; the reason never quotes it.
            return u"设置里的Cookie无法读取（" + DecodeUtf8(error) + u"），请在设置里改正";
        }
    }
    return {};
}

void WindowRun::Start() {
    Remember();
    if (const std::u16string refusal = RefusedStart(); !refusal.empty()) {
        texts_.Set(WindowTexts::Field::Status, refusal);
        refusalShown_ = true;
        return;
    }
    auto regions = ChosenRegions(settings_.regions, texts_.Get(WindowTexts::Field::Region));
    if (!regions) {
        texts_.Set(WindowTexts::Field::Status, regions.error());
        refusalShown_ = true;
        return;
    }
    if (refusalShown_) {
        // The refusal no longer holds: the status says what it said before it.
        texts_.Set(WindowTexts::Field::Status,
                   std::u16string(
                       form::Find(WindowTexts::ControlOf(WindowTexts::Field::Status))->caption));
        refusalShown_ = false;
    }
    state_ = State::Running;
    events_.runningChanged(true);
    stop_ = std::stop_source();

    try {
        fields_ = std::make_unique<Fields>(texts_, thread_, alive_);
        worker_ = std::jthread([this, options = OptionsOfRun(), places = Connect(*regions),
                                channels = settings_.channels, rule = settings_.alertRule] {
            try {
                const RegionsSummary summary = RunRegionsCheck(*fields_, places, options);
                TellChannels(summary, channels, rule, options.stop);
            } catch (...) {
                // The run reports its own failures; this is one in reporting it. The window
                // must still learn that the run is over.
                Report(std::current_exception(), /*onWindowThread=*/false);
            }
            EndLater(/*onWindowThread=*/false);
        });
    } catch (...) {
        // No thread to run on, or no page fetch: the run never began. It ends the way every
        // run does, once the click has been handled.
        Report(std::current_exception(), /*onWindowThread=*/true);
        EndLater(/*onWindowThread=*/true);
    }
}

void WindowRun::EndLater(bool onWindowThread) {
    try {
        // Runs on the window's thread, as the destructor does, so `alive` needs no lock.
        thread_.Post([this, alive = alive_] {
            if (*alive) {
                Ended();
            }
        });
    } catch (...) {
        // Memory ran out even for that: end now where that is allowed.
        if (onWindowThread) {
            Ended();
        }
    }
}

void WindowRun::Report(const std::exception_ptr& failure, bool onWindowThread) {
    try {
        const std::u16string status = u"运行中止（" + DescribeFailure(failure) + u"）";
        if (onWindowThread || fields_ == nullptr) {
            texts_.Set(WindowTexts::Field::Status, status);
        } else {
            fields_->Show(WindowTexts::Field::Status, status);
        }
    } catch (...) {
        // Nothing more can be shown; the run still ends.
    }
}

void WindowRun::Ended() {
    if (worker_.joinable()) {
        worker_.join();
    }
    fetchers_.clear();  // the run's connections and cookies go with it
    histories_.clear();
    fields_.reset();
    const bool close = state_ == State::ClosingAfterRun;
    state_ = State::Idle;
    ShowNextRun();
    events_.runningChanged(false);
    events_.finished();
    if (close) {
        events_.close();
    }
}

bool WindowRun::CloseRequested() {
    Remember();
    if (state_ == State::Idle) {
        return true;
    }
    // Stop first and close once the run has written its last line and closed the file; the
    // window's thread goes on serving the run meanwhile.
    state_ = State::ClosingAfterRun;
    stop_.request_stop();
    return false;
}

void WindowRun::TellChannels(const RegionsSummary& summary, const std::u16string& channels,
                             const std::u16string& rule, const std::stop_token& stop) {
    // A run that finished is told; one stopped, or ended before it checked, is not.
    if (channels.empty() || !services_.tellChannels || summary.total.end != RunEnd::Completed) {
        return;
    }
    std::vector<long long> runs;
    for (const auto& history : histories_) {
        if (history != nullptr && history->RunId() != 0) {
            runs.push_back(history->RunId());
        }
    }
    if (!services_.tellChannels(channels, rule, EncodeUtf8(fields_->Website()), runs, stop)) {
        fields_->Show(WindowTexts::Field::Status, fields_->status() + u"（通知未发送）");
    }
}

void WindowRun::FollowSchedule() {
    nextRun_.reset();
    const std::optional<int> minutes =
        WholeNumber(EncodeUtf8(settings_.scheduleMinutes),
                    static_cast<int>(kShortestWindowInterval.count()), 7 * 24 * 60);
    if (!minutes) {
        schedule_->Stop();
        ShowNextRun();
        return;
    }
    Schedule schedule;
    schedule.every = std::chrono::minutes(*minutes);
    schedule.between = ParseTimeWindow(EncodeUtf8(settings_.scheduleBetween));
    if (!settings_.scheduleDays.empty()) {
        schedule.days = ParseWeekdays(EncodeUtf8(settings_.scheduleDays)).value_or(schedule.days);
    }
    schedule_->Follow(schedule);
}

void WindowRun::ShowNextRun() {
    if (state_ != State::Idle) {
        return;
    }
    std::u16string status = texts_.Get(WindowTexts::Field::Status);
    if (const std::size_t note = status.find(kNextRunNote); note != std::u16string::npos) {
        status.erase(note);
    }
    if (nextRun_) {
        status += std::u16string(kNextRunNote) + schedule_->Shown(*nextRun_);
    }
    texts_.Set(WindowTexts::Field::Status, status);
}

void WindowRun::OpenHomePage() const {
    // The address goes to the desktop as an address, never through a command line; if nothing
    // opens it, the window stays as it is.
    if (services_.openUrl) {
        services_.openUrl(services_.homePageUrl);
    }
}

}  // namespace slotscope
