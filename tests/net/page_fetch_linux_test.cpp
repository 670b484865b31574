// What the Linux build's libcurl has and the Windows build's does not check under Wine:
// brotli bodies, and the verification of TLS certificates (Wine accepts any certificate).

#include <gtest/gtest.h>

#include "base/text_codec.h"
#include "tests/net/page_fetch_fixture.h"

namespace slotscope {
namespace {

TEST_F(PageFetchTest, BrotliBodiesAreDecoded) {
    std::string page = "<html>";
    for (int i = 0; i < 2000; ++i) {
        page += "<table id=\"300" + std::to_string(i % 10) + "\">鲜花</table>";
    }
    std::string acceptEncoding;
    local.server().Get("/br", [&](const httplib::Request& request, httplib::Response& response) {
        acceptEncoding = request.get_header_value("Accept-Encoding");
        response.set_header("Content-Encoding", "br");
        response.set_content(testing::Brotli(page), "text/html; charset=utf-8");
    });
    local.Start();

    const FetchResult result = Fetch("/br");
    ASSERT_TRUE(result.ok()) << result.failure().reason;
    EXPECT_EQ(result.body(), DecodeUtf8(page));
    EXPECT_NE(acceptEncoding.find("br"), std::string::npos) << acceptEncoding;
}

TEST_F(PageFetchTest, RedirectToHttpsKeepsCertificatesVerified) {
    LocalServer secure(testing::SelfSignedServer(), "https");
    secure.server().Get("/", [&](const httplib::Request& request, httplib::Response& response) {
        log.Add(request);
        response.set_content("should not be read", "text/html");
    });
    secure.Start();
    local.server().Get("/s", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(secure.Url("/"), 302);
    });
    local.Start();

    const FetchResult result = Fetch("/s");
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure().kind, FetchFailureKind::Network);
    EXPECT_NE(result.failure().reason.find("certificate"), std::string::npos)
        << result.failure().reason;
    EXPECT_EQ(log.count(), 0U);  // no request went over the unverified connection
}

}  // namespace
}  // namespace slotscope
