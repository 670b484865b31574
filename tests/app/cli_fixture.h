#pragma once

// slotscope-cli end to end: the real program against a real local HTTP server. The fixture and
// the search engine the tests share.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/text_codec.h"
#include "tests/support/child_process.h"
#include "tests/support/local_server.h"
#include "tests/support/page_generator.h"
#include "tests/support/temp_dir.h"

namespace slotscope {

using namespace std::chrono_literals;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

inline constexpr std::u16string_view kSite = u"shop.example.cn";

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
inline constexpr bool kUnderAddressSanitizer = __has_feature(address_sanitizer);
#else
inline constexpr bool kUnderAddressSanitizer = false;
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
        // The phone's search: the keyword in UTF-8, the site at the top and bottom positions.
        local_.server().Get("/m/s", [this](const httplib::Request& request,
                                           httplib::Response& response) {
            const std::u16string keyword = DecodeUtf8(request.get_param_value("word"));
            {
                std::lock_guard lock(mutex_);
                phoneSearched_.push_back(keyword);
                phoneAgents_.push_back(request.get_header_value("User-Agent"));
            }
            const auto found = positions_.find(keyword);
            const Positions at = found == positions_.end() ? Positions{} : found->second;
            response.set_content(EncodeUtf8(testing::PhoneListingsPage(kSite, at.left, at.right)),
                                 "text/html; charset=utf-8");
        });
        local_.server().Get(
            "/s", [this](const httplib::Request& request, httplib::Response& response) {
                const std::u16string keyword = DecodeGb18030(request.get_param_value("wd"));
                {
                    std::lock_guard lock(mutex_);
                    searched_.push_back(keyword);
                    searchCookies_.push_back(request.get_header_value("Cookie"));
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
    std::string PhonePrefix() const { return local_.Url("/m/s?word="); }
    // The phone's searches: the keywords, and the User-Agent each came with.
    std::vector<std::u16string> phoneSearched() const {
        std::lock_guard lock(mutex_);
        return phoneSearched_;
    }
    std::vector<std::string> phoneAgents() const {
        std::lock_guard lock(mutex_);
        return phoneAgents_;
    }
    std::string Home() const { return local_.Url("/"); }
    std::vector<std::u16string> searched() const {
        std::lock_guard lock(mutex_);
        return searched_;
    }
    // The Cookie header of every search.
    std::vector<std::string> searchCookies() const {
        std::lock_guard lock(mutex_);
        return searchCookies_;
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
    std::vector<std::u16string> phoneSearched_;
    std::vector<std::string> searchCookies_;
    std::vector<std::string> phoneAgents_;
    std::map<std::u16string, std::string> served_;
    std::atomic<int> homeRequests_ = 0;
};

struct Outcome {
    int exitStatus = -1;
    std::string err;  // standard error
    std::string out;  // standard output
};

inline std::string WithoutCr(std::string text) {
    std::string::size_type at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) {
        text.erase(at, 1);
    }
    return text;
}

class CliTest : public ::testing::Test {
  protected:
    // Starts the program in the test's directory with `input` on standard input.
    testing::ProcessId Start(const std::vector<std::string>& arguments,
                             const std::string& input = "", bool ownConsole = false) {
        WriteFileBytes(dir.file("stdin"), input);
        const testing::ProcessId process =
            testing::StartProgram(SLOTSCOPE_CLI, arguments,
                                  {dir.path().string(), dir.file("stdin"), dir.file("stdout"),
                                   dir.file("stderr"), ownConsole});
        EXPECT_NE(process, -1) << "cannot start " << SLOTSCOPE_CLI;
        return process;
    }

    Outcome Finish(testing::ProcessId process) {
        Outcome outcome;
        outcome.exitStatus = testing::WaitForProgram(process).exitStatus;
        // Lines end in CR LF on Windows, as text written there does.
        outcome.err = WithoutCr(ReadFileBytes(dir.file("stderr")));
        outcome.out = WithoutCr(ReadFileBytes(dir.file("stdout")));
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

// Every line of a results file: complete, CR LF ended, valid GBK and of the four-field shape.
inline void ExpectWholeLines(const std::string& results) {
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

}  // namespace slotscope
