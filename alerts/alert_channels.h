#pragma once

// Where a run's news goes: the group robots of DingTalk, WeCom and Feishu, a plain webhook and
// mail, as a channels file lists them, one a line: KIND = ADDRESS, then key=value words.

#include <string>
#include <string_view>
#include <tl/expected.hpp>
#include <vector>

namespace slotscope {

struct AlertChannel {
    enum class Kind { DingTalk, WeCom, Feishu, Webhook, Mail };
    Kind kind = Kind::Webhook;
    // Robots and webhooks: the whole address the message is posted to, its token included (a
    // credential). Mail: the server, as smtp://host:port or smtps://host:port.
    std::string address;
    std::string secret;  // DingTalk's and Feishu's signing secret; empty where nothing is signed
    // Mail only: the login, the sender and the receivers.
    std::string user;
    std::string password;
    std::string from;
    std::vector<std::string> to;
    // smtp:// goes over TLS after STARTTLS, and refuses to send without it unless this is off
    // (tls=off, for a relay on this machine only); smtps:// is TLS from the start.
    bool tls = true;

    // As a user may see it: the kind and the address without its token, query or password
    // ("dingtalk https://oapi.dingtalk.com/robot/send", "mail smtps://bids@smtp.example.cn:465").
    std::string Shown() const;
};

// Why a list could not be read: the line (1-based) and what is wrong, in words that never quote
// a token, a secret or a password.
struct ChannelListError {
    int line = 0;
    std::string message;
};

// Reads the lines of a channels file (UTF-8; a byte-order mark allowed; # begins a comment at the
// start of a line or after a blank). Addresses that carry a token or a password go over TLS
// (https://, smtps://, smtp:// with STARTTLS), or to this machine.
tl::expected<std::vector<AlertChannel>, ChannelListError> ReadChannelList(std::string_view text);

}  // namespace slotscope
