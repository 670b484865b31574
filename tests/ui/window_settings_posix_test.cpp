// The cookie's keeping on POSIX systems: a file only its owner may read or write.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "ui/window_settings.h"

namespace slotscope {
namespace {

TEST(SecretFileTest, OnlyItsOwnerMayReadIt) {
    testing::TempDir dir;
    const std::string path = dir.file("cookie");
    // A file left with wider permissions (copied in by hand) is replaced by one that has none.
    testing::WriteFileBytes(path, "old");
    std::filesystem::permissions(path, std::filesystem::perms::all);
    ASSERT_TRUE(WriteSecretFile(path, "BDUSS=secret-login-token"));
    EXPECT_EQ(ReadSecretFile(path), "BDUSS=secret-login-token");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));
}

}  // namespace
}  // namespace slotscope
