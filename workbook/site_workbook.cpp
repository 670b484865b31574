#include "workbook/site_workbook.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/file_open.h"
#include "base/side_file.h"
#include "history/history_export.h"
#include "history/history_read.h"
#include "history/history_report.h"
#include "history/local_time.h"
#include "history/site_history.h"
#include "page/own_site.h"
#include "workbook/scratch_folder.h"
#include "workbook/xlsx_book.h"

namespace slotscope {
namespace {

// The page a run is counted under, as the report's parts: the phone's for a phone run, else the
// desktop's.
std::string_view MainPage(const StoredRun& run) {
    return run.device == "mobile" ? "mobile" : "pc";
}

bool Checks(const StoredRun& run, std::string_view page) {
    return run.device == page || run.device == "both";
}

std::string RegionWord(const StoredRun& run) {
    return run.region.empty() ? "本机" : run.region;
}

// The last `most` runs from each region on each main page, oldest first.
std::vector<StoredRun> Covered(const std::vector<StoredRun>& runs, int most) {
    std::map<std::pair<std::string, std::string_view>, int> kept;
    std::vector<StoredRun> covered;
    for (std::size_t at = runs.size(); at-- > 0;) {
        const StoredRun& run = runs[at];
        if (++kept[{run.region, MainPage(run)}] <= most) {
            covered.push_back(run);
        }
    }
    std::reverse(covered.begin(), covered.end());
    return covered;
}

// A run and one page of it.
struct RunPage {
    const StoredRun* run;
    std::string page;
};

// The latest check of each page from each region: the machine's own connection first, then the
// regions by name, the desktop before the phone.
std::vector<RunPage> LatestChecks(const std::vector<StoredRun>& runs) {
    std::map<std::tuple<bool, std::string, bool>, RunPage> latest;
    for (const StoredRun& run : runs) {
        for (const char* page : {"pc", "mobile"}) {
            if (Checks(run, page)) {
                latest.insert_or_assign({!run.region.empty(), run.region, page[0] == 'm'},
                                        RunPage{&run, page});
            }
        }
    }
    std::vector<RunPage> checks;
    checks.reserve(latest.size());
    for (auto& [key, check] : latest) {
        checks.push_back(std::move(check));
    }
    return checks;
}

// "2026-12-08 10:11:19" as its parts; none for any other text.
std::optional<WallTime> ReadWallTime(std::string_view text) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    WallTime time;
    const std::array<std::pair<std::size_t, int*>, 6> parts = {{{0, &time.year},
                                                                {5, &time.month},
                                                                {8, &time.day},
                                                                {11, &time.hour},
                                                                {14, &time.minute},
                                                                {17, &time.second}}};
    for (const auto& [at, part] : parts) {
        const std::size_t length = at == 0 ? 4 : 2;
        const char* first = text.data() + at;
        const auto [end, error] = std::from_chars(first, first + length, *part);
        if (error != std::errc() || end != first + length) {
            return std::nullopt;
        }
    }
    return time;
}

// A side's change as the sheets show it: an arrow and the slots moved, or the CSV's word.
std::pair<std::string, Look> ChangeCell(const StoredChange& change) {
    const bool up = change.kind == "up";
    if ((up || change.kind == "down") && change.by) {
        return {(up ? "↑" : "↓") + std::to_string(*change.by), up ? Look::Better : Look::Worse};
    }
    const Look look = change.kind == "gained" || up                    ? Look::Better
                      : change.kind == "lost" || change.kind == "down" ? Look::Worse
                                                                       : Look::Plain;
    return {ChangeWord(change), look};
}

// The sites shown in a side's slots, in slot order.
std::string SitesCell(const StoredSide& side) {
    std::string joined;
    for (const std::string& site : side.sites.value_or(std::vector<std::string>{})) {
        joined += (joined.empty() ? "" : "; ") + (site.empty() ? "（未显示网址）" : site);
    }
    return joined;
}

// The sheets' columns, each by its header; the order of each sheet's cells.
enum LatestColumn {
    kLatestKeyword,
    kLatestPage,
    kLatestRegion,
    kLatestTime,
    kLatestLeft,
    kLatestLeftChange,
    kLatestLeftSlot,
    kLatestLeftSites,
    kLatestRight,
    kLatestRightChange,
    kLatestRightSlot,
    kLatestRightSites,
    kLatestFailure,
};
const std::vector<std::string> kLatestHeaders = {
    "关键词",   "页面",      "地域",     "查询时间", "左侧/上方", "左侧变化", "左侧位次",
    "左侧网站", "右侧/下方", "右侧变化", "右侧位次", "右侧网站",  "查询失败"};

enum HistoryColumn {
    kRun,
    kStarted,
    kPage,
    kRegion,
    kKeyword,
    kLeft,
    kRight,
    kLeftSlot,
    kRightSlot,
    kLeftChange,
    kRightChange,
    kFailure,
    kFailureReason,
};
const std::vector<std::string> kHistoryHeaders = {
    "运行编号", "开始时间", "页面",     "地域",     "关键词",   "左侧/上方", "右侧/下方",
    "左侧位次", "右侧位次", "左侧变化", "右侧变化", "查询失败", "失败原因"};

enum CompetitorColumn { kSite, kLatestKeywords, kAllKeywords, kBestSlot, kAdTitle };
const std::vector<std::string> kCompetitorHeaders = {"网站", "最新上榜词数", "全部上榜词数",
                                                     "最好位次", "最新广告标题"};

// Writes a time as a date cell, or as the text it is where it is no time.
void TimeCell(XlsxSheet& sheet, int column, const std::string& shown) {
    if (const std::optional<WallTime> time = ReadWallTime(shown)) {
        sheet.Time(column, *time);
    } else {
        sheet.Text(column, shown);
    }
}

void SlotCell(XlsxSheet& sheet, int column, const std::optional<int>& slot) {
    if (slot) {
        sheet.Number(column, *slot);
    }
}

void ChangeOf(XlsxSheet& sheet, int column, const StoredChange& change) {
    const auto [text, look] = ChangeCell(change);
    sheet.Text(column, text, look);
}

// The other sites seen in the slots: on how many keywords each held one in the latest checks
// and in every run covered, and its best slot (the left, or top, side before the right, then
// the higher slot).
class Competitors final {
  public:
    explicit Competitors(std::string own) : own_(std::move(own)) {}

    void Count(const StoredResult& result, bool latest) {
        const int keyword =
            keywords_.try_emplace(result.keyword, static_cast<int>(keywords_.size())).first->second;
        const bool phone = result.page == "mobile";
        CountSide(result.left, phone ? "上" : "左", 0, keyword, latest);
        CountSide(result.right, phone ? "下" : "右", 1, keyword, latest);
    }

    // The sites, most keywords in the latest checks first.
    void Write(XlsxSheet& sheet) const {
        std::vector<const std::pair<const std::string, Tally>*> order;
        for (const auto& entry : sites_) {
            order.push_back(&entry);
        }
        std::stable_sort(order.begin(), order.end(), [](const auto* a, const auto* b) {
            return std::pair(a->second.latest.size(), a->second.all.size()) >
                   std::pair(b->second.latest.size(), b->second.all.size());
        });
        for (const auto* entry : order) {
            if (sheet.full()) {
                return;
            }
            const auto& [site, tally] = *entry;
            sheet.Text(kSite, site);
            sheet.Number(kLatestKeywords, static_cast<double>(tally.latest.size()));
            sheet.Number(kAllKeywords, static_cast<double>(tally.all.size()));
            sheet.Text(kBestSlot, tally.bestLabel);
            sheet.Text(kAdTitle, tally.title);
            sheet.EndRow();
        }
    }

  private:
    // A side's sites and their listings' titles: `name` the side's in its labels, `order` its
    // place in ranking the slots.
    void CountSide(const StoredSide& side, const char* name, int order, int keyword, bool latest) {
        if (!side.sites) {
            return;
        }
        for (std::size_t slot = 0; slot < side.sites->size(); ++slot) {
            const std::string& site = (*side.sites)[slot];
            if (site.empty() || HoldsSite(site, own_)) {
                continue;
            }
            Tally& tally = sites_[site];
            tally.all.insert(keyword);
            if (latest) {
                tally.latest.insert(keyword);
            }
            const std::pair<int, int> rank = {order, static_cast<int>(slot) + 1};
            if (!tally.best || rank < *tally.best) {
                tally.best = rank;
                tally.bestLabel = name + std::to_string(rank.second);
            }
        }
        // The runs come latest first: a site's first title is its latest.
        for (const StoredAd& ad : side.ads.value_or(std::vector<StoredAd>{})) {
            const auto tally = sites_.find(ad.site);
            if (tally != sites_.end() && tally->second.title.empty()) {
                tally->second.title = ad.title;
            }
        }
    }

    struct Tally {
        std::unordered_set<int> latest;
        std::unordered_set<int> all;
        std::optional<std::pair<int, int>> best;  // side (0 left or top) and slot
        std::string bestLabel;
        std::string title;  // of its latest paid listing that had one
    };
    std::string own_;
    std::unordered_map<std::string, int> keywords_;  // each keyword counted by its number
    std::map<std::string, Tally> sites_;
};

// Reads the history into the three sheets; false when it could not be read.
class Sheets final {
  public:
    Sheets(XlsxBook& book, const std::string& site, const WorkbookOptions& options)
        : latest_(book.AddSheet("最新", kLatestHeaders)),
          history_(book.AddSheet("历史", kHistoryHeaders)),
          competitors_(book.AddSheet("竞争对手", kCompetitorHeaders)),
          options_(options),
          competitorsOf_(SiteKey(site)) {}

    bool Write(HistoryReader& reader, const std::vector<StoredRun>& runs) {
        const std::vector<RunPage> latest = LatestChecks(runs);
        std::unordered_set<std::string> latestKeys;
        for (const RunPage& check : latest) {
            latestKeys.insert(std::to_string(check.run->id) + check.page);
            const std::string when = LocalTime(check.run->started);
            const bool read = reader.ResultsOfRun(check.run->id, [&](const StoredResult& result) {
                if (result.page == check.page) {
                    LatestRow(result, *check.run, when);
                }
                return true;
            });
            if (!read) {
                return false;
            }
        }
        for (std::size_t at = runs.size(); at-- > 0;) {
            const StoredRun& run = runs[at];
            const std::string when = LocalTime(run.started);
            const bool read = reader.ResultsOfRun(run.id, [&](const StoredResult& result) {
                competitorsOf_.Count(result,
                                     latestKeys.contains(std::to_string(run.id) + result.page));
                HistoryRow(result, run, when);
                return true;
            });
            if (!read) {
                return false;
            }
        }
        competitorsOf_.Write(competitors_);
        return true;
    }

    long long rowsLeftOut() const { return leftOut_; }

  private:
    std::string LocalTime(const std::string& utc) const {
        return options_.localTime ? options_.localTime(utc)
                                  : LocalTimeText(utc, TimeShown::Seconds);
    }

    void LatestRow(const StoredResult& result, const StoredRun& run, const std::string& when) {
        if (latest_.full()) {
            ++leftOut_;
            return;
        }
        latest_.Text(kLatestKeyword, result.keyword);
        latest_.Text(kLatestPage, DeviceWord(result.page));
        latest_.Text(kLatestRegion, RegionWord(run));
        TimeCell(latest_, kLatestTime, when);
        latest_.Text(kLatestLeft, result.left.label);
        ChangeOf(latest_, kLatestLeftChange, result.left.change);
        SlotCell(latest_, kLatestLeftSlot, result.left.slot);
        latest_.Text(kLatestLeftSites, SitesCell(result.left));
        latest_.Text(kLatestRight, result.right.label);
        ChangeOf(latest_, kLatestRightChange, result.right.change);
        SlotCell(latest_, kLatestRightSlot, result.right.slot);
        latest_.Text(kLatestRightSites, SitesCell(result.right));
        latest_.Text(kLatestFailure, FailureWord(result.failed));
        latest_.EndRow();
    }

    void HistoryRow(const StoredResult& result, const StoredRun& run, const std::string& when) {
        if (history_.full()) {
            ++leftOut_;
            return;
        }
        history_.Number(kRun, static_cast<double>(run.id));
        TimeCell(history_, kStarted, when);
        history_.Text(kPage, DeviceWord(result.page));
        history_.Text(kRegion, RegionWord(run));
        history_.Text(kKeyword, result.keyword);
        history_.Text(kLeft, result.left.label);
        history_.Text(kRight, result.right.label);
        SlotCell(history_, kLeftSlot, result.left.slot);
        SlotCell(history_, kRightSlot, result.right.slot);
        ChangeOf(history_, kLeftChange, result.left.change);
        ChangeOf(history_, kRightChange, result.right.change);
        history_.Text(kFailure, FailureWord(result.failed));
        history_.Text(kFailureReason, result.failureReason.value_or(""));
        history_.EndRow();
    }

    XlsxSheet& latest_;
    XlsxSheet& history_;
    XlsxSheet& competitors_;
    const WorkbookOptions& options_;
    Competitors competitorsOf_;
    long long leftOut_ = 0;
};

// Copies the file at `from` into `file`; false when not all of it could be.
bool CopyInto(const std::string& from, SideFile& file) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(OpenRegularFile(from), &std::fclose);
    if (!in) {
        return false;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (got > 0 && !file.Write({buffer.data(), got})) {
            return false;
        }
        if (got < buffer.size()) {
            return std::ferror(in.get()) == 0;
        }
    }
}

}  // namespace

std::string WorkbookPathBeside(const std::string& utf8HistoryPath, const std::string& site) {
    return FileBeside(utf8HistoryPath, "slotscope-" + SiteKey(site) + ".xlsx");
}

SiteWorkbook WriteSiteWorkbook(const std::string& utf8HistoryPath, const std::string& site,
                               int lastRuns, std::string utf8OutputPath,
                               const WorkbookOptions& options) {
    SiteWorkbook workbook;
    workbook.path = utf8OutputPath.empty() ? WorkbookPathBeside(utf8HistoryPath, site)
                                           : std::move(utf8OutputPath);
    const auto opened = OpenSiteHistory(utf8HistoryPath, site, workbook.path, "workbook");
    if (!opened) {
        workbook.outcome =
            opened.error().none ? SiteWorkbook::Outcome::NoHistory : SiteWorkbook::Outcome::Failed;
        workbook.problem = opened.error().problem;
        return workbook;
    }
    const int most = lastRuns > 0 ? std::min(lastRuns, kReportRuns) : kReportRuns;
    // libxlsxwriter writes to a file it names itself: to one in a folder of this user's alone,
    // copied from there into a new file beside the old workbook, which stays whole until then.
    const ScratchFolder scratch;
    if (scratch.path().empty()) {
        workbook.problem = "no folder for the workbook's temporary files";
        return workbook;
    }
    const std::string built = scratch.file("workbook.xlsx");
    XlsxBook book(built, scratch.path());
    if (!book.opened()) {
        workbook.problem = "the workbook could not be begun in " + scratch.path();
        return workbook;
    }
    Sheets sheets(book, site, options);
    HistoryReader& history = *opened->reader;
    if (!sheets.Write(history, Covered(opened->runs, most))) {
        workbook.problem = "history file " + utf8HistoryPath + ": " + history.problem();
        return workbook;
    }
    SideFile file(workbook.path, ".partial", SideFile::Access::AsTarget);
    if (!book.Close() || !file.created() || !CopyInto(built, file) || !file.Commit()) {
        workbook.problem = "the workbook could not be written to " + workbook.path;
        return workbook;
    }
    workbook.rowsLeftOut = sheets.rowsLeftOut();
    workbook.outcome = SiteWorkbook::Outcome::Written;
    return workbook;
}

}  // namespace slotscope
