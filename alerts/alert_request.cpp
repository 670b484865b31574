#include "alerts/alert_request.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

#include "alerts/hmac_sha256.h"
#include "base/ascii.h"

namespace slotscope {
namespace {

using Json = nlohmann::ordered_json;
using Kind = AlertChannel::Kind;

// The moves a webhook's document lists at most; the rest are counted.
constexpr std::size_t kMostMovesListed = 1000;

// Valid UTF-8 whatever the page held: the JSON library refuses anything else.
std::string Dumped(const Json& document) {
    return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string MessageText(const AlertChannel& channel, const AlertNews& news, bool markdown,
                        std::size_t limit = 0) {
    const AlertMessage message = news.digest == nullptr
                                     ? TestMessage(markdown)
                                     : MessageOf(*news.digest, news.rule, news.localTime, markdown,
                                                 limit > 0 ? limit : MessageLimit(channel.kind));
    return message.text;
}

// The largest documents the robots take: DingTalk's about 20,000 bytes, Feishu's 20 KB.
constexpr std::size_t kDingTalkBody = 20'000;
constexpr std::size_t kFeishuBody = std::size_t{20} * 1024;

// A document of at most `bodyLimit` bytes from `make`, which writes one for a message of at most
// so many bytes: quotes and backslashes in keywords grow the message once it is in the document,
// and the message is then cut shorter.
template <typename Make>
std::string Fitted(std::size_t bodyLimit, std::size_t textLimit, const Make& make) {
    constexpr std::size_t kShortest = 1024;
    std::string body = make(textLimit);
    while (body.size() > bodyLimit && textLimit > kShortest) {
        textLimit -= std::min(textLimit - kShortest, body.size() - bodyLimit);
        body = make(textLimit);
    }
    return body;
}

std::string TitleOf(const AlertNews& news) {
    return news.digest == nullptr
               ? TestMessage(false).title
               : MessageOf(*news.digest, news.rule, news.localTime, false, 0).title;
}

// The whole run for a webhook, every move the rule tells of with the rest of what it knows.
Json WebhookDocument(const AlertChannel& channel, const AlertNews& news) {
    Json document;
    document["title"] = TitleOf(news);
    document["text"] = MessageText(channel, news, false);
    if (news.digest == nullptr) {
        document["test"] = true;
        return document;
    }
    const RunDigest& digest = *news.digest;
    document["site"] = digest.site;
    document["device"] = digest.device;
    document["region"] = digest.region.empty() ? Json(nullptr) : Json(digest.region);
    document["started"] = digest.started;
    document["keywords"] = digest.keywords;
    document["failed"] = digest.failed;
    document["blocked"] = digest.blocked;
    Json moved = Json::array();
    std::size_t more = 0;
    for (const MovedSlot& slot : digest.moved) {
        if (!Tells(news.rule, slot)) {
            continue;
        }
        if (moved.size() == kMostMovesListed) {
            ++more;
            continue;
        }
        moved.push_back({{"keyword", slot.keyword},
                         {"page", slot.page},
                         {"side", slot.left ? "left" : "right"},
                         {"before", slot.before},
                         {"after", slot.after},
                         {"change", slot.kind},
                         {"by", slot.by},
                         {"holder", slot.holder.empty() ? Json(nullptr) : Json(slot.holder)}});
    }
    document["moved"] = std::move(moved);
    document["more"] = more;
    return document;
}

// "Wed, 09 Dec 2026 06:00:00 +0000"
std::string MailDate(std::chrono::system_clock::time_point now) {
    using namespace std::chrono;
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{floor<seconds>(now - day)};
    constexpr std::array<const char*, 7> weekdays = {"Sun", "Mon", "Tue", "Wed",
                                                     "Thu", "Fri", "Sat"};
    constexpr std::array<const char*, 12> months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto two = [](long long value) {
        return (value < 10 ? "0" : "") + std::to_string(value);
    };
    return std::string(weekdays[weekday{day}.c_encoding()]) + ", " +
           two(static_cast<unsigned>(date.day())) + " " +
           months[static_cast<unsigned>(date.month()) - 1] + " " +
           std::to_string(static_cast<int>(date.year())) + " " + two(time.hours().count()) + ":" +
           two(time.minutes().count()) + ":" + two(time.seconds().count()) + " +0000";
}

// The whole mail: its headers, then the text in Base64, lines of 76.
std::string Mail(const AlertChannel& channel, const AlertNews& news,
                 std::chrono::system_clock::time_point now) {
    std::string to;
    for (const std::string& receiver : channel.to) {
        to += (to.empty() ? "" : ", ") + receiver;
    }
    std::string mail = "Date: " + MailDate(now) + "\r\nFrom: " + channel.from + "\r\nTo: " + to +
                       "\r\nSubject: =?UTF-8?B?" + Base64(TitleOf(news)) +
                       "?=\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                       "Content-Transfer-Encoding: base64\r\n\r\n";
    std::string text;
    for (const char c : MessageText(channel, news, false)) {
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    const std::string encoded = Base64(text);
    for (std::size_t at = 0; at < encoded.size(); at += 76) {
        mail += encoded.substr(at, 76) + "\r\n";
    }
    return mail;
}

// Text the robot answered, fit for a line of the command line's: short, nothing that ends it.
std::string Printable(std::string text) {
    if (text.size() > 200) {
        text.resize(200);
    }
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    return text;
}

}  // namespace

std::size_t MessageLimit(Kind kind) {
    switch (kind) {
        case Kind::WeCom:
            return 4096;
        case Kind::Feishu:
            return 19'000;
        case Kind::DingTalk:
            return 19'500;
        case Kind::Webhook:
        case Kind::Mail:
            break;
    }
    return std::size_t{64} * 1024;
}

AlertRequest RequestFor(const AlertChannel& channel, const AlertNews& news,
                        std::chrono::system_clock::time_point now) {
    using std::chrono::duration_cast;
    const auto since = now.time_since_epoch();
    AlertRequest request{channel.address, {}};
    switch (channel.kind) {
        case Kind::DingTalk: {
            const std::string title = TitleOf(news);
            request.body =
                Fitted(kDingTalkBody, MessageLimit(channel.kind), [&](std::size_t limit) {
                    return Dumped(
                        {{"msgtype", "markdown"},
                         {"markdown",
                          {{"title", title}, {"text", MessageText(channel, news, true, limit)}}}});
                });
            if (!channel.secret.empty()) {
                const long long ms = duration_cast<std::chrono::milliseconds>(since).count();
                request.url += std::string(request.url.find('?') == std::string::npos ? "?" : "&") +
                               "timestamp=" + std::to_string(ms) +
                               "&sign=" + PercentEncoded(DingTalkSign(channel.secret, ms));
            }
            break;
        }
        case Kind::WeCom:
            request.body = Dumped({{"msgtype", "markdown"},
                                   {"markdown", {{"content", MessageText(channel, news, true)}}}});
            break;
        case Kind::Feishu: {
            Json document;
            if (!channel.secret.empty()) {
                const long long s = duration_cast<std::chrono::seconds>(since).count();
                document["timestamp"] = std::to_string(s);
                document["sign"] = FeishuSign(channel.secret, s);
            }
            document["msg_type"] = "text";
            request.body = Fitted(kFeishuBody, MessageLimit(channel.kind), [&](std::size_t limit) {
                document["content"] = {{"text", MessageText(channel, news, false, limit)}};
                return Dumped(document);
            });
            break;
        }
        case Kind::Webhook:
            request.body = Dumped(WebhookDocument(channel, news));
            break;
        case Kind::Mail:
            request.body = Mail(channel, news, now);
            break;
    }
    return request;
}

std::string AnswerProblem(const AlertChannel& channel, long status, std::string_view body) {
    if (status < 200 || status >= 300) {
        return "HTTP " + std::to_string(status);
    }
    if (channel.kind == Kind::Webhook || channel.kind == Kind::Mail) {
        return {};
    }
    // DingTalk and WeCom say errcode and errmsg, Feishu code and msg; 0 for a message taken.
    const Json answer = Json::parse(body, nullptr, /*allow_exceptions=*/false);
    const bool feishu = channel.kind == Kind::Feishu;
    const char* codeKey = feishu ? "code" : "errcode";
    const char* wordsKey = feishu ? "msg" : "errmsg";
    if (!answer.is_object() || !answer.contains(codeKey) || !answer[codeKey].is_number_integer()) {
        return "an answer that is not the robot's";
    }
    const long long code = answer[codeKey].get<long long>();
    if (code == 0) {
        return {};
    }
    const std::string words = answer.contains(wordsKey) && answer[wordsKey].is_string()
                                  ? answer[wordsKey].get<std::string>()
                                  : std::string();
    return Printable(std::string(codeKey) + " " + std::to_string(code) +
                     (words.empty() ? "" : ": " + words));
}

std::string Base64(std::string_view bytes) {
    constexpr std::string_view kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
        unsigned int group = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            group = group << 8U | (i < count ? static_cast<unsigned char>(bytes[at + i]) : 0U);
        }
        for (std::size_t i = 0; i < 4; ++i) {
            encoded += i <= count ? kDigits[(group >> (18 - 6 * i)) & 0x3FU] : '=';
        }
    }
    return encoded;
}

std::string PercentEncoded(std::string_view text) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        if (ascii::IsLetter(c) || ascii::IsDigit(c) || c == '-' || c == '_' || c == '.' ||
            c == '~') {
            encoded += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            encoded += '%';
            encoded += kHex[byte >> 4U];
            encoded += kHex[byte & 0xFU];
        }
    }
    return encoded;
}

std::string DingTalkSign(std::string_view secret, long long milliseconds) {
    return Base64(HmacSha256(secret, std::to_string(milliseconds) + "\n" + std::string(secret)));
}

std::string FeishuSign(std::string_view secret, long long seconds) {
    return Base64(HmacSha256(std::to_string(seconds) + "\n" + std::string(secret), ""));
}

}  // namespace slotscope
