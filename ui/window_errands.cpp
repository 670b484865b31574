// What the window's links and buttons do beside the runs: the history's report opened in the
// browser, its Excel workbook opened by the spreadsheet, and a test message to the alert channels;
// each on a thread of its own, so that the window goes on meanwhile.

#include <exception>
#include <string>
#include <utility>

#include "base/text_codec.h"
#include "core/run_captions.h"
#include "page/own_site.h"
#include "ui/window_run.h"

namespace slotscope {

namespace {

// Opens a written file of the history, or says why there is none to open: empty when it was
// opened.
std::u16string ShowFile(const WindowServices::ReportFile& file, const std::u16string& site,
                        const std::function<bool(const std::string&)>& openFile,
                        std::u16string_view cannotWrite, std::u16string_view savedAs,
                        std::u16string_view cannotOpen) {
    switch (file.outcome) {
        case WindowServices::ReportFile::Outcome::NoHistory:
            return u"还没有" + site + u"的历史记录：每次运行后，结果都记在同目录下的slotscope.db里";
        case WindowServices::ReportFile::Outcome::Failed:
            return std::u16string(cannotWrite) + u"（" + DecodeUtf8(file.problem) + u"）";
        case WindowServices::ReportFile::Outcome::Written:
            break;
    }
    if (!openFile || !openFile(file.path)) {
        return std::u16string(savedAs) + DecodeUtf8(file.path) + std::u16string(cannotOpen);
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

// A file of the history the window writes and opens: how it is written, and what the window
// says where it cannot be written or opened.
struct WindowRun::Errand {
    const std::function<WindowServices::ReportFile(const std::string& site)>& write;
    // Texts of the program's own, which outlive any errand.
    std::u16string_view cannotWrite;
    std::u16string_view savedAs;  // before the file's path, where it was written but not opened
    std::u16string_view cannotOpen;
};

void WindowRun::OpenHistory(std::function<void(const std::u16string& message)> tell) {
    WriteAndOpen({services_.writeReport, u"无法生成历史记录报告", u"历史记录报告已保存为",
                  u"，但无法用浏览器打开"},
                 reporting_, reportWorker_, std::move(tell));
}

void WindowRun::ExportWorkbook(std::function<void(const std::u16string& message)> tell) {
    WriteAndOpen({services_.writeWorkbook, u"无法导出Excel", u"Excel文件已保存为", u"，但无法打开"},
                 exporting_, exportWorker_, std::move(tell));
}

void WindowRun::WriteAndOpen(const Errand& errand, bool& busy, std::jthread& worker,
                             std::function<void(const std::u16string& message)> tell) {
    if (busy) {
        return;
    }
    const std::u16string typed = texts_.Get(WindowTexts::Field::Website);
    const CheckedSite checked = SiteToCheck(typed);
    if (checked.problem != SiteProblem::None) {
        tell(RefusedSiteText(typed));
        return;
    }
    const std::u16string& site = checked.site;
    if (!errand.write) {
        tell(u"本程序不保存历史记录");
        return;
    }
    // A long history takes a while to read and write: the window goes on meanwhile.
    Aside(
        thread_, alive_, busy, worker,
        [site, write = errand.write] {
            WindowServices::ReportFile file;
            try {
                file = write(EncodeUtf8(site));
            } catch (const std::exception& error) {
                file.problem = error.what();
            }
            return file;
        },
        [site, tell = std::move(tell), open = services_.openFile, cannotWrite = errand.cannotWrite,
         savedAs = errand.savedAs,
         cannotOpen = errand.cannotOpen](const WindowServices::ReportFile& file) {
            const std::u16string message =
                ShowFile(file, site, open, cannotWrite, savedAs, cannotOpen);
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
