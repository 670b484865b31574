// Files that replace others in one step, on POSIX systems: never through a planted link, with
// the permissions the target had, or the user's alone, whatever the umask.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/side_file.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

unsigned ModeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

// The names in a folder, sorted.
std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The umask for one test.
class Umask final {
  public:
    explicit Umask(mode_t mask) : before_(::umask(mask)) {}
    ~Umask() { ::umask(before_); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

  private:
    mode_t before_;
};

TEST(SideFileTest, TheReplacementHasTheTargetsPermissionsOrTheOwnersAlone) {
    testing::TempDir dir;
    const Umask open(0);
    const struct {
        const char* name;
        int before;  // the target's mode; -1: no target yet
        SideFile::Access access;
        unsigned after;
    } cases[] = {
        {"a results file readable by the group", 0640, SideFile::Access::AsTarget, 0640},
        {"one for its owner alone", 0600, SideFile::Access::AsTarget, 0600},
        {"a new report, as the umask has it", -1, SideFile::Access::AsTarget, 0666},
        {"a new settings file", -1, SideFile::Access::OwnerOnly, 0600},
        {"settings the user had opened to everyone", 0666, SideFile::Access::OwnerOnly, 0600},
    };
    for (const auto& c : cases) {
        const std::string target = dir.file("target");
        std::filesystem::remove(target);
        if (c.before >= 0) {
            WriteFileBytes(target, "old");
            ::chmod(target.c_str(), static_cast<mode_t>(c.before));
        }
        ASSERT_TRUE(ReplaceFileContents(target, "new", c.access)) << c.name;
        EXPECT_EQ(ReadFileBytes(target), "new") << c.name;
        EXPECT_EQ(ModeOf(target), c.after) << c.name;
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"target"}) << c.name;
    }
}

TEST(SideFileTest, ALinkPlantedAtTheOldNamesIsNeverFollowed) {
    testing::TempDir dir;
    const std::string victim = dir.file("victim");
    WriteFileBytes(victim, "precious");
    ::chmod(victim.c_str(), 0600);
    for (const char* planted : {"target.new", "target.partial"}) {
        std::filesystem::create_symlink(victim, dir.file(planted));
    }
    WriteFileBytes(dir.file("target"), "old");
    ASSERT_TRUE(ReplaceFileContents(dir.file("target"), "new", SideFile::Access::AsTarget));
    ASSERT_TRUE(
        ReplaceFileContents(dir.file("target"), "newer", SideFile::Access::AsTarget, ".partial"));
    EXPECT_EQ(ReadFileBytes(dir.file("target")), "newer");
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_EQ(ModeOf(victim), 0600U);
    EXPECT_EQ(Names(dir.path()),
              (std::vector<std::string>{"target", "target.new", "target.partial", "victim"}));
}

TEST(SideFileTest, OneNotPutInPlaceIsGoneAndTheTargetAsItWas) {
    testing::TempDir dir;
    WriteFileBytes(dir.file("target"), "old");
    {
        SideFile file(dir.file("target"), ".new", SideFile::Access::AsTarget);
        ASSERT_TRUE(file.created());
        ASSERT_TRUE(file.Write("half"));
        EXPECT_EQ(Names(dir.path()).size(), 2U);
    }
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"target"});
    EXPECT_EQ(ReadFileBytes(dir.file("target")), "old");
    // A folder that takes no file: nothing is written, and it says so.
    EXPECT_FALSE(
        ReplaceFileContents(dir.file("missing/target"), "new", SideFile::Access::AsTarget));
}

}  // namespace
}  // namespace slotscope
