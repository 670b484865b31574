// What the window's links and buttons do beside the runs: the history's report opened in the
// browser, and a test message to the alert channels; each on a thread of its own, so that the
// window goes on meanwhile.

#include <exception>
#include <string>
#include <utility>

#include "base/text_codec.h"
#include "core/run_captions.h"
#include "page/own_site.h"
#include "ui/window_run.h"

namespace slotscope {

namespace {

// Opens a written report, or says why there is none to open: empty when it was opened.
std::u16string ShowReport(const WindowServices::ReportFile& report, const std::u16string& site,
                          const std::function<bool(const std::string&)>& openFile) {
    switch (report.outcome) {
        case WindowServices::ReportFile::Outcome::NoHistory:
            return u"还没有" + site + u"的历史记录：每次运行后，结果都记在同目录下的slotscope.db里";
        case WindowServices::ReportFile::Outcome::Failed:
            return u"无法生成历史记录报告（" + DecodeUtf8(report.problem) + u"）";
        case WindowServices::ReportFile::Outcome::Written:
            break;
    }
    if (!openFile || !openFile(report.path)) {
        return u"历史记录报告已保存为" + DecodeUtf8(report.path) + u"，但无法用浏览器打开";
    }
    return {};
}

// Runs `work` on `worker`'s thread, `busy` meanwhile, then has `done` take what it gave on the
// window's thread, unless the window is gone by then.
template <typename Work, typename Done>
void Aside(WindowThread& thread, const std::shared_ptr<bool>& alive, bool& busy,
           std::jthread& worker, Work work, Done done) {
    busy = true;
    if (worker.joinable()) {
        worker.join();  // the last one's, done already
    }
    worker = std::jthread([&thread, &busy, alive, work = std::move(work), done = std::move(done)] {
        auto result = work();
        thread.Post([&busy, alive, result = std::move(result), done] {
            if (*alive) {
                busy = false;
                done(result);
            }
        });
    });
}

}  // namespace

void WindowRun::OpenHistory(std::function<void(const std::u16string& message)> tell) {
    if (reporting_) {
        return;
    }
    const std::u16string typed = texts_.Get(WindowTexts::Field::Website);
    const CheckedSite checked = SiteToCheck(typed);
    if (checked.problem != SiteProblem::None) {
        tell(RefusedSiteText(typed));
        return;
    }
    const std::u16string& site = checked.site;
    if (!services_.writeReport) {
        tell(u"本程序不保存历史记录");
        return;
    }
    // A long history takes a while to read and write: the window goes on meanwhile.
    Aside(
        thread_, alive_, reporting_, reportWorker_,
        [site, write = services_.writeReport] {
            WindowServices::ReportFile report;
            try {
                report = write(EncodeUtf8(site));
            } catch (const std::exception& error) {
                report.problem = error.what();
            }
            return report;
        },
        [site, tell = std::move(tell),
         open = services_.openFile](const WindowServices::ReportFile& report) {
            const std::u16string message = ShowReport(report, site, open);
            if (!message.empty()) {
                tell(message);
            }
        });
}

void WindowRun::TestChannels(const std::u16string& channels,
                             std::function<void(const std::u16string& message)> tell) {
    if (testing_) {
        return;
    }
    if (!services_.testChannels) {
        tell(u"本程序不发送通知");
        return;
    }
    Aside(
        thread_, alive_, testing_, testWorker_,
        [channels, test = services_.testChannels, stop = testStop_.get_token()] {
            try {
                return test(channels, stop);
            } catch (const std::exception& error) {
                return u"无法发送测试消息（" + DecodeUtf8(error.what()) + u"）";
            }
        },
        std::move(tell));
}

}  // namespace slotscope
