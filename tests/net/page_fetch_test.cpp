#include "net/page_fetch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "base/text_codec.h"
#include "core/search_address.h"
#include "net/cookie_file.h"
#include "tests/net/page_fetch_fixture.h"
#include "tests/support/compression.h"
#include "tests/support/local_server.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

// --- What reaches the server ---

TEST_F(PageFetchTest, KeywordsArriveWholeAsGbkBytes) {
    std::vector<std::string> received;
    std::mutex mutex;
    local.server().Get("/s", [&](const httplib::Request& request, httplib::Response& response) {
        std::lock_guard lock(mutex);
        received.push_back(request.get_param_value("wd"));
        response.set_content("<html></html>", "text/html");
    });
    local.Start();

    HttpPageFetcher fetcher(QuickSettings());
    const std::string prefix = local.Url("/s?wd=");
    for (const std::u16string_view keyword :
         {std::u16string_view(u"鲜花速递"), std::u16string_view(u"a b&c=d#e%f+g"),
          std::u16string_view(u"€ 𠀀")}) {
        ASSERT_TRUE(fetcher.FetchPage(SearchAddress(prefix, keyword), {}).ok());
    }

    ASSERT_EQ(received.size(), 3U);
    EXPECT_EQ(received[0], EncodeGbk(u"鲜花速递"));
    EXPECT_EQ(received[0], "\xCF\xCA\xBB\xA8\xCB\xD9\xB5\xDD");
    EXPECT_EQ(received[1], "a b&c=d#e%f+g");
    EXPECT_EQ(received[2], EncodeGbk(u"€ 𠀀"));  // GB18030 four-byte form for the last
}

// Each request presents itself as the browser of its page, opening a page of its own or
// following a link from the search's home page.
TEST_F(PageFetchTest, SendsBrowserHeaders) {
    httplib::Headers headers;
    local.server().Get("/", [&](const httplib::Request& request, httplib::Response& response) {
        headers = request.headers;
        response.set_content("ok", "text/html");
    });
    local.Start();
    const auto header = [&](const std::string& name) {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    };
    const struct {
        PageKind page;
        std::string referer;
        const char* agentHas;
        const char* mobile;
        const char* platform;
        const char* site;
    } cases[] = {
        {PageKind::Desktop, "", "Windows NT", "?0", "\"Windows\"", "none"},
        {PageKind::Desktop, local.Url("/"), "Windows NT", "?0", "\"Windows\"", "same-origin"},
        {PageKind::Phone, "", "Mobile", "?1", "\"Android\"", "none"},
        {PageKind::Phone, local.Url("/"), "Mobile", "?1", "\"Android\"", "same-origin"},
    };
    HttpPageFetcher fetcher(QuickSettings());
    for (const auto& c : cases) {
        const FetchOptions options{.referer = c.referer, .sideRequest = false, .page = c.page};
        ASSERT_TRUE(fetcher.FetchPage(local.Url("/"), options, {}).ok());
        EXPECT_NE(header("User-Agent").find(c.agentHas), std::string::npos) << c.agentHas;
        EXPECT_EQ(header("sec-ch-ua-mobile"), c.mobile);
        EXPECT_EQ(header("sec-ch-ua-platform"), c.platform);
        EXPECT_NE(header("sec-ch-ua").find("\"Chromium\";v=\"131\""), std::string::npos);
        EXPECT_EQ(header("Sec-Fetch-Site"), c.site) << c.referer;
        EXPECT_EQ(header("Sec-Fetch-Mode") + header("Sec-Fetch-User") + header("Sec-Fetch-Dest") +
                      header("Upgrade-Insecure-Requests"),
                  "navigate?1document1");
        EXPECT_EQ(header("Accept-Language"), "zh-CN,zh;q=0.9");
        EXPECT_NE(header("Accept-Encoding").find("gzip"), std::string::npos);
    }
}

TEST_F(PageFetchTest, TheUsersCookiesGoWhereTheySay) {
    std::vector<std::string> cookies;
    local.server().Get("/", [&](const httplib::Request& request, httplib::Response& response) {
        cookies.push_back(request.get_header_value("Host").substr(0, 9) + " " +
                          request.get_header_value("Cookie"));
        response.set_content("ok", "text/html");
    });
    local.Start();
    // A cookie line for the search's host, and a file's cookie for another host.
    FetchSettings settings = QuickSettings();
    settings.cookies = ReadSessionCookies("BDUSS=line", {"127.0.0.1"}).jarLines;
    settings.cookies.emplace_back("localhost\tFALSE\t/\tFALSE\t0\tBAIDUID\tfile");
    HttpPageFetcher fetcher(std::move(settings));
    const std::string port = ":" + std::to_string(local.port()) + "/";
    ASSERT_TRUE(fetcher.FetchPage("http://127.0.0.1" + port, {}).ok());
    ASSERT_TRUE(fetcher.FetchPage("http://localhost" + port, {}).ok());
    EXPECT_EQ(cookies,
              (std::vector<std::string>{"127.0.0.1 BDUSS=line", "localhost BAIDUID=file"}));
}

TEST_F(PageFetchTest, OneConnectionAndOneCookieJarServeTheRun) {
    std::atomic<int> withCookie = 0;
    local.server().Get("/", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        if (request.get_header_value("Cookie").find("BAIDUID=abc") != std::string::npos) {
            ++withCookie;
        }
        response.set_header("Set-Cookie", "BAIDUID=abc; Path=/");
        response.set_content("ok", "text/html");
    });
    local.Start();

    {
        HttpPageFetcher fetcher(QuickSettings());
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(fetcher.FetchPage(local.Url("/"), {}).ok());
        }
    }
    EXPECT_EQ(log.count(), 5U);
    EXPECT_EQ(log.connections(), 1U);
    EXPECT_EQ(withCookie.load(), 4);

    // A new fetcher is a new run: no cookies carried over.
    ASSERT_TRUE(Fetch("/").ok());
    EXPECT_EQ(withCookie.load(), 4);
}

TEST_F(PageFetchTest, ConcurrentFetchesEachGetTheirOwnPage) {
    local.server().Get("/p", [&](const httplib::Request& request, httplib::Response& response) {
        std::this_thread::sleep_for(20ms);
        response.set_content("<p>" + request.get_param_value("n") + "</p>", "text/html");
    });
    local.Start();

    HttpPageFetcher fetcher(QuickSettings());
    std::vector<std::optional<FetchResult>> results(8);
    {
        std::vector<std::jthread> threads;
        threads.reserve(8);
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < 5; ++round) {
                    const int n = t * 10 + round;
                    FetchResult result =
                        fetcher.FetchPage(local.Url("/p?n=" + std::to_string(n)), {});
                    const std::string expected = "<p>" + std::to_string(n) + "</p>";
                    if (!result.ok() || EncodeUtf8(result.body()) != expected) {
                        results[t] = std::move(result);
                        return;
                    }
                }
            });
        }
    }
    for (const auto& failure : results) {
        EXPECT_FALSE(failure.has_value())
            << (failure->ok() ? EncodeUtf8(failure->body()) : failure->failure().reason);
    }
}

TEST_F(PageFetchTest, ProxyFromTheEnvironmentIsUsed) {
    std::string host;
    local.server().Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
        host = request.get_header_value("Host");
        response.set_content("via proxy", "text/html");
    });
    local.Start();

    testing::SetEnv("http_proxy", local.Url(""));
    HttpPageFetcher fetcher(QuickSettings());
    const FetchResult result = fetcher.FetchPage("http://search.invalid/s?wd=x", {});
    testing::UnsetEnv("http_proxy");

    ASSERT_TRUE(result.ok()) << result.failure().reason;
    EXPECT_EQ(result.body(), u"via proxy");
    EXPECT_EQ(host, "search.invalid");
}

// --- Bodies as text ---

TEST_F(PageFetchTest, BodiesDecodeInTheirDeclaredCharset) {
    const std::string chinese = "鲜花 <td>左侧</td>";  // UTF-8 in this source
    local.server().Get("/utf8", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(chinese, "text/html; charset=UTF-8");
    });
    local.server().Get("/gbk", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(EncodeGbk(DecodeUtf8(chinese)), "text/html");
    });
    local.server().Get("/meta", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><meta charset=\"utf-8\"></head>" + chinese, "text/html");
    });
    local.server().Get("/gb2312", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            R"(<meta http-equiv="Content-Type" content="text/html; charset=gb2312">)" +
                EncodeGbk(DecodeUtf8(chinese)),
            "text/html");
    });
    local.server().Get("/bad", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "a\xFF\xFE"
            "b",
            "text/html; charset=utf-8");
    });
    local.Start();

    const std::u16string expected = DecodeUtf8(chinese);
    for (const char* path : {"/utf8", "/gbk"}) {
        const FetchResult result = Fetch(path);
        ASSERT_TRUE(result.ok()) << path;
        EXPECT_EQ(result.body(), expected) << path;
    }
    for (const char* path : {"/meta", "/gb2312"}) {
        const FetchResult result = Fetch(path);
        ASSERT_TRUE(result.ok()) << path;
        EXPECT_TRUE(result.body().ends_with(expected)) << path;
    }
    const FetchResult bad = Fetch("/bad");
    ASSERT_TRUE(bad.ok());
    EXPECT_EQ(bad.body(), u"a\uFFFD\uFFFDb");
    // UTF-8 bodies come with their bytes as the reader's input; others must be encoded.
    for (const char* path : {"/utf8", "/meta", "/gbk", "/gb2312", "/bad"}) {
        const FetchResult result = Fetch(path);
        ASSERT_TRUE(result.ok()) << path;
        const bool utf8 = path == std::string_view("/utf8") || path == std::string_view("/meta");
        EXPECT_EQ(result.input(), utf8 ? EncodeUtf8(result.body()) : "") << path;
    }
}

TEST_F(PageFetchTest, CompressedBodiesAreDecoded) {
    std::string page = "<html>";
    for (int i = 0; i < 2000; ++i) {
        page += "<table id=\"300" + std::to_string(i % 10) + "\">鲜花</table>";
    }
    local.server().Get("/gzip", [&](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Encoding", "gzip");
        response.set_content(Gzip(page), "text/html; charset=utf-8");
    });
    local.Start();

    for (const char* path : {"/gzip"}) {
        const FetchResult result = Fetch(path);
        ASSERT_TRUE(result.ok()) << path << ": " << result.failure().reason;
        EXPECT_EQ(result.body(), DecodeUtf8(page)) << path;
    }
}

// --- Redirects ---

TEST_F(PageFetchTest, RedirectChainIsFollowed) {
    local.server().Get(R"(/hop/(\d))",
                       [&](const httplib::Request& request, httplib::Response& response) {
                           log.Add(request);
                           const int hop = std::stoi(request.matches[1]);
                           if (hop < 5) {
                               response.set_redirect("/hop/" + std::to_string(hop + 1), 302);
                           } else {
                               response.set_content("arrived", "text/html");
                           }
                       });
    local.Start();

    const FetchResult result = Fetch("/hop/0");
    ASSERT_TRUE(result.ok()) << result.failure().reason;
    EXPECT_EQ(result.body(), u"arrived");
    EXPECT_EQ(log.count(), 6U);  // five redirects, the most allowed
}

TEST_F(PageFetchTest, RedirectLoopAndForeignSchemesFail) {
    local.server().Get("/loop", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        response.set_redirect("/loop", 302);
    });
    local.server().Get("/ftp", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("ftp://127.0.0.1/file", 302);
    });
    local.server().Get("/file", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("file:///etc/passwd", 302);
    });
    local.Start();

    const FetchResult loop = Fetch("/loop");
    ASSERT_FALSE(loop.ok());
    EXPECT_EQ(loop.failure().kind, FetchFailureKind::Network);
    EXPECT_LE(log.count(), 3U * 6U);  // three tries of at most six requests each
    for (const char* path : {"/ftp", "/file"}) {
        const FetchResult result = Fetch(path);
        ASSERT_FALSE(result.ok()) << path;
        EXPECT_EQ(result.failure().kind, FetchFailureKind::Network) << path;
    }
}

// --- Failures and retries ---

TEST_F(PageFetchTest, ServerErrorsAreRetriedClientErrorsAreNot) {
    std::atomic<int> flaky = 0;
    local.server().Get("/500", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        response.status = 500;
        response.set_content("oops", "text/html");
    });
    local.server().Get("/404", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        response.status = 404;
        response.set_content("<html>not found but a body</html>", "text/html");
    });
    local.server().Get("/flaky", [&](const httplib::Request&, httplib::Response& response) {
        if (++flaky < 3) {
            response.status = 503;
        } else {
            response.set_content("third time", "text/html");
        }
    });
    local.Start();

    const FetchResult error = Fetch("/500");
    ASSERT_FALSE(error.ok());
    EXPECT_EQ(error.failure().kind, FetchFailureKind::HttpStatus);
    EXPECT_NE(error.failure().reason.find("500"), std::string::npos);
    EXPECT_EQ(log.count(), 3U);

    const FetchResult missing = Fetch("/404");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.failure().kind, FetchFailureKind::HttpStatus);
    EXPECT_EQ(log.count(), 4U);

    const FetchResult recovered = Fetch("/flaky");
    ASSERT_TRUE(recovered.ok());
    EXPECT_EQ(recovered.body(), u"third time");
}

TEST_F(PageFetchTest, SideRequestsAreTriedOnceWithinTheShortTimeOut) {
    local.server().Get("/500", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        response.status = 500;
    });
    local.server().Get("/slow", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        std::this_thread::sleep_for(1500ms);
        response.set_content("late", "text/html");
    });
    local.Start();

    FetchSettings settings = QuickSettings();
    settings.sideRequestTimeout = 500ms;
    HttpPageFetcher fetcher(settings);
    const FetchOptions side{.referer = {}, .sideRequest = true};

    EXPECT_FALSE(fetcher.FetchPage(local.Url("/500"), side, {}).ok());
    EXPECT_EQ(log.count(), 1U);

    const Clock::time_point start = Clock::now();
    const FetchResult slow = fetcher.FetchPage(local.Url("/slow"), side, {});
    ASSERT_FALSE(slow.ok());
    EXPECT_EQ(slow.failure().kind, FetchFailureKind::Timeout);
    EXPECT_LT(Clock::now() - start, 1400ms);
    EXPECT_EQ(log.count(), 2U);

    // A search request on the same fetcher keeps the full time-out and its retries.
    EXPECT_TRUE(fetcher.FetchPage(local.Url("/slow"), {}).ok());
    EXPECT_FALSE(fetcher.FetchPage(local.Url("/500"), {}).ok());
    EXPECT_EQ(log.count(), 6U);
}

TEST_F(PageFetchTest, RefererIsSentOnlyWhenGiven) {
    std::vector<std::string> referers;
    std::mutex mutex;
    local.server().Get("/s", [&](const httplib::Request& request, httplib::Response& response) {
        std::lock_guard lock(mutex);
        referers.push_back(request.has_header("Referer") ? request.get_header_value("Referer")
                                                         : "(none)");
        response.set_content("<html></html>", "text/html");
    });
    local.Start();

    HttpPageFetcher fetcher(QuickSettings());
    const std::string home = local.Url("/");
    ASSERT_TRUE(
        fetcher.FetchPage(local.Url("/s?wd=a"), {.referer = home, .sideRequest = false}, {}).ok());
    ASSERT_TRUE(fetcher.FetchPage(local.Url("/s?wd=b"), {}).ok());
    EXPECT_EQ(referers, (std::vector<std::string>{home, "(none)"}));
}

TEST_F(PageFetchTest, RetriesWaitBetweenTries) {
    std::vector<Clock::time_point> times;
    local.server().Get("/500", [&](const httplib::Request&, httplib::Response& response) {
        times.push_back(Clock::now());
        response.status = 500;
    });
    local.Start();

    FetchSettings settings = QuickSettings();
    settings.retryDelays = {300ms, 600ms};
    ASSERT_FALSE(Fetch("/500", settings).ok());
    ASSERT_EQ(times.size(), 3U);
    EXPECT_GE(times[1] - times[0], 300ms);
    EXPECT_GE(times[2] - times[1], 600ms);
}

TEST_F(PageFetchTest, RefusedConnectionIsANetworkFailure) {
    const int port = testing::UnusedPort();
    HttpPageFetcher fetcher(QuickSettings());
    const FetchResult result =
        fetcher.FetchPage("http://127.0.0.1:" + std::to_string(port) + "/", {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure().kind, FetchFailureKind::Network);
    EXPECT_FALSE(result.failure().reason.empty());
}

TEST_F(PageFetchTest, ConnectionResetMidBodyFailsAfterRetries) {
    local.server().Get("/cut", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        response.set_content_provider(
            100000, "text/html", [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset > 0) {
                    return false;  // hang up with most of the promised body unsent
                }
                const std::string part(1000, 'x');
                sink.write(part.data(), part.size());
                return true;
            });
    });
    local.Start();

    const FetchResult result = Fetch("/cut");
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure().kind, FetchFailureKind::Network);
    EXPECT_EQ(log.count(), 3U);
}

TEST_F(PageFetchTest, BodyOverTheLimitFailsWithoutReadingItAll) {
    constexpr std::size_t kMiB = std::size_t{1024} * 1024;
    std::atomic<std::size_t> sent = 0;
    local.server().Get("/huge", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        response.set_chunked_content_provider(
            "text/html", [&](std::size_t, httplib::DataSink& sink) {
                static const std::string chunk(kMiB, '<');
                if (sent >= 256 * kMiB || !sink.write(chunk.data(), chunk.size())) {
                    sink.done();
                    return false;
                }
                sent += chunk.size();
                return true;
            });
    });
    local.server().Get("/declared",
                       [&](const httplib::Request& request, httplib::Response& response) {
                           log.Add(request);
                           response.set_content_provider(
                               20 * kMiB, "text/html",
                               [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
                       });
    local.Start();

    // Time enough for 16 MiB on a busy machine: the limit, not the clock, must end it.
    FetchSettings settings = QuickSettings();
    settings.timeout = 60s;
    const FetchResult huge = Fetch("/huge", settings);
    ASSERT_FALSE(huge.ok());
    EXPECT_EQ(huge.failure().kind, FetchFailureKind::TooLarge) << huge.failure().reason;
    EXPECT_LT(sent.load(), 64 * kMiB);

    const FetchResult declared = Fetch("/declared");
    ASSERT_FALSE(declared.ok());
    EXPECT_EQ(declared.failure().kind, FetchFailureKind::TooLarge);
    EXPECT_EQ(log.count(), 2U);  // neither is tried again
}

TEST_F(PageFetchTest, TricklingServerFailsAtTheTimeOut) {
    local.server().Get("/slow", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        response.set_chunked_content_provider("text/html",
                                              [](std::size_t, httplib::DataSink& sink) {
                                                  std::this_thread::sleep_for(100ms);
                                                  return sink.write("<", 1);
                                              });
    });
    local.Start();

    FetchSettings settings = QuickSettings();
    settings.timeout = 1s;
    const Clock::time_point start = Clock::now();
    const FetchResult result = Fetch("/slow", settings);
    const auto elapsed = Clock::now() - start;

    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure().kind, FetchFailureKind::Timeout);
    EXPECT_GE(elapsed, 900ms);   // curl measures the limit on its own clock
    EXPECT_LT(elapsed, 10s);     // bytes kept coming, yet the request ended
    EXPECT_EQ(log.count(), 1U);  // a time-out is not tried again
}

// --- Verification pages ---

TEST_F(PageFetchTest, VerificationPagesAreBlocked) {
    const std::string filler(5000, ' ');
    local.server().Get("/s", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        const std::string wd = request.get_param_value("wd");
        if (wd == "redirect") {
            response.set_redirect("https://wappass.baidu.com/static/captcha/tuxing.html?ak=1", 302);
        } else if (wd == "title") {
            response.set_content("<html><head><TITLE>安全验证</TITLE></head></html>",
                                 "text/html; charset=utf-8");
        } else if (wd == "code") {
            response.set_content("<div>请输入验证码</div>", "text/html; charset=utf-8");
        } else if (wd == "spider") {
            response.set_content(EncodeGbk(u"<script src=/AntiSpider.js></script>"), "text/html");
        }
    });
    local.Start();

    HttpPageFetcher fetcher(QuickSettings());
    for (const char* wd : {"redirect", "title", "code", "spider"}) {
        const FetchResult result = fetcher.FetchPage(local.Url("/s?wd=") + wd, {});
        ASSERT_FALSE(result.ok()) << wd;
        EXPECT_EQ(result.failure().kind, FetchFailureKind::Blocked) << wd;
    }
    EXPECT_EQ(log.count(), 4U);  // blocked is not tried again, nor the captcha followed
}

TEST_F(PageFetchTest, ResultsThatMentionVerificationAreNotBlocked) {
    const std::string filler(5000, ' ');
    local.server().Get("/s", [&](const httplib::Request& request, httplib::Response& response) {
        const std::string wd = request.get_param_value("wd");
        if (wd == "late") {
            response.set_content(
                "<html><title>ok</title>" + filler + "百度安全验证 请输入验证码 antispider</html>",
                "text/html; charset=utf-8");
        } else if (wd == "keyword") {
            // A search for a keyword about verification shows it in the title.
            response.set_content("<html><title>身份验证 百度安全验证_百度搜索</title></html>",
                                 "text/html; charset=utf-8");
        } else if (wd == "verify") {
            // http to https, carrying the keyword in the query.
            response.set_redirect("/s?wd=verify2&from=/verify/captcha", 302);
        } else {
            response.set_content("<html>results</html>", "text/html");
        }
    });
    local.Start();

    HttpPageFetcher fetcher(QuickSettings());
    for (const char* wd : {"late", "keyword", "verify"}) {
        const FetchResult result = fetcher.FetchPage(local.Url("/s?wd=") + wd, {});
        EXPECT_TRUE(result.ok()) << wd << ": " << result.failure().reason;
    }
}

TEST_F(PageFetchTest, RealVerificationPageIsBlockedRealResultsAreNot) {
    const std::filesystem::path pages =
        std::filesystem::path(SLOTSCOPE_SHARED_DIR) / "fixtures" / "real-pages";
    if (!std::filesystem::exists(pages)) {
        GTEST_SKIP() << "no captured pages at " << pages << " (the shared folder is absent)";
    }
    local.server().Get(
        R"(/(\w+))", [&](const httplib::Request& request, httplib::Response& response) {
            response.set_content(
                testing::ReadFileBytes((pages / (request.matches[1].str() + ".html")).string()),
                "text/html; charset=utf-8");
        });
    local.Start();

    const FetchResult captcha = Fetch("/baidu_search_captcha");
    ASSERT_FALSE(captcha.ok());
    EXPECT_EQ(captcha.failure().kind, FetchFailureKind::Blocked);
    for (const char* page : {"/baidu_search_results", "/baidu_search_no_results"}) {
        const FetchResult result = Fetch(page);
        ASSERT_TRUE(result.ok()) << page << ": " << result.failure().reason;
        EXPECT_NE(result.body().find(u"_百度搜索</title>"), std::u16string::npos) << page;
    }
}

// --- Stopping ---

TEST_F(PageFetchTest, StopInterruptsASlowTransferAndARetryWait) {
    local.server().Get("/slow", [&](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("text/html",
                                              [](std::size_t, httplib::DataSink& sink) {
                                                  std::this_thread::sleep_for(50ms);
                                                  return sink.write("<", 1);
                                              });
    });
    local.server().Get("/500", [&](const httplib::Request&, httplib::Response& response) {
        response.status = 500;
    });
    local.Start();

    FetchSettings settings = QuickSettings();
    settings.timeout = 30s;
    settings.retryDelays = {10s, 10s};
    HttpPageFetcher fetcher(settings);
    for (const char* path : {"/slow", "/500"}) {
        std::stop_source stop;
        Clock::time_point stoppedAt;
        std::jthread stopper([&] {
            std::this_thread::sleep_for(300ms);
            stoppedAt = Clock::now();
            stop.request_stop();
        });
        const FetchResult result = fetcher.FetchPage(local.Url(path), stop.get_token());
        const auto late = Clock::now() - stoppedAt;
        stopper.join();

        ASSERT_FALSE(result.ok()) << path;
        EXPECT_EQ(result.failure().kind, FetchFailureKind::Stopped) << path;
        EXPECT_LT(late, 200ms) << path;
    }
}

TEST_F(PageFetchTest, AlreadyStoppedFetchDoesNotConnect) {
    local.server().Get("/", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        response.set_content("ok", "text/html");
    });
    local.Start();

    std::stop_source stop;
    stop.request_stop();
    HttpPageFetcher fetcher(QuickSettings());
    const FetchResult result = fetcher.FetchPage(local.Url("/"), stop.get_token());
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure().kind, FetchFailureKind::Stopped);
    // A fetch after that one still works on the same fetcher.
    EXPECT_TRUE(fetcher.FetchPage(local.Url("/"), {}).ok());
    EXPECT_EQ(log.count(), 1U);
}

}  // namespace
}  // namespace slotscope
