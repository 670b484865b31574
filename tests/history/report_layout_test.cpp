// The report as a reader's browser lays it out: a month of runs over hundreds of keywords, one
// of them 60 characters long, fits a laptop's and a desktop's screen.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "history/history_report.h"
#include "tests/support/browser.h"
#include "tests/support/bulk_history.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

// Measures the loaded report, every folded part opened, and writes what does not fit into
// <pre id='verdict'>: "fits" when everything does.
constexpr const char* kMeasure = R"js(<script>
const faults = [];
for (const d of document.querySelectorAll('details')) d.open = true;
const view = document.documentElement.clientWidth;
if (document.documentElement.scrollWidth > view)
  faults.push('the page scrolls sideways: ' + document.documentElement.scrollWidth + ' > ' + view);
for (const cell of document.querySelectorAll('td, th, .name, h1, h2, p, li, summary')) {
  if (cell.scrollWidth > cell.clientWidth + 1)
    faults.push('cut: ' + cell.textContent.slice(0, 40));
  if (cell.getBoundingClientRect().right > view + 1 && !cell.closest('.scroll'))
    faults.push('off the screen: ' + cell.textContent.slice(0, 40));
}
for (const svg of document.querySelectorAll('.charts svg'))
  if (svg.getBoundingClientRect().right > view) faults.push('a chart is off the screen');
for (const box of document.querySelectorAll('.scroll')) {
  const table = box.querySelector('table.runs');
  if (!table) continue;
  const newest = table.querySelector('th.run');
  if (newest.getBoundingClientRect().right > view)
    faults.push('the newest run is off the screen');
  const name = table.querySelector('td.kw');
  const left = box.getBoundingClientRect().left;
  box.scrollLeft = box.scrollWidth;
  if (box.scrollLeft === 0) continue;
  if (Math.abs(name.getBoundingClientRect().left - left) > 1)
    faults.push('the keywords scroll away with the runs');
}
const verdict = document.createElement('pre');
verdict.id = 'verdict';
verdict.textContent = faults.length ? faults.slice(0, 20).join('\n') : 'fits';
document.body.appendChild(verdict);
</script>)js";

std::string Verdict(const std::string& dom) {
    const std::string open = "<pre id=\"verdict\">";
    const std::size_t begin = dom.find(open);
    if (begin == std::string::npos) {
        return "no verdict";
    }
    return dom.substr(begin + open.size(), dom.find("</pre>", begin) - begin - open.size());
}

TEST(ReportLayoutTest, AMonthOfRunsOverHundredsOfKeywordsFitsTheScreen) {
    if (testing::Chromium().empty()) {
        GTEST_SKIP() << "chromium is not installed (scripts/install-deps installs it)";
    }
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    ASSERT_EQ(testing::BulkHistory(path, 300, kReportRuns), "");
    // A long keyword of Chinese, and one of letters without a space to break at; both move.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    std::string chinese;
    for (int i = 0; i < 6; ++i) {
        chinese += "北京鲜花速递同城配送";
    }
    const std::string sql = "UPDATE results SET keyword = '" + chinese +
                            "' WHERE keyword = '鲜花速递99';"
                            "UPDATE results SET keyword = '" +
                            std::string(60, 'w') + "' WHERE keyword = '鲜花速递98';";
    // The latest run's listings with long titles and texts, as competitors write them.
    std::string ad = R"({"site":"hua.com","title":")" + chinese + R"(","text":")";
    for (int i = 0; i < 20; ++i) {
        ad += "鲜花速递全城配送 ";
    }
    ad += R"("})";
    const std::string ads = "UPDATE results SET left_ads = '[" + ad + "," + ad + "," + ad +
                            "]' WHERE run = (SELECT max(id) FROM runs);";
    EXPECT_EQ(sqlite3_exec(db, (sql + ads).c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    const ReportOptions options;
    const std::string report = dir.file("report.html");
    ASSERT_EQ(WriteSiteReport(path, "shop.example.cn", 0, report, options).outcome,
              SiteReport::Outcome::Written);
    ASSERT_NE(testing::ReadFileBytes(report).find("<span class='ad' title='鲜花速递全城配送"),
              std::string::npos);
    const std::string measured = dir.file("measured.html");
    testing::WriteFileBytes(measured, testing::ReadFileBytes(report) + kMeasure);
    const struct {
        int width;
        int height;
    } screens[] = {{1366, 900}, {1920, 1080}};
    for (const auto& screen : screens) {
        std::string why;
        const std::string dom =
            testing::LoadedPage(measured, dir, screen.width, screen.height, why);
        EXPECT_EQ(Verdict(dom), "fits") << screen.width << "×" << screen.height << " " << why;
    }
}

}  // namespace
}  // namespace slotscope
