// The cookie's keeping on Windows: encrypted for the user with DPAPI.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"
#include "ui/window_settings.h"

namespace slotscope {
namespace {

TEST(SecretFileTest, IsEncryptedForTheUser) {
    testing::TempDir dir;
    const std::string path = dir.file("cookie");
    ASSERT_TRUE(WriteSecretFile(path, "BDUSS=secret-login-token"));
    EXPECT_EQ(ReadSecretFile(path), "BDUSS=secret-login-token");
    const std::string onDisk = testing::ReadFileBytes(path);
    EXPECT_FALSE(onDisk.empty());
    EXPECT_EQ(onDisk.find("secret-login-token"), std::string::npos) << "kept in the clear";
    // What DPAPI did not seal for this user (a file copied in as text) reads as no cookie.
    testing::WriteFileBytes(path, "BDUSS=secret-login-token");
    EXPECT_FALSE(ReadSecretFile(path).has_value());
}

}  // namespace
}  // namespace slotscope
