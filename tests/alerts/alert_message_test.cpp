#include "alerts/alert_message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "alerts/alert_request.h"
#include "alerts/hmac_sha256.h"

namespace slotscope {
namespace {

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (const char c : bytes) {
        constexpr std::string_view digits = "0123456789abcdef";
        hex += digits[static_cast<unsigned char>(c) >> 4U];
        hex += digits[static_cast<unsigned char>(c) & 0xFU];
    }
    return hex;
}

TEST(AlertSigning, HmacBase64AndEncodingAsPublished) {
    // RFC 4231, test cases 2 and 1.
    EXPECT_EQ(Hex(HmacSha256("Jefe", "what do ya want for nothing?")),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_EQ(Hex(HmacSha256(std::string(20, '\x0b'), "Hi There")),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    // RFC 4648's examples.
    const std::vector<std::pair<std::string, std::string>> base64 = {{"", ""},
                                                                     {"f", "Zg=="},
                                                                     {"fo", "Zm8="},
                                                                     {"foo", "Zm9v"},
                                                                     {"foob", "Zm9vYg=="},
                                                                     {"foobar", "Zm9vYmFy"},
                                                                     {"\xFF\xFE", "//4="}};
    for (const auto& [bytes, encoded] : base64) {
        EXPECT_EQ(Base64(bytes), encoded) << bytes;
    }
    EXPECT_EQ(PercentEncoded("a+b/c=d 中~"), "a%2Bb%2Fc%3Dd%20%E4%B8%AD~");
    EXPECT_EQ(DingTalkSign("SECret", 1700000000000),
              Base64(HmacSha256("SECret", "1700000000000\nSECret")));
    EXPECT_EQ(FeishuSign("secret", 1700000000), Base64(HmacSha256("1700000000\nsecret", "")));
}

MovedSlot Move(std::string keyword, std::string kind, std::string before, std::string after,
               int beforeSlot = 0, std::string holder = {}, int by = 0) {
    return MovedSlot{.keyword = std::move(keyword),
                     .page = "pc",
                     .left = true,
                     .before = std::move(before),
                     .after = std::move(after),
                     .kind = std::move(kind),
                     .by = by,
                     .holder = std::move(holder),
                     .beforeSlot = beforeSlot};
}

RunDigest Digest(std::vector<MovedSlot> moved, bool compared = true, int failed = 0) {
    return RunDigest{.site = "shop.example.cn",
                     .device = "pc",
                     .region = "北京",
                     .started = "2026-12-09T06:00:00Z",
                     .keywords = 10,
                     .failed = failed,
                     .blocked = failed,
                     .compared = compared,
                     .moved = std::move(moved)};
}

const std::vector<MovedSlot>& Moves() {
    static const std::vector<MovedSlot> moves = {
        Move("鲜花", "lost", "左2", "左无", 2, "meiguihua.com"),
        Move("玫瑰", "down", "左1", "左3", 1, "hua.cn", 2),
        Move("蛋糕", "gained", "左无", "左1"),
        Move("速递", "up", "左3", "左2", 3, "x.cn", 1),
    };
    return moves;
}

TEST(AlertMessage, EachRuleTellsItsMovesAndOnlyRunsThatCallForIt) {
    const struct {
        AlertRule rule;
        bool sent;
        RunDigest digest;
        std::vector<std::string> lines;  // the moves told, in order
    } cases[] = {
        {AlertRule::Lost, true, Digest(Moves()), {"鲜花：左2 → 左无（左2 现为 meiguihua.com）"}},
        {AlertRule::Drop,
         true,
         Digest(Moves()),
         {"鲜花：左2 → 左无（左2 现为 meiguihua.com）", "玫瑰：左1 → 左3（左1 现为 hua.cn）"}},
        {AlertRule::Change,
         true,
         Digest(Moves()),
         {"鲜花：左2 → 左无（左2 现为 meiguihua.com）", "玫瑰：左1 → 左3（左1 现为 hua.cn）",
          "蛋糕：左无 → 左1", "速递：左3 → 左2（左3 现为 x.cn）"}},
        {AlertRule::Lost, false, Digest({Moves()[1], Moves()[2]}), {}},
        {AlertRule::Every, true, Digest({}), {}},
        // The first run of a site has nothing to compare: only 每次 tells of it.
        {AlertRule::Change, false, Digest({}, /*compared=*/false), {}},
        {AlertRule::Every, true, Digest({}, /*compared=*/false), {}},
        // More than half the keywords failed: said whatever the rule.
        {AlertRule::Lost, true, Digest({}, true, /*failed=*/6), {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CallsForMessage(c.digest, c.rule), c.sent) << static_cast<int>(c.rule);
        const std::string text = MessageOf(c.digest, c.rule, "2026-12-09 14:00", false, 4096).text;
        std::string expected = "电脑 · 北京 · 2026-12-09 14:00\n共10个词：";
        EXPECT_NE(text.find(expected), std::string::npos) << text;
        std::string told;
        for (const std::string& line : c.lines) {
            told += "\n" + line;
        }
        EXPECT_TRUE(text.ends_with(told)) << text;
        EXPECT_EQ(text.find("超过一半的词查询失败") != std::string::npos, c.digest.failed > 5)
            << text;
    }
}

TEST(AlertMessage, MarkdownEscapesThePagesTextsAndCountsStayFirst) {
    const RunDigest digest = Digest({Move("a*b_[c]", "lost", "左1", "左无", 1, "x_y.cn")});
    const AlertMessage message = MessageOf(digest, AlertRule::Lost, "14:00", true, 4096);
    EXPECT_EQ(message.title, "推广位变化：shop.example.cn");
    EXPECT_EQ(message.text,
              "#### 推广位变化：shop\\.example\\.cn\n\n电脑 · 北京 · 14:00\n\n"
              "共10个词：掉出1个，下降0个，新上0个，上升0个，查询失败0个\n\n"
              "- **a\\*b\\_\\[c\\]**：左1 → 左无（左1 现为 x\\_y\\.cn）");
}

TEST(AlertMessage, CutAtAWholeLineWithinTheLimitCountingTheRest) {
    std::vector<MovedSlot> moves;
    moves.reserve(100);
    for (int i = 0; i < 100; ++i) {
        moves.push_back(Move("关键词" + std::to_string(i), "lost", "左1", "左无", 1, "hua.cn"));
    }
    const RunDigest digest = Digest(moves);
    const std::string whole = MessageOf(digest, AlertRule::Lost, "14:00", false, 1 << 20).text;
    for (const std::size_t limit :
         {std::size_t{600}, std::size_t{2048}, whole.size(), whole.size() - 1}) {
        const std::string text = MessageOf(digest, AlertRule::Lost, "14:00", false, limit).text;
        EXPECT_LE(text.size(), limit);
        const std::size_t lines =
            static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        if (limit == whole.size()) {
            EXPECT_EQ(text, whole);
            continue;
        }
        // The head's three lines, the moves that fit, then how many were left out.
        const std::size_t shown = lines - 3;
        EXPECT_TRUE(text.ends_with("…另有" + std::to_string(100 - shown) + "个词")) << text;
        EXPECT_TRUE(whole.starts_with(text.substr(0, text.rfind('\n')))) << limit;
    }
}

TEST(AlertRequest, EachRobotsDocumentKeepsToItsSizeWhateverTheKeywordsHold) {
    // Quotes and backslashes grow in JSON, and again in Markdown.
    std::vector<MovedSlot> moves;
    moves.reserve(600);
    for (int i = 0; i < 600; ++i) {
        moves.push_back(Move(R"("\"*_)" + std::to_string(i), "lost", "左1", "左无", 1, "x.cn"));
    }
    const RunDigest digest = Digest(moves);
    const AlertNews news{&digest, AlertRule::Lost, "14:00"};
    const struct {
        AlertChannel::Kind kind;
        std::size_t limit;  // of the whole document, or of WeCom's Markdown
    } robots[] = {{AlertChannel::Kind::DingTalk, 20'000},
                  {AlertChannel::Kind::Feishu, std::size_t{20} * 1024},
                  {AlertChannel::Kind::WeCom, 4096}};
    for (const auto& robot : robots) {
        AlertChannel channel;
        channel.kind = robot.kind;
        channel.address = "https://robot.example/send?key=k";
        channel.secret = "SECret";
        const AlertRequest request = RequestFor(channel, news, std::chrono::system_clock::now());
        const auto document = nlohmann::json::parse(request.body);
        const std::size_t size = robot.kind == AlertChannel::Kind::WeCom
                                     ? document["markdown"]["content"].get<std::string>().size()
                                     : request.body.size();
        EXPECT_LE(size, robot.limit) << static_cast<int>(robot.kind);
        EXPECT_GT(size, robot.limit * 3 / 4) << "cut far shorter than it needs";
        EXPECT_NE(request.body.find("另有"), std::string::npos);
    }
}

TEST(AlertAnswer, APlatformsErrorCodeIsAFailure) {
    const auto of = [](AlertChannel::Kind kind) {
        AlertChannel channel;
        channel.kind = kind;
        return channel;
    };
    const AlertChannel dingtalk = of(AlertChannel::Kind::DingTalk);
    const AlertChannel feishu = of(AlertChannel::Kind::Feishu);
    const AlertChannel webhook = of(AlertChannel::Kind::Webhook);
    const struct {
        const AlertChannel* channel;
        long status;
        std::string body;
        std::string problem;
    } cases[] = {
        {&dingtalk, 200, R"({"errcode":0,"errmsg":"ok"})", ""},
        {&dingtalk, 200, R"({"errcode":310000,"errmsg":"sign not match"})",
         "errcode 310000: sign not match"},
        {&dingtalk, 200, "<html>", "an answer that is not the robot's"},
        {&dingtalk, 502, "", "HTTP 502"},
        {&feishu, 200, R"({"code":0,"msg":"success"})", ""},
        {&feishu, 200,
         R"({"code":19021,"msg":"sign match fail or timestamp is not within one hour from current time"})",
         "code 19021: sign match fail or timestamp is not within one hour from current time"},
        {&webhook, 204, "", ""},
        {&webhook, 404, "", "HTTP 404"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AnswerProblem(*c.channel, c.status, c.body), c.problem) << c.body;
    }
}

}  // namespace
}  // namespace slotscope
