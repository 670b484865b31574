#include "net/cookie_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace slotscope {
namespace {

const std::vector<std::string> kHosts = {"www.baidu.com", "m.baidu.com"};

TEST(SessionCookies, CookieLinesAndCookieFilesAreToldApartAndChecked) {
    const struct {
        const char* text;
        std::vector<std::string> jar;
        const char* error;
        std::size_t leftOut = 0;
    } cases[] = {
        // As copied from the developer tools, with or without the header's name and Notepad's
        // mark of UTF-8: for the domain both search hosts share, over TLS only.
        {"BAIDUID=A1:FG=1; BDUSS=x~y\r\n",
         {".baidu.com\tTRUE\t/\tTRUE\t0\tBAIDUID\tA1:FG=1",
          ".baidu.com\tTRUE\t/\tTRUE\t0\tBDUSS\tx~y"},
         ""},
        {"\xEF\xBB\xBF\ncookie: BDUSS=s ;", {".baidu.com\tTRUE\t/\tTRUE\t0\tBDUSS\ts"}, ""},
        // What an extension exports: the domains are the file's own, each cookie secure.
        {"# Netscape HTTP Cookie File\n\n.baidu.com\tTRUE\t/\tFALSE\t1893456000\tBDUSS\tsecret\r\n"
         "#HttpOnly_.baidu.com\tTRUE\t/\tTRUE\t0\tBAIDUID\tB2\nm.BAIDU.com\tFALSE\t/"
         "\tFALSE\t0\tE\t\n",
         {".baidu.com\tTRUE\t/\tTRUE\t1893456000\tBDUSS\tsecret",
          "#HttpOnly_.baidu.com\tTRUE\t/\tTRUE\t0\tBAIDUID\tB2",
          "m.BAIDU.com\tFALSE\t/\tTRUE\t0\tE\t"},
         ""},
        // A browser's whole export: other sites' cookies are left out, counted, never named.
        {".mail.example.com\tTRUE\t/\tTRUE\t0\tMAILSESSION\tsecret\n"
         ".baidu.com\tTRUE\t/\tFALSE\t0\tBDUSS\tlogin\n"
         "notbaidu.com\tFALSE\t/\tFALSE\t0\tX\tsecret\n"
         ".baidu.com.evil.cn\tTRUE\t/\tFALSE\t0\tY\tsecret\n"
         "#HttpOnly_.com\tTRUE\t/\tFALSE\t0\tZ\tsecret\n",
         {".baidu.com\tTRUE\t/\tTRUE\t0\tBDUSS\tlogin"},
         "",
         4},
        {".mail.example.com\tTRUE\t/\tTRUE\t0\tMAILSESSION\tsecret\n",
         {},
         "no cookie for the search's site in it (1 for other sites)",
         1},
        // Broken ones name the line and never what it holds.
        {"", {}, "no cookie in it"},
        {"BDUSS secret", {}, "line 1: not a cookie line"},
        {"BDUSS=secret\nBAIDUID=2", {}, "line 2: a cookie line is one line"},
        {".baidu.com\tTRUE\t/\tFALSE\tsoon\tBDUSS\tsecret", {}, "line 1: not a cookie: a field"},
        {"# Netscape HTTP Cookie File\n.baidu.com TRUE / FALSE 0 BDUSS secret",
         {},
         "line 2: not a cookie: seven fields"},
    };
    for (const auto& c : cases) {
        const SessionCookies cookies = ReadSessionCookies(c.text, kHosts);
        EXPECT_EQ(cookies.jarLines, c.jar) << c.text;
        EXPECT_TRUE(cookies.error.starts_with(c.error)) << c.text << ": " << cookies.error;
        EXPECT_EQ(cookies.error.find("secret"), std::string::npos);
        EXPECT_EQ(cookies.leftOut, c.leftOut) << c.text;
        // The line the window names is the one the message names.
        const std::string_view error(c.error);
        EXPECT_EQ(cookies.errorLine,
                  error.starts_with("line ") ? static_cast<std::size_t>(error[5] - '0') : 0)
            << c.text;
    }
    // A browser's whole export holds more cookies than any one site's.
    std::string all;
    for (int i = 0; i < 1500; ++i) {
        all += ".site" + std::to_string(i) + ".com\tTRUE\t/\tFALSE\t0\tc\tv\n";
    }
    const SessionCookies whole =
        ReadSessionCookies(all + ".baidu.com\tTRUE\t/\tFALSE\t0\tB\tv", kHosts);
    EXPECT_EQ(whole.jarLines.size(), 1U) << whole.error;
    EXPECT_EQ(whole.leftOut, 1500U);
}

}  // namespace
}  // namespace slotscope
