#include "core/run_files.h"

#include <gtest/gtest.h>

#include <string>

namespace slotscope {
namespace {

TEST(RegionResultsPath, IsTheRunsFileNamedWithTheRegion) {
    const struct {
        std::string_view path;
        std::u16string_view region;
        std::string_view expected;
    } cases[] = {
        {"baidu.csv", u"北京", "baidu_北京.csv"},
        {"baidu_mobile.csv", u"广州-天河", "baidu_mobile_广州-天河.csv"},
        {"out/2026.12/baidu.csv", u"sh", "out/2026.12/baidu_sh.csv"},
        {"C:\\结果.d\\baidu", u"sh", "C:\\结果.d\\baidu_sh"},
        {"results/baidu", u"sh", "results/baidu_sh"},
        {"baidu.tar.csv", u"sh", "baidu.tar_sh.csv"},
        {".csv", u"sh", ".csv_sh"},
        {"dir/.csv", u"sh", "dir/.csv_sh"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RegionResultsPath(c.path, c.region), c.expected) << c.path;
    }
}

}  // namespace
}  // namespace slotscope
