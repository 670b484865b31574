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
    reporting_ = true;
    if (reportWorker_.joinable()) {
        reportWorker_.join();  // the last report's worker, done already
    }
    reportWorker_ = std::jthread([this, site, tell = std::move(tell), alive = alive_,
                                  write = services_.writeReport, open = services_.openFile] {
        WindowServices::ReportFile report;
        try {
            report = write(EncodeUtf8(site));
        } catch (const std::exception& error) {
            report.problem = error.what();
        }
        thread_.Post([this, alive, report = std::move(report), site, tell, open] {
            if (!*alive) {
                return;
            }
            reporting_ = false;
            const std::u16string message = ShowReport(report, site, open);
            if (!message.empty()) {
                tell(message);
            }
        });
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
    testing_ = true;
    if (testWorker_.joinable()) {
        testWorker_.join();  // the last test's worker, done already
    }
    testWorker_ = std::jthread([this, channels, tell = std::move(tell), alive = alive_,
                                test = services_.testChannels, stop = testStop_.get_token()] {
        std::u16string said;
        try {
            said = test(channels, stop);
        } catch (const std::exception& error) {
            said = u"无法发送测试消息（" + DecodeUtf8(error.what()) + u"）";
        }
        thread_.Post([this, alive, said = std::move(said), tell] {
            if (!*alive) {
                return;
            }
            testing_ = false;
            tell(said);
        });
    });
}

}  // namespace slotscope
