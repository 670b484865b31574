// A window's runs where the settings are kept in a POSIX folder: one others can change is not
// used, and the window says so.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/text_codec.h"
#include "tests/support/fake_window.h"
#include "ui/window_run.h"
#include "ui/window_settings.h"

namespace slotscope {
namespace {

using testing::WindowRunTest;

class WindowRunPosixTest : public WindowRunTest {};

TEST_F(WindowRunPosixTest, ASettingsFolderOthersCanChangeIsNotReadAndTheStatusSaysSo) {
    const std::string program = dir_.file("program");
    const std::string user = dir_.file("user");
    std::filesystem::create_directories(program);
    WindowSettings saved;
    saved.website = u"shop.example.cn";
    saved.run.cookie = u"BDUSS=login";
    ASSERT_TRUE(SettingsStore(program, user).Save(saved));
    std::filesystem::permissions(user, std::filesystem::perms::all);

    auto services = Services();
    services.store = std::make_shared<SettingsStore>(program, user);
    auto run = MakeRun(u"", std::move(services));
    const std::u16string status = window_.Get(Field::Status);
    EXPECT_TRUE(status.starts_with(u"设置文件夹可被其他用户改写，未使用，设置只在本次打开时有效："))
        << EncodeUtf8(status);
    EXPECT_TRUE(status.ends_with(DecodeUtf8(user))) << EncodeUtf8(status);
    // What the settings dialog would show: no cookie from that folder.
    EXPECT_TRUE(run->settings().cookie.empty());
}

}  // namespace
}  // namespace slotscope
