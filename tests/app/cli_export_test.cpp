// slotscope-cli export: the history as an Excel workbook, beside it unless --output says where.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/cli_fixture.h"
#include "tests/support/xlsx_cells.h"

namespace slotscope {
namespace {

TEST_F(CliTest, ExportWritesTheWorkbookBesideTheHistoryOrSaysWhyNot) {
    const struct {
        std::vector<std::string> arguments;
        int exitStatus;
        const char* said;
    } refused[] = {
        {{"export", "--site", "shop.example.cn"}, 1, "no history yet"},
        {{"export", "--site", "shop.example.cn", "--runs", "31"}, 2, "from 1 to 30"},
        {{"export", "--site", "shop.example.cn", "--format", "csv"}, 2, "unknown option"},
    };
    for (const auto& c : refused) {
        const Outcome outcome = Run(c.arguments);
        EXPECT_EQ(outcome.exitStatus, c.exitStatus) << c.said;
        EXPECT_NE(outcome.err.find(c.said), std::string::npos) << outcome.err;
    }

    Run(Against(Engine({{u"鲜花", {2, 0}}}), {}), "鲜花\n");
    Run(Against(Engine({{u"鲜花", {1, 0}}}), {}), "鲜花\n");
    const Outcome outcome = Run({"export", "--site", "www.shop.example.cn", "--runs", "1"});
    const std::string path = dir.file("slotscope-shop.example.cn.xlsx");
    ASSERT_EQ(outcome.exitStatus, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "slotscope-cli: workbook written to slotscope-shop.example.cn.xlsx\n");
    const std::optional<nlohmann::json> book = testing::ReadWorkbook(path);
    if (!book) {
        GTEST_SKIP() << testing::kNoOpenpyxl;
    }
    // --runs 1: the latest run alone.
    EXPECT_EQ((*book)["最新"]["rows"][1][5], "↑1");
    EXPECT_EQ((*book)["历史"]["rows"].size(), 2U);
}

}  // namespace
}  // namespace slotscope
