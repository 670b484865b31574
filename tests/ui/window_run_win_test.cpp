// A window's runs on Windows, where a program holding the results file open keeps others from
// writing it.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/text_codec.h"
#include "tests/support/fake_window.h"
#include "tests/support/temp_dir.h"
#include "ui/window_run.h"

namespace slotscope {
namespace {

using testing::WindowRunTest;

class WindowRunWinTest : public WindowRunTest {};

TEST_F(WindowRunWinTest, AResultsFileOpenInExcelIsNamedAndKept) {
    const std::string path = ResultsPath();
    testing::WriteFileBytes(path, "earlier results\r\n");
    const std::u16string widePath = DecodeUtf8(path);
    // As Excel holds a workbook it has open: others may read it, nobody may write it.
    HANDLE excel = CreateFileW(reinterpret_cast<const wchar_t*>(widePath.c_str()),
                               GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(excel, INVALID_HANDLE_VALUE);
    auto run = MakeRun(u"k1");
    const bool finished = RunToEnd(*run);
    CloseHandle(excel);

    ASSERT_TRUE(finished);
    EXPECT_EQ(window_.Get(Field::Status), u"baidu.csv 正被其他程序（如 Excel）打开，请关闭后重试");
    EXPECT_EQ(engine_->searches, 0);
    EXPECT_EQ(testing::ReadFileBytes(path), "earlier results\r\n");
}

}  // namespace
}  // namespace slotscope
