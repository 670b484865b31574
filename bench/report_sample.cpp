// Writes a sample history (12 keywords × 10 runs, or as many as asked) and its report into a
// folder, for looking at the report in a browser: report_sample FOLDER [KEYWORDS RUNS].

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/history_sample.h"
#include "history/history_report.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fputs("usage: report_sample FOLDER [KEYWORDS RUNS]\n", stderr);
        return 2;
    }
    const std::string history = std::string(argv[1]) + "/slotscope.db";
    const int keywords = argc == 4 ? std::atoi(argv[2]) : 12;
    const int runs = argc == 4 ? std::atoi(argv[3]) : 10;
    const std::string problem = slotscope::bench::FillHistory(history, keywords, runs);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    const slotscope::SiteReport report =
        slotscope::WriteSiteReport(history, "shop.example.cn", 0, {}, {});
    std::fprintf(stderr, "%s\n",
                 report.outcome == slotscope::SiteReport::Outcome::Written
                     ? report.path.c_str()
                     : report.problem.c_str());
    return report.outcome == slotscope::SiteReport::Outcome::Written ? 0 : 1;
}
