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

#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

namespace slotscope {
namespace {

// Lets everyone change the folder, as a folder made in C:\ does for every signed-in user.
bool OpenToEveryone(const std::string& folder) {
    const std::wstring path(folder.begin(), folder.end());  // ASCII: the temporary folder
    PACL old = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &old, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t everyone[] = L"EVERYONE";
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.ptstrName = everyone;
    PACL opened = nullptr;
    const bool set = SetEntriesInAclW(1, &access, old, &opened) == ERROR_SUCCESS &&
                     SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                           DACL_SECURITY_INFORMATION, nullptr, nullptr, opened,
                                           nullptr) == ERROR_SUCCESS;
    LocalFree(opened);
    LocalFree(descriptor);
    return set;
}

TEST(SettingsFolderTest, AFolderEveryoneMayChangeIsNotTheUsersAlone) {
    testing::TempDir dir;
    const std::string folder = dir.file("Slotscope");
    ASSERT_TRUE(MakePrivateFolder(folder));
    EXPECT_TRUE(OnlyOwnerCanChange(folder));
    ASSERT_TRUE(OpenToEveryone(folder));
    EXPECT_FALSE(OnlyOwnerCanChange(folder));
    EXPECT_FALSE(OnlyOwnerCanChange(dir.file("not there")));
}

}  // namespace
}  // namespace slotscope
