// slotscope-cli end to end: the real program against a real local HTTP server.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/text_codec.h"
#include "tests/support/child_process.h"
#include "tests/support/local_server.h"
#include "tests/support/page_generator.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

using namespace std::chrono_literals;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

constexpr std::u16string_view kSite = u"shop.example.cn";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kUnderAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

struct Positions {
    int left = 0;
    int right = 0;
};

// A search engine: the page for a keyword shows the site where `positions` says (nowhere for
// keywords it does not know), as GBK without a declared charset. Keywords in `failing` get a
// 404, and every page comes after a short delay that varies by keyword, so parallel fetches
// finish out of order.
class Engine {
  public:
    explicit Engine(std::map<std::u16string, Positions> positions,
                    std::vector<std::u16string> failing = {}, bool delays = true)
        : positions_(std::move(positions)), failing_(std::move(failing)), delays_(delays) {
        local_.server().Get("/", [this](const httplib::Request&, httplib::Response& response) {
            ++homeRequests_;
            response.set_content("<html>home</html>", "text/html");
        });
        local_.server().Get(
            "/s", [this](const httplib::Request& request, httplib::Response& response) {
                const std::u16string keyword = DecodeGb18030(request.get_param_value("wd"));
                {
                    std::lock_guard lock(mutex_);
                    searched_.push_back(keyword);
                }
                if (keyword == u"slow") {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
                } else if (delays_) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(keyword.size() * 7 % 23));
                }
                if (std::find(failing_.begin(), failing_.end(), keyword) != failing_.end()) {
                    response.status = 404;
                    return;
                }
                {
                    std::lock_guard lock(mutex_);
                    const auto served = served_.find(keyword);
                    if (served != served_.end()) {
                        response.set_content(served->second, "text/html; charset=utf-8");
                        return;
                    }
                }
                const auto found = positions_.find(keyword);
                const Positions at = found == positions_.end() ? Positions{} : found->second;
                response.set_content(EncodeGbk(testing::ListingsPage(kSite, at.left, at.right)),
                                     "text/html");
            });
        local_.Start();
    }

    // The page for `keyword` becomes `body`, sent as UTF-8.
    void Serve(const std::u16string& keyword, std::string body) {
        std::lock_guard lock(mutex_);
        served_[keyword] = std::move(body);
    }

    std::string SearchPrefix() const { return local_.Url("/s?wd="); }
    std::string Home() const { return local_.Url("/"); }
    std::vector<std::u16string> searched() const {
        std::lock_guard lock(mutex_);
        return searched_;
    }
    std::size_t searchCount() const {
        std::lock_guard lock(mutex_);
        return searched_.size();
    }
    int homeRequests() const { return homeRequests_; }

  private:
    std::map<std::u16string, Positions> positions_;
    std::vector<std::u16string> failing_;
    bool delays_;
    testing::LocalServer local_;
    mutable std::mutex mutex_;
    std::vector<std::u16string> searched_;
    std::map<std::u16string, std::string> served_;
    std::atomic<int> homeRequests_ = 0;
};

struct Outcome {
    int exitStatus = -1;
    std::string err;  // standard error
    std::string out;  // standard output
};

class CliTest : public ::testing::Test {
  protected:
    // Starts the program in the test's directory with `input` on standard input.
    pid_t Start(const std::vector<std::string>& arguments, const std::string& input = "") {
        WriteFileBytes(dir.file("stdin"), input);
        const pid_t pid = testing::StartProgram(
            SLOTSCOPE_CLI, arguments,
            {dir.path().string(), dir.file("stdin"), dir.file("stdout"), dir.file("stderr")});
        EXPECT_GT(pid, 0) << "cannot start " << SLOTSCOPE_CLI;
        return pid;
    }

    Outcome Finish(pid_t pid) {
        Outcome outcome;
        outcome.exitStatus = testing::WaitForProgram(pid).exitStatus;
        outcome.err = ReadFileBytes(dir.file("stderr"));
        outcome.out = ReadFileBytes(dir.file("stdout"));
        return outcome;
    }

    Outcome Run(const std::vector<std::string>& arguments, const std::string& input = "") {
        return Finish(Start(arguments, input));
    }

    std::vector<std::string> Against(const Engine& engine, std::vector<std::string> more) const {
        std::vector<std::string> arguments = {
            "--site",          "shop.example.cn", "--search-url-prefix", engine.SearchPrefix(),
            "--home-page-url", engine.Home(),     "--timeout",           "5"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }

    std::string Results(const std::string& name = "baidu.csv") const {
        return ReadFileBytes(dir.file(name));
    }

    testing::TempDir dir;
};

TEST_F(CliTest, KeywordFileInByteExactResultsOut) {
    Engine engine({{u"鲜花", {2, 0}}, {u"abc", {0, 1}}, {u"def", {1, 3}}});
    WriteFileBytes(dir.file("keywords.txt"), "\xEF\xBB\xBF鲜花\nabc, def\r\n \n");

    const Outcome outcome = Run(Against(engine, {"--keywords", "keywords.txt"}));

    EXPECT_EQ(outcome.exitStatus, 0) << outcome.err;
    EXPECT_EQ(Results(), EncodeGbk(u"鲜花 , shop.example.cn , 左2 , 右无推广位\r\n"
                                   u"abc , shop.example.cn , 左无 , 右1\r\n"
                                   u"def , shop.example.cn , 左1 , 右无\r\n"));
    // Not a terminal: one progress line per entry, then the caption.
    EXPECT_EQ(outcome.err,
              "1/5\n2/5\n3/5\n3/4\n3/3\n总词数3运行完毕，信息保存在同目录下的baidu.csv里\n");
}

TEST_F(CliTest, GbkAndUtf16KeywordFilesAreReadAsSaved) {
    Engine engine({{u"鲜花", {2, 0}}, {u"北京医院", {0, 1}}});
    // Notepad's "ANSI" on Chinese Windows, and its "Unicode".
    WriteFileBytes(dir.file("gbk.txt"), EncodeGbk(u"鲜花\r\n北京医院\r\n"));
    std::string utf16 = "\xFF\xFE";
    for (const char16_t c : std::u16string(u"鲜花\r\n北京医院")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    WriteFileBytes(dir.file("utf16.txt"), utf16);
    const std::string expected = EncodeGbk(
        u"鲜花 , shop.example.cn , 左2 , 右无推广位\r\n"
        u"北京医院 , shop.example.cn , 左无 , 右1\r\n");

    for (const char* file : {"gbk.txt", "utf16.txt"}) {
        const Outcome outcome = Run(Against(engine, {"--keywords", file, "--quiet"}));
        EXPECT_EQ(outcome.exitStatus, 0) << file << ": " << outcome.err;
        EXPECT_EQ(Results(), expected) << file;
    }
    std::vector<std::u16string> searched = engine.searched();  // fetched ahead, in any order
    std::sort(searched.begin(), searched.end());
    EXPECT_EQ(searched, (std::vector<std::u16string>{u"北京医院", u"北京医院", u"鲜花", u"鲜花"}));
}

TEST_F(CliTest, KeywordsFromStandardInputAndTheWebsiteAsTyped) {
    Engine engine({{u"a&b c", {3, 0}}});
    // Matched untrimmed: " shop.example.cn" with its space is not in the listing.
    const Outcome untrimmed =
        Run({"--site", " shop.example.cn", "--search-url-prefix", engine.SearchPrefix(),
             "--home-page-url", engine.Home(), "--quiet", "--keywords", "-"},
            "a&b c\n");
    EXPECT_EQ(untrimmed.exitStatus, 0) << untrimmed.err;
    EXPECT_EQ(Results(), EncodeGbk(u"a&b c , shop.example.cn , 左无 , 右无推广位\r\n"));
    EXPECT_EQ(untrimmed.err, "总词数1运行完毕，信息保存在同目录下的baidu.csv里\n");

    const Outcome plain = Run(Against(engine, {"--output", "out.csv"}), "a&b c");
    EXPECT_EQ(plain.exitStatus, 0) << plain.err;
    EXPECT_EQ(Results("out.csv"), EncodeGbk(u"a&b c , shop.example.cn , 左3 , 右无推广位\r\n"));
    EXPECT_EQ(engine.searched(), (std::vector<std::u16string>{u"a&b c", u"a&b c"}));
}

TEST_F(CliTest, ParallelFetchingGivesTheSameFile) {
    std::map<std::u16string, Positions> positions;
    std::string keywords;
    for (int i = 0; i < 60; ++i) {
        const std::string keyword = "词" + std::to_string(i) + std::string(i % 5, 'x');
        positions[DecodeUtf8(keyword)] = {i % 4, i % 3};
        keywords += keyword + (i % 9 == 4 ? "\n\n" : "\n");
    }
    Engine engine(positions, {u"词7xx"});

    const Outcome one = Run(Against(engine, {"--jobs", "1", "--output", "one.csv"}), keywords);
    const Outcome eight = Run(Against(engine, {"--jobs=8", "--output", "eight.csv"}), keywords);

    EXPECT_EQ(one.exitStatus, 1);  // one keyword failed
    EXPECT_EQ(eight.exitStatus, 1);
    const std::string sequential = Results("one.csv");
    EXPECT_EQ(std::count(sequential.begin(), sequential.end(), '\n'), 60);
    EXPECT_EQ(sequential, Results("eight.csv"));
    EXPECT_NE(sequential.find(EncodeGbk(u"词7xx , shop.example.cn , 查询失败 , 查询失败")),
              std::string::npos);
    EXPECT_EQ(one.err.substr(one.err.rfind('\n', one.err.size() - 2) + 1),
              "总词数60运行完毕，信息保存在同目录下的baidu.csv里，其中1个词查询失败\n");
    EXPECT_NE(one.err.find("HTTP status 404"), std::string::npos);  // says why
}

TEST_F(CliTest, ProgressIsRewrittenInPlaceOnATerminal) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    Engine engine({{u"a", {1, 0}}});
    WriteFileBytes(dir.file("stdin"), "a\nb");
    const pid_t pid = testing::StartProgram(
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

TEST_F(CliTest, UsageErrorsAreReportedNotCrashed) {
    Engine engine({});
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--site"},
        {"--site", "a", "--jobs", "0"},
        {"--site", "a", "--jobs", "17"},
        {"--site", "a", "--jobs", "3x"},
        {"--site", "a", "--timeout", "-1"},
        {"--site", "a", "--timeout", "nan"},
        {"--site", "a", "--colour"},
        {"--site", "a", "stray"},
        {"--site", "a", "--output", ""},
        {"--site", "a", "--quiet=yes"},
    };
    for (const auto& arguments : bad) {
        const Outcome outcome = Run(arguments, "kw\n");
        EXPECT_EQ(outcome.exitStatus, 2) << ::testing::PrintToString(arguments);
        EXPECT_TRUE(outcome.err.starts_with("slotscope-cli: ")) << outcome.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("baidu.csv")));

    const Outcome help = Run({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: slotscope-cli --site SITE")) << help.out;
}

TEST_F(CliTest, NothingToRunIsExitStatusTwo) {
    Engine engine({{u"kw", {1, 0}}});

    const Outcome blank = Run(Against(engine, {"--site", "  "}), "kw\n");
    EXPECT_EQ(blank.exitStatus, 2);
    EXPECT_NE(blank.err.find("--site is empty"), std::string::npos) << blank.err;

    const Outcome missing = Run(Against(engine, {"--keywords", "no-such-file.txt"}));
    EXPECT_EQ(missing.exitStatus, 2);
    EXPECT_NE(missing.err.find("no-such-file.txt"), std::string::npos) << missing.err;

    const Outcome unwritable = Run(Against(engine, {"--output", "no-such-dir/baidu.csv"}), "kw\n");
    EXPECT_EQ(unwritable.exitStatus, 2);
    EXPECT_NE(unwritable.err.find("no-such-dir/baidu.csv"), std::string::npos) << unwritable.err;

    EXPECT_TRUE(engine.searched().empty());
}

TEST_F(CliTest, TimeOutAppliesToEachRequest) {
    Engine engine({{u"fast", {1, 0}}});
    std::vector<std::string> arguments = Against(engine, {"--jobs", "1"});
    arguments.insert(arguments.end(), {"--timeout", "1"});  // the later value holds
    const Outcome outcome = Run(arguments, "slow\nfast\n");

    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_NE(outcome.err.find("no complete answer within 1 s"), std::string::npos) << outcome.err;
    EXPECT_EQ(Results(), EncodeGbk(u"slow , shop.example.cn , 查询失败 , 查询失败\r\n"
                                   u"fast , shop.example.cn , 左1 , 右无推广位\r\n"));
}

TEST_F(CliTest, FailedWriteIsExitStatusOne) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    Engine engine({{u"kw", {1, 0}}});
    const Outcome outcome = Run(Against(engine, {"--output", "/dev/full"}), "kw\n");
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_NE(outcome.err.find("写入baidu.csv时出错"), std::string::npos) << outcome.err;
}

TEST_F(CliTest, InterruptKeepsFinishedLinesAndExits130) {
    Engine engine({});
    std::string keywords;
    for (int i = 0; i < 400; ++i) {
        keywords += "keyword" + std::to_string(i) + "\n";
    }
    for (const int signal : {SIGINT, SIGTERM}) {
        std::filesystem::remove(dir.file("baidu.csv"));
        const pid_t pid = Start(Against(engine, {"--jobs", "2"}), keywords);
        for (int wait = 0; wait < 500 && Results().size() < 200; ++wait) {
            std::this_thread::sleep_for(10ms);
        }
        ::kill(pid, signal);
        const Outcome outcome = Finish(pid);

        EXPECT_EQ(outcome.exitStatus, 130) << "signal " << signal << ": " << outcome.err;
        const std::string results = Results();
        ASSERT_FALSE(results.empty());
        EXPECT_TRUE(results.ends_with("\r\n"));
        const auto lines = std::count(results.begin(), results.end(), '\n');
        EXPECT_LT(lines, 400);
        EXPECT_NE(outcome.err.find("运行已停止，已完成" + std::to_string(lines) + "/400"),
                  std::string::npos)
            << outcome.err;
    }
}

// --- Faults from outside ---

// Every line of a results file: complete, CR LF ended, valid GBK and of the four-field shape.
void ExpectWholeLines(const std::string& results) {
    ASSERT_TRUE(results.empty() || results.ends_with("\r\n"));
    std::size_t begin = 0;
    while (begin < results.size()) {
        const std::size_t end = results.find("\r\n", begin);
        const std::string line = results.substr(begin, end - begin);
        const std::u16string text = DecodeGb18030(line);
        EXPECT_EQ(text.find(u'\uFFFD'), std::u16string::npos) << line;
        EXPECT_EQ(EncodeGbk(text), line);
        EXPECT_TRUE(text.starts_with(u"kw")) << line;
        EXPECT_NE(text.find(u" , shop.example.cn , "), std::u16string::npos) << line;
        EXPECT_TRUE(text.ends_with(u"右无推广位") || text.ends_with(u"右无") ||
                    text.ends_with(u"查询失败"))
            << line;
        begin = end + 2;
    }
}

TEST_F(CliTest, KilledRunLeavesOnlyWholeLines) {
    Engine engine({});
    std::string keywords;
    for (int i = 0; i < 3000; ++i) {
        keywords += "kw" + std::to_string(i) + "\n";
    }
    const pid_t pid = Start(Against(engine, {"--jobs", "4", "--quiet"}), keywords);
    for (int wait = 0; wait < 1000 && Results().size() < 20000; ++wait) {
        std::this_thread::sleep_for(5ms);
    }
    ::kill(pid, SIGKILL);
    const testing::ChildEnd end = testing::WaitForProgram(pid);
    EXPECT_EQ(end.signal, SIGKILL);

    const std::string results = Results();
    ASSERT_GE(results.size(), 20000U) << "the run did not get going";
    ExpectWholeLines(results);
    // Lines are in list order with none left out.
    std::size_t begin = 0;
    for (int i = 0; begin < results.size(); ++i) {
        const std::string expected = "kw" + std::to_string(i) + " , ";
        ASSERT_EQ(results.compare(begin, expected.size(), expected), 0) << "line " << i;
        begin = results.find("\r\n", begin) + 2;
    }
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

TEST_F(CliTest, HostileKeywordFileIsHandled) {
    std::string keywords;
    std::mt19937 random(7);
    for (int i = 0; i < 100000; ++i) {
        switch (i % 1000) {
            case 1:  // a 10,000-character line of Chinese text
                for (int k = 0; k < 10000; ++k) {
                    keywords += "词";
                }
                break;
            case 2:  // binary garbage
                for (int k = 0; k < 300; ++k) {
                    keywords += static_cast<char>(random() % 256 == '\n' ? 'x' : random() % 256);
                }
                break;
            case 3:
                keywords += std::string("kw\0with\0nul", 11);
                break;
            default:
                keywords += i % 3 == 0 ? "" : "kw" + std::to_string(i % 7);
        }
        keywords += i % 2 == 0 ? "\n" : "\r\n";
    }
    WriteFileBytes(dir.file("hostile.txt"), keywords);
    Engine engine({}, {}, /*delays=*/false);

    const pid_t pid = testing::StartProgram(
        SLOTSCOPE_CLI, Against(engine, {"--keywords", "hostile.txt", "--jobs", "8", "--quiet"}),
        {dir.path().string(), "/dev/null", dir.file("stdout"), dir.file("stderr")});
    const testing::ChildEnd end = testing::WaitForProgram(pid);

    EXPECT_TRUE(end.exitStatus == 0 || end.exitStatus == 1)
        << "exit " << end.exitStatus << ", signal " << end.signal;
    EXPECT_LT(end.peakResidentKiB, 512 * 1024) << "peak " << end.peakResidentKiB << " KiB";
    const std::string results = Results();
    EXPECT_TRUE(results.ends_with("\r\n"));
    const std::string err = ReadFileBytes(dir.file("stderr"));
    EXPECT_NE(err.find("运行完毕"), std::string::npos) << err.substr(0, 500);
}

TEST_F(CliTest, TodaysPagesAndHostilePagesEndToEnd) {
    const std::filesystem::path today =
        std::filesystem::path(SLOTSCOPE_SHARED_DIR) / "fixtures" / "today-pages";
    if (!std::filesystem::exists(today / "today_top3_site2.html")) {
        GTEST_SKIP() << "today's pages not found at " << today;
    }
    Engine engine({}, {}, /*delays=*/false);
    engine.Serve(u"鲜花", ReadFileBytes((today / "today_top3_site2.html").string()));
    engine.Serve(u"花店", ReadFileBytes((today / "today_right_only.html").string()));
    std::string openings;
    while (openings.size() < 16'000'000) {
        openings += "<div id=\"content_left\">";
    }
    engine.Serve(u"deep", std::move(openings));
    std::string misplaced = "<div id=\"content_left\">";
    for (int i = 0; i < 200'000; ++i) {
        misplaced += "<b>";
    }
    for (int i = 0; i < 2'000'000; ++i) {
        misplaced += "</i>";
    }
    engine.Serve(u"misplaced", std::move(misplaced));
    WriteFileBytes(dir.file("stdin"), "鲜花\n花店\ndeep\nmisplaced\n");

    const pid_t pid = testing::StartProgram(
        SLOTSCOPE_CLI,
        {"--site", "huaxian-shop.cn", "--search-url-prefix", engine.SearchPrefix(),
         "--home-page-url", engine.Home(), "--keywords", "-", "--jobs", "2"},
        {dir.path().string(), dir.file("stdin"), dir.file("stdout"), dir.file("stderr")});
    const testing::ChildEnd end = testing::WaitForProgram(pid);
    const std::string err = ReadFileBytes(dir.file("stderr"));

    EXPECT_EQ(end.exitStatus, 1) << err;
    EXPECT_EQ(Results(), EncodeGbk(u"鲜花 , huaxian-shop.cn , 左2 , 右无推广位\r\n"
                                   u"花店 , huaxian-shop.cn , 左侧无推广位 , 右2\r\n"
                                   u"deep , huaxian-shop.cn , 左侧无推广位 , 右无推广位\r\n"
                                   u"misplaced , huaxian-shop.cn , 查询失败 , 查询失败\r\n"));
    EXPECT_NE(err.find("slotscope-cli: misplaced: the result page could not be read"),
              std::string::npos)
        << err;
    // Two 16 MB pages at once, as bytes and as text, and the parser's copy: well under 256 MiB
    // (the sanitizers' shadow memory needs more).
    EXPECT_LT(end.peakResidentKiB, (kUnderAddressSanitizer ? 768 : 256) * 1024)
        << "peak " << end.peakResidentKiB << " KiB";
}

}  // namespace
}  // namespace slotscope
