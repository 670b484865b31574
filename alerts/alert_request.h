#pragma once

// A message as each channel takes it: the address with DingTalk's signature, the JSON body with
// Feishu's, the whole mail with its headers; and what a robot's answer says of it.

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "alerts/alert_channels.h"
#include "alerts/alert_message.h"
#include "alerts/run_digest.h"

namespace slotscope {

struct AlertRequest {
    std::string url;   // where it goes: signed for DingTalk; smtp(s)://host:port for mail
    std::string body;  // the JSON document, or the whole mail
};

// What a run says to a channel: its digest (none for a channel's test), the user's rule, and
// when the run started as the user reads it.
struct AlertNews {
    const RunDigest* digest = nullptr;
    AlertRule rule = AlertRule::Lost;
    std::string localTime;
};

// The most bytes of message a channel takes: WeCom's Markdown 4,096; Feishu's 20 KB body and
// DingTalk's about 20,000, each with room for the rest of the document.
std::size_t MessageLimit(AlertChannel::Kind kind);

// The request that brings `news` to `channel` at `now`.
AlertRequest RequestFor(const AlertChannel& channel, const AlertNews& news,
                        std::chrono::system_clock::time_point now);

// Why a robot's or webhook's answer says the message was not taken ("HTTP 404", "errcode
// 310000: sign not match"); empty when it was taken.
std::string AnswerProblem(const AlertChannel& channel, long status, std::string_view body);

// Base64 with padding, and percent-encoding of every byte but letters, digits and - _ . ~.
std::string Base64(std::string_view bytes);
std::string PercentEncoded(std::string_view text);

// The platforms' signatures, as each documents it: DingTalk's for a time in milliseconds (Base64
// of HMAC-SHA256 of "time\nsecret" under the secret), Feishu's for a time in seconds (Base64 of
// HMAC-SHA256 of nothing under "time\nsecret").
std::string DingTalkSign(std::string_view secret, long long milliseconds);
std::string FeishuSign(std::string_view secret, long long seconds);

}  // namespace slotscope
