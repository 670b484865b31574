// The settings' keeping on POSIX systems: folders and files only the user may open, whatever the
// umask; nothing written through a planted link, nothing read from a folder others can change,
// and a planted pipe never waited for.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "tests/support/temp_dir.h"
#include "ui/window_settings.h"

namespace slotscope {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

unsigned ModeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

WindowSettings WithCookie() {
    WindowSettings settings;
    settings.website = u"shop.example.cn";
    settings.run.cookie = u"BDUSS=secret-login-token";
    return settings;
}

class SettingsFolderTest : public ::testing::Test {
  protected:
    testing::TempDir dir_;
    std::string program_ = dir_.file("program");
    std::string user_ = dir_.file("config/slotscope");
    std::string Ini(const std::string& folder) const { return folder + "/slotscope.ini"; }
    std::string Cookie() const { return user_ + "/cookie"; }
};

TEST(SecretFileTest, OnlyItsOwnerMayReadIt) {
    testing::TempDir dir;
    const std::string path = dir.file("cookie");
    // A file left with wider permissions (copied in by hand) is replaced by one that has none.
    WriteFileBytes(path, "old");
    std::filesystem::permissions(path, std::filesystem::perms::all);
    ASSERT_TRUE(WriteSecretFile(path, "BDUSS=secret-login-token"));
    EXPECT_EQ(ReadSecretFile(path), "BDUSS=secret-login-token");
    EXPECT_EQ(ModeOf(path), 0600U);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(SettingsFolderTest, FoldersAndFilesAreTheUsersAloneWhateverTheUmask) {
    const mode_t before = ::umask(0);
    const SettingsStore store(dir_.file("no such folder"), user_);
    const bool saved = store.Save(WithCookie());
    ::umask(before);
    ASSERT_TRUE(saved);
    EXPECT_EQ(ModeOf(dir_.file("config")), 0700U);
    EXPECT_EQ(ModeOf(user_), 0700U);
    EXPECT_EQ(ModeOf(Ini(user_)), 0600U);
    EXPECT_EQ(ModeOf(Cookie()), 0600U);
    EXPECT_EQ(store.Load(), WithCookie());
}

TEST_F(SettingsFolderTest, LinksPlantedWhereTheFilesAreWrittenAreNotFollowed) {
    std::filesystem::create_directories(program_);
    ASSERT_TRUE(MakePrivateFolder(user_));
    const std::string victim = dir_.file("victim");
    WriteFileBytes(victim, "precious");
    ::chmod(victim.c_str(), 0600);
    std::filesystem::create_symlink(victim, Ini(program_) + ".new");
    std::filesystem::create_symlink(victim, Cookie() + ".new");
    ASSERT_TRUE(SettingsStore(program_, user_).Save(WithCookie()));
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_EQ(ModeOf(victim), 0600U);
    EXPECT_EQ(SettingsStore(program_, user_).Load(), WithCookie());
}

TEST_F(SettingsFolderTest, APipePlantedAsTheCookieIsNeverWaitedFor) {
    ASSERT_TRUE(MakePrivateFolder(user_));
    ASSERT_EQ(::mkfifo(Cookie().c_str(), 0600), 0);
    auto loaded =
        std::async(std::launch::async, [&] { return SettingsStore(program_, user_).Load(); });
    if (loaded.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Lets the reader go before the test fails.
        const int writer = ::open(Cookie().c_str(), O_WRONLY);
        ::close(writer);
        FAIL() << "the window waited for a pipe";
    }
    EXPECT_TRUE(loaded.get().run.cookie.empty());
}

TEST_F(SettingsFolderTest, AFolderOthersCanChangeIsNeitherReadNorWritten) {
    ASSERT_TRUE(MakePrivateFolder(user_));
    ASSERT_TRUE(SettingsStore(dir_.file("no such folder"), user_).Save(WithCookie()));
    ::chmod(user_.c_str(), 0777);
    const SettingsStore store(dir_.file("no such folder"), user_);
    EXPECT_EQ(store.SharedUserFolder(), user_);
    EXPECT_EQ(store.Load(), WindowSettings{}) << "what another user may have planted";
    EXPECT_FALSE(store.Save(WithCookie()));
    EXPECT_EQ(ReadFileBytes(Cookie()), "BDUSS=secret-login-token") << "left as it was";

    // A file in it that others can change is not read either, and a program folder that
    // others can change sends the settings to the user's.
    ::chmod(user_.c_str(), 0700);
    ::chmod(Cookie().c_str(), 0666);
    std::filesystem::create_directories(program_);
    ::chmod(program_.c_str(), 0777);
    const SettingsStore portable(program_, user_);
    EXPECT_EQ(portable.SharedUserFolder(), "");
    EXPECT_TRUE(portable.Load().run.cookie.empty());
    ASSERT_TRUE(portable.Save(WithCookie()));
    EXPECT_FALSE(std::filesystem::exists(Ini(program_)));
    EXPECT_EQ(portable.Load(), WithCookie());
}

}  // namespace
}  // namespace slotscope
