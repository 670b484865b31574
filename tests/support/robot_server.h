#pragma once

// Group robots on this machine for the alert tests: one server that answers as DingTalk, WeCom
// and Feishu answer their robots' messages, checking the signatures the way each platform does,
// and a plain webhook; and Python's aiosmtpd as a mail server. Linux only (robot_server.cpp).

#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/local_server.h"
#include "tests/support/temp_dir.h"

namespace slotscope::testing {

class RobotServer final {
  public:
    // The robots' signing secrets; the webhook fails every message while `webhookFails`.
    RobotServer(std::string dingtalkSecret, std::string feishuSecret);

    // A message the server took or refused.
    struct Message {
        std::string robot;  // "dingtalk", "wecom", "feishu", "webhook"
        nlohmann::json body;
        std::string rawBody;
        bool taken = false;  // what the robot answered: taken, or refused with its error code
    };
    std::vector<Message> messages() const;

    // The channels file's lines for each robot, with these tokens and secrets.
    std::string ChannelLines(const std::string& dingtalkSecret,
                             const std::string& feishuSecret) const;
    void FailWebhook(bool fails) { webhookFails_ = fails; }

  private:
    void Keep(Message message);

    const std::string dingtalkSecret_;
    const std::string feishuSecret_;
    bool webhookFails_ = false;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    LocalServer local_;
};

// aiosmtpd on 127.0.0.1 at a free port, keeping what it takes in a Maildir; started() is false
// when it did not listen within a few seconds.
class MailServer final {
  public:
    MailServer();
    ~MailServer();
    MailServer(const MailServer&) = delete;
    MailServer& operator=(const MailServer&) = delete;

    bool started() const { return started_; }
    int port() const { return port_; }
    // Every mail taken, as its bytes.
    std::vector<std::string> Mails() const;

    static bool IsInstalled();

  private:
    TempDir dir_;
    int port_ = 0;
    ProcessId process_ = -1;
    bool started_ = false;
};

}  // namespace slotscope::testing
