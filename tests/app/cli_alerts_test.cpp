// slotscope-cli's alerts and its watch end to end: robots on this machine that check each
// platform's signature, aiosmtpd for mail, and the program run as a scheduled job would run it.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/cli_fixture.h"
#include "tests/support/robot_server.h"

namespace slotscope {
namespace {

using testing::MailServer;
using testing::RobotServer;

constexpr const char* kDingTalkSecret = "SECdt-7f3a91";
constexpr const char* kFeishuSecret = "fs-secret-52c0";

// The page on which meiguihua.com holds the second left slot the site held before.
std::string SlotTakenPage() {
    return EncodeUtf8(testing::ListingsPage(u"meiguihua.com", 2, 0));
}

std::string Base64Decoded(const std::string& text) {
    constexpr std::string_view digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned int group = 0;
    int bits = 0;
    for (const char c : text) {
        const std::size_t value = digits.find(c);
        if (value == std::string_view::npos) {
            continue;
        }
        group = group << 6U | static_cast<unsigned int>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((group >> static_cast<unsigned int>(bits)) & 0xFFU);
        }
    }
    return bytes;
}

class CliAlertsTest : public CliTest {
  protected:
    void SetUp() override {
        if (!MailServer::IsInstalled()) {
            GTEST_SKIP() << "python3-aiosmtpd is not installed (scripts/install-deps adds it)";
        }
        ASSERT_TRUE(mail.started());
        WriteFileBytes(dir.file("channels.txt"),
                       "# 运营群\n" + robots.ChannelLines(kDingTalkSecret, kFeishuSecret) +
                           "mail = smtp://127.0.0.1:" + std::to_string(mail.port()) +
                           " from=bids@example.cn to=a@example.cn,b@example.cn tls=off\n");
        WriteFileBytes(dir.file("keywords.txt"), "鲜花\n玫瑰\n");
    }

    Outcome Check(std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"--keywords", "keywords.txt", "--notify", "channels.txt"});
        return Run(Against(engine, more));
    }

    // Everything the program left in its folder but the channels file, and what it printed.
    std::string EverythingWritten(const std::vector<Outcome>& outcomes) const {
        std::string written;
        for (const Outcome& outcome : outcomes) {
            written += outcome.err + outcome.out;
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            if (entry.path().filename() != "channels.txt") {
                written += ReadFileBytes(entry.path().string());
            }
        }
        return written;
    }

    Engine engine{{{u"鲜花", {2, 0}}, {u"玫瑰", {1, 0}}}};
    RobotServer robots{kDingTalkSecret, kFeishuSecret};
    MailServer mail;
};

TEST_F(CliAlertsTest, ALostSlotReachesEveryChannelSignedAndNothingElseDoes) {
    const Outcome first = Check();
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    EXPECT_TRUE(robots.messages().empty()) << "the first run has nothing to compare";
    const Outcome same = Check();
    ASSERT_EQ(same.exitStatus, 0) << same.err;
    EXPECT_TRUE(robots.messages().empty()) << "nothing moved";

    engine.Serve(u"鲜花", SlotTakenPage());
    // A proxy of the environment plays no part for this machine: the tokens of a robot on it may
    // go in clear.
    const std::string nowhere = "http://127.0.0.1:" + std::to_string(testing::UnusedPort());
    for (const char* variable : {"http_proxy", "https_proxy", "ALL_PROXY"}) {
        testing::SetEnv(variable, nowhere);
    }
    const Outcome lost = Check();
    for (const char* variable : {"http_proxy", "https_proxy", "ALL_PROXY"}) {
        testing::UnsetEnv(variable);
    }
    ASSERT_EQ(lost.exitStatus, 0) << lost.err;
    const auto messages = robots.messages();
    ASSERT_EQ(messages.size(), 4U);
    const std::string line = "鲜花：左2 → 左无（左2 现为 meiguihua.com）";
    const std::string markdownLine = "- **鲜花**：左2 → 左无（左2 现为 meiguihua\\.com）";
    for (const RobotServer::Message& message : messages) {
        EXPECT_TRUE(message.taken) << message.robot << ": " << message.rawBody;
        if (message.robot == "dingtalk") {
            EXPECT_EQ(message.body["markdown"]["title"], "推广位变化：shop.example.cn");
            EXPECT_NE(message.body["markdown"]["text"].get<std::string>().find(markdownLine),
                      std::string::npos);
        } else if (message.robot == "wecom") {
            EXPECT_NE(message.body["markdown"]["content"].get<std::string>().find(markdownLine),
                      std::string::npos);
        } else if (message.robot == "feishu") {
            EXPECT_NE(message.body["content"]["text"].get<std::string>().find(line),
                      std::string::npos);
        } else {
            EXPECT_EQ(message.body["moved"][0]["keyword"], "鲜花");
            EXPECT_EQ(message.body["moved"][0]["holder"], "meiguihua.com");
            EXPECT_EQ(message.body["moved"].size(), 1U) << "玫瑰 did not move";
        }
    }
    const std::vector<std::string> mails = mail.Mails();
    ASSERT_EQ(mails.size(), 1U);
    EXPECT_NE(mails[0].find("To: a@example.cn, b@example.cn"), std::string::npos) << mails[0];
    const std::string body = mails[0].substr(mails[0].find("\n\n") + 2);
    EXPECT_NE(Base64Decoded(body).find(line), std::string::npos) << Base64Decoded(body);
}

TEST_F(CliAlertsTest, AFailingChannelIsNamedAndLeavesTheResultsAndTheHistoryAsTheyAre) {
    ASSERT_EQ(Check().exitStatus, 0);
    robots.FailWebhook(true);
    WriteFileBytes(dir.file("channels.txt"), robots.ChannelLines("SECwrong-secret", kFeishuSecret));
    engine.Serve(u"鲜花", SlotTakenPage());
    const Outcome failed = Check();
    const Outcome history = Run({"history", "--site", "shop.example.cn", "--format", "csv"});

    EXPECT_EQ(failed.exitStatus, 1);
    EXPECT_NE(failed.err.find("slotscope-cli: dingtalk http://127.0.0.1:"), std::string::npos);
    EXPECT_NE(failed.err.find("did not take the alert: errcode 310000: sign not match for ***"),
              std::string::npos)
        << failed.err;
    EXPECT_NE(failed.err.find("/… did not take the alert: HTTP 503"), std::string::npos)
        << failed.err;
    // The webhook was tried twice; the other robots took theirs at once.
    int webhookTries = 0;
    for (const RobotServer::Message& message : robots.messages()) {
        webhookTries += message.robot == "webhook" ? 1 : 0;
    }
    EXPECT_EQ(webhookTries, 2);
    EXPECT_EQ(Results(), EncodeGbk(u"鲜花 , shop.example.cn , 左无 , 右无推广位\r\n"
                                   u"玫瑰 , shop.example.cn , 左1 , 右无推广位\r\n"));
    EXPECT_NE(history.out.find(",掉出,"), std::string::npos) << history.out;
    // No token, secret or password of a channel anywhere the program wrote.
    const std::string written = EverythingWritten({failed, history});
    for (const char* secret : {"dt-token", "wc-key", "fs-token", "SECwrong", kFeishuSecret}) {
        EXPECT_EQ(written.find(secret), std::string::npos) << secret;
    }
}

TEST_F(CliAlertsTest, TheTestMessageGoesToEachChannelAndStartTlsIsNotGoneWithout) {
    WriteFileBytes(dir.file("channels.txt"),
                   robots.ChannelLines(kDingTalkSecret, kFeishuSecret) +
                       "mail = smtp://127.0.0.1:" + std::to_string(mail.port()) +
                       " from=bids@example.cn to=a@example.cn\n");
    const Outcome test = Run({"notify-test", "--notify", "channels.txt"});

    EXPECT_EQ(test.exitStatus, 1);
    for (const char* robot : {"dingtalk", "wecom", "feishu", "webhook"}) {
        const std::size_t said = test.err.find(std::string("slotscope-cli: ") + robot + " ");
        ASSERT_NE(said, std::string::npos) << robot << "\n" << test.err;
        EXPECT_EQ(test.err.substr(said, test.err.find('\n', said) - said)
                      .ends_with(": took the test message"),
                  true)
            << test.err;
    }
    EXPECT_EQ(robots.messages().size(), 4U);
    for (const RobotServer::Message& message : robots.messages()) {
        EXPECT_TRUE(message.taken) << message.robot;
        EXPECT_NE(message.rawBody.find("Slotscope 测试消息"), std::string::npos);
    }
    // The mail server offers no STARTTLS: nothing is sent in clear.
    EXPECT_NE(test.err.find("mail smtp://127.0.0.1:" + std::to_string(mail.port()) +
                            ": did not take the test message"),
              std::string::npos)
        << test.err;
    EXPECT_TRUE(mail.Mails().empty());
}

TEST_F(CliAlertsTest, AWatchRunsOnItsScheduleAndCtrlCEndsItsWait) {
    const Outcome twice =
        Run({"watch", "--site", "shop.example.cn", "--keywords", "keywords.txt",
             "--search-url-prefix", engine.SearchPrefix(), "--home-page-url", engine.Home(),
             "--notify", "channels.txt", "--alert", "every", "--every", "10s", "--times", "2"});
    EXPECT_EQ(twice.exitStatus, 0) << twice.err;
    std::size_t announced = 0;
    for (std::size_t at = twice.err.find("slotscope-cli: next run at "); at != std::string::npos;
         at = twice.err.find("slotscope-cli: next run at ", at + 1)) {
        ++announced;
    }
    EXPECT_EQ(announced, 2U) << twice.err;
    // Every run told under 每次: two messages to each robot.
    EXPECT_EQ(robots.messages().size(), 8U);

    // A fault of the options is said at once, not after the wait for the first run.
    const Outcome refused =
        Run({"watch", "--site", "shop.example.cn", "--keywords", "missing.txt", "--every", "1h"});
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_EQ(refused.err.find("next run at"), std::string::npos) << refused.err;

    // A watch waiting for its next run ends at once on Ctrl-C.
    const testing::ProcessId waiting = Start(
        {"watch", "--site", "shop.example.cn", "--keywords", "keywords.txt", "--search-url-prefix",
         engine.SearchPrefix(), "--home-page-url", engine.Home(), "--every", "1h", "--times", "3"},
        "", /*ownConsole=*/true);
    for (int waited = 0; waited < 200; ++waited) {
        const std::string err = ReadFileBytes(dir.file("stderr"));
        if (err.find("运行完毕") != std::string::npos &&
            err.rfind("next run at") > err.find("运行完毕")) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const auto interrupted = std::chrono::steady_clock::now();
    testing::InterruptProgram(waiting);
    const Outcome ended = Finish(waiting);
    EXPECT_EQ(ended.exitStatus, 130) << ended.err;
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::seconds(5));
}

}  // namespace
}  // namespace slotscope
