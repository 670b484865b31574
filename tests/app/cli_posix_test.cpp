// slotscope-cli end to end, what only Linux has: a terminal, /dev/full, SIGTERM, file modes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "tests/app/cli_fixture.h"

namespace slotscope {
namespace {

TEST_F(CliTest, ProgressIsRewrittenInPlaceOnATerminal) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    Engine engine({{u"a", {1, 0}}});
    WriteFileBytes(dir.file("stdin"), "a\nb");
    const testing::ProcessId pid = testing::StartProgram(
        SLOTSCOPE_CLI, Against(engine, {}),
        {dir.path().string(), dir.file("stdin"), dir.file("stdout"), ptsname(master)});
    const testing::ChildEnd end = testing::WaitForProgram(pid);
    std::string screen;
    char buffer[4096];
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    for (ssize_t n = 0; (n = ::read(master, buffer, sizeof buffer)) > 0;) {
        screen.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(master);

    EXPECT_EQ(end.exitStatus, 0);
    EXPECT_EQ(screen,
              "\r1/2\x1b[K\r2/2\x1b[K\r\x1b[K"
              "总词数2运行完毕，信息保存在同目录下的baidu.csv里\r\n");  // the terminal adds CR
}

TEST_F(CliTest, KeywordsTypedAtTheTerminalAreAskedForOnce) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    Engine engine({{u"a", {1, 0}}});
    const testing::ProcessId pid = testing::StartProgram(
        SLOTSCOPE_CLI, Against(engine, {}),
        {dir.path().string(), ptsname(master), dir.file("stdout"), dir.file("stderr")});
    // Typed once the program reads the terminal: two keywords, then the end of the list.
    for (int waited = 0; waited < 100 && ReadFileBytes(dir.file("stderr")).empty(); ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::string typed = "a\nb\n\x04";
    ASSERT_EQ(::write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    const testing::ChildEnd end = testing::WaitForProgram(pid);
    ::close(master);

    EXPECT_EQ(end.exitStatus, 0);
    EXPECT_EQ(ReadFileBytes(dir.file("stderr")),
              "slotscope-cli: reading keywords from the terminal, one per line; end the list with "
              "Ctrl-D at the start of a line\n1/2\n2/2\n"
              "总词数2运行完毕，信息保存在同目录下的baidu.csv里\n");
}

TEST_F(CliTest, ACookieFileThatIsAPipeOrADeviceIsRefusedNotWaitedFor) {
    Engine engine({{u"kw", {1, 0}}});
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    for (const char* cookies : {"fifo", "/dev/zero"}) {
        const Outcome outcome = Run(Against(engine, {"--cookies", cookies}), "kw\n");
        EXPECT_EQ(outcome.exitStatus, 2) << cookies;
        EXPECT_NE(outcome.err.find("not a regular file"), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(engine.searchCount(), 0U);
}

TEST_F(CliTest, ARunWhosePipeIsNotReadHoldsUpNoOtherRunOfItsHistory) {
    std::string keywords;
    for (int i = 0; i < 3000; ++i) {
        keywords += "kw" + std::to_string(i) + "\n";
    }
    WriteFileBytes(dir.file("many.txt"), keywords);
    Engine engine({}, {}, /*delays=*/false);
    // A pager that is never scrolled: the pipe fills up and the run waits to write.
    ASSERT_EQ(::mkfifo(dir.file("pager").c_str(), 0600), 0);
    const int pager = ::open(dir.file("pager").c_str(), O_RDONLY | O_NONBLOCK);
    const testing::ProcessId stuck = Start(
        Against(engine, {"--keywords", "many.txt", "--output", "pager", "--history", "shared.db"}));
    // Until it stops fetching, as it waits.
    std::size_t before = 0;
    for (int i = 0; i < 100 && (before == 0 || before != engine.searchCount()); ++i) {
        before = engine.searchCount();
        std::this_thread::sleep_for(500ms);
    }
    WriteFileBytes(dir.file("b.in"), "kw1\nkw2\n");
    const testing::ChildEnd other = testing::WaitForProgram(testing::StartProgram(
        SLOTSCOPE_CLI, Against(engine, {"--output", "b.csv", "--history", "shared.db", "--quiet"}),
        {dir.path().string(), dir.file("b.in"), dir.file("b.out"), dir.file("b.err")}));
    testing::KillProgram(stuck);
    testing::WaitForProgram(stuck);
    ::close(pager);
    EXPECT_EQ(other.exitStatus, 0) << ReadFileBytes(dir.file("b.err"));
    EXPECT_EQ(ReadFileBytes(dir.file("b.csv")).size(),
              2 * std::string("kw1 , shop.example.cn , ").size() +
                  2 * EncodeGbk(u"左无 , 右无推广位\r\n").size());
}

TEST_F(CliTest, FailedWriteIsExitStatusOne) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    Engine engine({{u"kw", {1, 0}}});
    const Outcome outcome = Run(Against(engine, {"--output", "/dev/full"}), "kw\n");
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_NE(outcome.err.find("写入full时出错"), std::string::npos) << outcome.err;
}

TEST_F(CliTest, PhoneRunBesideADeviceNeedsItsOwnFile) {
    Engine engine({{u"kw", {1, 0}}});
    // A device, and a link to a file elsewhere.
    ASSERT_EQ(::symlink("/tmp/results.csv", dir.file("elsewhere.csv").c_str()), 0);
    for (const std::string& output : {std::string("/dev/null"), dir.file("elsewhere.csv")}) {
        const Outcome outcome =
            Run(Against(engine, {"--output", output, "--device", "mobile"}), "kw\n");
        EXPECT_EQ(outcome.exitStatus, 2);
        EXPECT_NE(outcome.err.find("need --mobile-output"), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(engine.homeRequests(), 0);
}

TEST_F(CliTest, AResultsFileThatCannotBeReplacedGetsNoRounds) {
    Engine engine({{u"kw1", {1, 0}}});
    engine.Serve(u"kw2", "<html><head><title>百度安全验证</title></head></html>");
    const Outcome outcome =
        Run(Against(engine, {"--output", "/dev/null", "--verify-pause", "600"}), "kw1\nkw2\n");
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_EQ(outcome.err.find("trying again"), std::string::npos) << outcome.err;
    EXPECT_EQ(engine.searchCount(), 2U);
}

TEST_F(CliTest, ReadOnlyOutputDirectoryFetchesNothing) {
    const std::string readOnly = dir.file("read-only");
    std::filesystem::create_directory(readOnly);
    ::chmod(readOnly.c_str(), 0555);
    // Root may write into any directory; sysfs refuses new files even to root.
    const std::string output =
        (::access(readOnly.c_str(), W_OK) == 0 ? std::string("/sys") : readOnly) + "/baidu.csv";
    Engine engine({{u"kw", {1, 0}}});

    const Outcome outcome = Run(Against(engine, {"--output", output}), "kw\n");
    ::chmod(readOnly.c_str(), 0755);

    EXPECT_EQ(outcome.exitStatus, 2);
    EXPECT_NE(outcome.err.find("cannot create the results file '" + output + "'"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(engine.homeRequests(), 0);
    EXPECT_EQ(engine.searchCount(), 0U);
}

TEST_F(CliTest, TermSignalStopsLikeInterrupt) {
    Engine engine({});
    std::string keywords;
    for (int i = 0; i < 400; ++i) {
        keywords += "keyword" + std::to_string(i) + "\n";
    }
    const testing::ProcessId process = Start(Against(engine, {"--jobs", "2"}), keywords);
    for (int wait = 0; wait < 500 && Results().size() < 200; ++wait) {
        std::this_thread::sleep_for(10ms);
    }
    ::kill(static_cast<pid_t>(process), SIGTERM);
    const Outcome outcome = Finish(process);

    EXPECT_EQ(outcome.exitStatus, 130) << outcome.err;
    EXPECT_TRUE(Results().ends_with("\r\n"));
    EXPECT_NE(outcome.err.find("运行已停止"), std::string::npos) << outcome.err;
}

TEST_F(CliTest, StopAndTimeOutDoNotWaitForASlowNameLookUp) {
    // Every look-up of the search host takes 8 s, as behind a resolver that does not answer.
    testing::SetEnv("LD_PRELOAD", SLOTSCOPE_SLOW_RESOLVER);
    testing::SetEnv("SLOTSCOPE_SLOW_HOST", "search.slow.test");
    Engine engine({});
    std::vector<std::string> arguments = Against(engine, {"--jobs", "1", "--timeout", "0.5"});
    arguments[3] = "http://search.slow.test/s?wd=";  // the search prefix
    using Clock = std::chrono::steady_clock;

    // Each request (the search home, then two keywords) ends at its time-out, not 3 x 8 s later.
    auto start = Clock::now();
    const Outcome timedOut = Run(arguments, "a\nb\n");
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(timedOut.exitStatus, 1) << timedOut.err;
    EXPECT_NE(timedOut.err.find("no complete answer within 500 ms"), std::string::npos);

    // Ctrl-C while the search home is being looked up ends the run at once.
    arguments.back() = "60";
    const testing::ProcessId process = Start(arguments, "a\nb\n");
    std::this_thread::sleep_for(500ms);
    start = Clock::now();
    testing::InterruptProgram(process);
    EXPECT_EQ(Finish(process).exitStatus, 130);
    EXPECT_LT(Clock::now() - start, 3s);
    testing::UnsetEnv("LD_PRELOAD");
    testing::UnsetEnv("SLOTSCOPE_SLOW_HOST");
}

}  // namespace
}  // namespace slotscope
