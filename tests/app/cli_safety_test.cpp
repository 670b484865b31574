// The user's login and files through slotscope-cli, tried as someone on the user's network or
// another account on the machine would: what a run sends through a proxy, where the cookies of a
// browser's export may go, and files that name one another.

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "tests/app/cli_fixture.h"

namespace slotscope {
namespace {

// A proxy (http_proxy and https_proxy) that keeps the request line and headers of everything
// sent to it, answers a plain request with a result page that shows the site at 左1, and refuses
// a tunnel (CONNECT, for https), whose content no one on the path would see anyway.
class CapturingProxy final {
  public:
    CapturingProxy() {
        local_.server().set_logger(
            [this](const httplib::Request& request, const httplib::Response&) {
                std::lock_guard lock(mutex_);
                seen_.append(request.method).append(" ").append(request.target).append("\n");
                for (const auto& [name, value] : request.headers) {
                    seen_.append(name).append(": ").append(value).append("\n");
                }
            });
        local_.server().Get(".*", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(EncodeGbk(testing::ListingsPage(kSite, 1, 0)), "text/html");
        });
        local_.Start();
        for (const char* name : {"no_proxy", "NO_PROXY", "all_proxy", "ALL_PROXY"}) {
            testing::UnsetEnv(name);
        }
        for (const char* name : kVariables) {
            testing::SetEnv(name, local_.Url(""));
        }
    }
    ~CapturingProxy() {
        for (const char* name : kVariables) {
            testing::UnsetEnv(name);
        }
    }
    CapturingProxy(const CapturingProxy&) = delete;
    CapturingProxy& operator=(const CapturingProxy&) = delete;

    std::string seen() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }

  private:
    static constexpr const char* kVariables[] = {"http_proxy", "https_proxy", "HTTPS_PROXY"};
    testing::LocalServer local_;
    mutable std::mutex mutex_;
    std::string seen_;
};

TEST_F(CliTest, TheLoginGoesOnlyInsideTlsAndAnHttpSearchGetsNone) {
    const CapturingProxy proxy;
    WriteFileBytes(dir.file("cookie.txt"), "BDUSS=secret-login; BAIDUID=A1\r\n");
    const std::vector<std::string> run = {"--site",     "shop.example.cn", "--cookies",
                                          "cookie.txt", "--timeout",       "5"};
    // By default both searches' pages go through a tunnel, which the proxy refused.
    const Outcome tunnelled = Run(run, "鲜花\n");
    EXPECT_EQ(tunnelled.exitStatus, 1) << tunnelled.err;
    EXPECT_NE(proxy.seen().find("CONNECT www.baidu.com:443"), std::string::npos) << proxy.seen();
    EXPECT_EQ(proxy.seen().find("GET http://www.baidu.com"), std::string::npos) << proxy.seen();
    // An http search address the user gave still works, without the login.
    std::vector<std::string> plain = run;
    plain.insert(plain.end(), {"--search-url-prefix", "http://www.baidu.com/s?wd="});
    const Outcome outcome = Run(plain, "鲜花\n");
    EXPECT_EQ(outcome.exitStatus, 0) << outcome.err;
    EXPECT_EQ(Results(), EncodeGbk(u"鲜花 , shop.example.cn , 左1 , 右无推广位\r\n"));
    EXPECT_NE(proxy.seen().find("GET http://www.baidu.com/s?wd=%CF%CA%BB%A8"), std::string::npos);
    // A search on this machine, which may have the login over http, is never sent through the
    // proxy.
    const Engine engine({{u"鲜花", {2, 0}}});
    EXPECT_EQ(Run(Against(engine, {"--cookies", "cookie.txt"}), "鲜花\n").exitStatus, 0);
    EXPECT_NE(engine.searchCookies().at(0).find("BDUSS=secret-login"), std::string::npos);
    for (const std::string& said : {proxy.seen(), tunnelled.err, outcome.err}) {
        EXPECT_EQ(said.find("secret-login"), std::string::npos) << said;
    }
}

TEST_F(CliTest, ABrowsersExportGivesOnlyTheSearchsCookiesEvenThroughARedirect) {
    std::vector<std::string> inbox;  // the Cookie header of every visit to the other site
    std::vector<std::string> searches;
    testing::LocalServer local;
    local.server().Get("/s", [&](const httplib::Request& request, httplib::Response& response) {
        searches.push_back(request.get_header_value("Cookie"));
        response.set_redirect("http://evil.localhost:" + std::to_string(local.port()) + "/inbox");
    });
    local.server().Get("/inbox", [&](const httplib::Request& request, httplib::Response& response) {
        inbox.push_back(request.get_header_value("Cookie"));
        response.set_content(EncodeGbk(testing::ListingsPage(kSite, 2, 0)), "text/html");
    });
    local.Start();
    WriteFileBytes(dir.file("cookies.txt"),
                   "# Netscape HTTP Cookie File\n"
                   "127.0.0.1\tFALSE\t/\tFALSE\t0\tBDUSS\tsecret-login\n"
                   ".evil.localhost\tTRUE\t/\tFALSE\t0\tMAILSESSION\tsecret-mail\n"
                   ".mail.example.com\tTRUE\t/\tTRUE\t0\tMAIL2\tsecret-mail\n");
    const Outcome outcome =
        Run({"--site", "shop.example.cn", "--cookies", "cookies.txt", "--search-url-prefix",
             local.Url("/s?wd="), "--home-page-url", local.Url("/"), "--timeout", "5"},
            "kw\n");
    EXPECT_EQ(outcome.exitStatus, 0) << outcome.err;
    ASSERT_EQ(searches.size(), 1U);
    EXPECT_EQ(searches[0], "BDUSS=secret-login");
    ASSERT_EQ(inbox.size(), 1U);
    EXPECT_EQ(inbox[0].find("secret"), std::string::npos) << inbox[0];
    EXPECT_NE(outcome.err.find("'cookies.txt': 2 cookies for other sites left out"),
              std::string::npos)
        << outcome.err;
    for (const char* secret : {"secret", "MAIL", "mail.example.com"}) {
        EXPECT_EQ(outcome.err.find(secret), std::string::npos) << secret << ": " << outcome.err;
    }
}

}  // namespace
}  // namespace slotscope

namespace slotscope {
namespace {

TEST_F(CliTest, TwoOptionsNamingOneFileAreRefusedBeforeAnythingIsOpened) {
    Engine engine({{u"kw", {1, 0}}});
    std::filesystem::create_directory(dir.path() / "sub");
    const std::string history = "a history of 600 rows";
    const std::string results = "kw , shop.example.cn , 左1 , 右无推广位\r\n";
    const std::string keywords = "kw\n";
    const auto link = [&](const char* name, const char* target, bool hard) {
        std::error_code error;
        hard ? std::filesystem::create_hard_link(dir.path() / target, dir.path() / name, error)
             : std::filesystem::create_symlink(target, dir.path() / name, error);
        return !error;
    };
    struct Case {
        const char* name;
        std::vector<std::string> options;
        const char* why;
        const char* link = nullptr;  // a link made first: its name, to `target`
        const char* target = nullptr;
        bool hard = false;
    };
    const Case cases[] = {
        {"the results onto the history beside them",
         {"--output", "slotscope.db"},
         "--output and the history file"},
        {"the history onto the results",
         {"--history", "baidu.csv"},
         "--output and --history name the same file"},
        // SQLite takes a trailing separator, "." and ".." out of the path it opens.
        {"the history spelt as a folder", {"--history", "baidu.csv/."}, "--output and --history"},
        {"the history beyond a folder not there",
         {"--history", "nosuchdir/../baidu.csv"},
         "--output and --history"},
        {"the cookies read as keywords",
         {"--cookies", "./keywords.txt"},
         "--keywords and --cookies"},
        {"the history's log",
         {"--history", "h.db", "--output", "h.db-wal"},
         "--output and --history (its wal file)"},
        {"both pages into one file by another spelling",
         {"--device", "both", "--mobile-output", "sub/../baidu.csv"},
         "--output and --mobile-output"},
        {"the phone's default beside the results",
         {"--device", "both", "--output", "baidu_mobile.csv"},
         "the phone's results file"},
        {"the keywords overwritten by the results",
         {"--keywords", "keywords.txt", "--output", "./keywords.txt"},
         "--keywords and --output"},
        {"through a hard link",
         {"--device", "both", "--mobile-output", "hard.csv"},
         "--output and --mobile-output",
         "hard.csv",
         "baidu.csv",
         true},
        {"through a link",
         {"--output", "link.db"},
         "--output and the history file",
         "link.db",
         "slotscope.db"},
        {"through a link to a file not there yet",
         {"--device", "both", "--output", "dangling.csv", "--mobile-output", "sub/new.csv"},
         "--output and --mobile-output",
         "dangling.csv",
         "sub/new.csv"},
#if defined(_WIN32)
        // Names Windows reads as one: in another letter case, with a trailing dot.
        {"in another letter case, not there yet",
         {"--device", "both", "--output", "sub/New.csv", "--mobile-output", "SUB/new.csv."},
         "--output and --mobile-output"},
#endif
    };
    for (const Case& c : cases) {
        WriteFileBytes(dir.file("slotscope.db"), history);
        WriteFileBytes(dir.file("baidu.csv"), results);
        WriteFileBytes(dir.file("keywords.txt"), keywords);
        if (c.link != nullptr && !link(c.link, c.target, c.hard)) {
            // Wine makes no symbolic links; every system here makes hard ones.
            EXPECT_FALSE(c.hard) << c.name << ": the link cannot be made here";
            std::cout << c.name << ": skipped, this system makes no such link\n";
            continue;
        }
        std::vector<std::string> options = c.options;
        if (std::find(options.begin(), options.end(), "--keywords") == options.end()) {
            options.insert(options.end(), {"--keywords", "keywords.txt"});
        }
        const Outcome outcome = Run(Against(engine, options));
        EXPECT_EQ(outcome.exitStatus, 2) << c.name << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.why), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_EQ(ReadFileBytes(dir.file("slotscope.db")), history) << c.name;
        EXPECT_EQ(Results(), results) << c.name;
        EXPECT_EQ(ReadFileBytes(dir.file("keywords.txt")), keywords) << c.name;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "sub" / "new.csv")) << c.name;
        if (c.link != nullptr) {
            std::filesystem::remove(dir.path() / c.link);
        }
    }
    EXPECT_EQ(engine.homeRequests(), 0);
    EXPECT_EQ(engine.searchCount(), 0U);
}

}  // namespace
}  // namespace slotscope
