// Files that replace others in one step, on POSIX systems: with the permissions the target had,
// or the user's alone, whatever the umask; nothing left behind. (Links planted where they are
// written: tests/core/keyword_run_test.cpp, tests/ui/window_settings_posix_test.cpp.)

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/side_file.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

TEST(SideFileTest, TheReplacementHasTheTargetsPermissionsOrTheOwnersAlone) {
    testing::TempDir dir;
    const mode_t umask = ::umask(0);
    const std::string target = dir.file("target");
    const struct {
        const char* name;
        int before;  // the target's mode; -1: no target yet
        SideFile::Access access;
        unsigned after;
    } cases[] = {
        {"a results file readable by the group", 0640, SideFile::Access::AsTarget, 0640},
        {"a new report, as the umask has it", -1, SideFile::Access::AsTarget, 0666},
        {"a new settings file", -1, SideFile::Access::OwnerOnly, 0600},
        {"settings the user had opened to everyone", 0666, SideFile::Access::OwnerOnly, 0600},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(target);
        if (c.before >= 0) {
            testing::WriteFileBytes(target, "old");
            ::chmod(target.c_str(), static_cast<mode_t>(c.before));
        }
        EXPECT_TRUE(ReplaceFileContents(target, "new", c.access)) << c.name;
        struct stat status {};
        ::stat(target.c_str(), &status);
        EXPECT_EQ(status.st_mode & 07777, c.after) << c.name;
        EXPECT_EQ(testing::ReadFileBytes(target), "new") << c.name;
    }
    ::umask(umask);
    // One not put in place is gone, and the target as it was.
    {
        SideFile file(target, ".new", SideFile::Access::AsTarget);
        EXPECT_TRUE(file.Write("half"));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_EQ(testing::ReadFileBytes(target), "new");
    EXPECT_FALSE(
        ReplaceFileContents(dir.file("missing/target"), "new", SideFile::Access::AsTarget));
}

TEST(SideFileTest, NothingTakesThePlaceOfAFolderAPipeOrASocket) {
    testing::TempDir dir;
    const std::string folder = dir.file("folder");
    const std::string pipe = dir.file("pipe");
    const std::string socket = dir.file("socket");
    std::filesystem::create_directory(folder);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket.copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    for (const std::string& target : {folder, pipe, socket}) {
        EXPECT_FALSE(ReplaceFileContents(target, "report", SideFile::Access::AsTarget)) << target;
    }
    ::close(listener);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));
    EXPECT_TRUE(std::filesystem::is_socket(socket));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

}  // namespace
}  // namespace slotscope
