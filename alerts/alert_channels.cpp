#include "alerts/alert_channels.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "base/ascii.h"
#include "base/network_address.h"

namespace slotscope {
namespace {

using Kind = AlertChannel::Kind;

struct KindName {
    std::string_view name;
    Kind kind;
    std::string_view keys;  // the key=value words it takes, as the error names them
};

constexpr std::array<KindName, 5> kKinds = {{
    {"dingtalk", Kind::DingTalk, "secret="},
    {"wecom", Kind::WeCom, ""},
    {"feishu", Kind::Feishu, "secret="},
    {"webhook", Kind::Webhook, ""},
    {"mail", Kind::Mail, "from=, to= and tls=off"},
}};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The line without its comment: a # at the start of the line or after a blank begins one; a #
// within an address (a token may hold one) is the address's.
std::string_view WithoutComment(std::string_view line) {
    for (std::size_t at = line.find('#'); at != std::string_view::npos;
         at = line.find('#', at + 1)) {
        if (at == 0 || IsBlank(line[at - 1])) {
            return line.substr(0, at);
        }
    }
    return line;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    while (!(text = Trimmed(text)).empty()) {
        const auto* const end = std::find_if(text.begin(), text.end(), IsBlank);
        const auto length = static_cast<std::size_t>(end - text.begin());
        words.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return words;
}

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A mail address as an envelope takes it: local@domain, nothing that would end or split it.
bool IsMailAddress(std::string_view address) {
    const std::size_t at = address.find('@');
    return at != std::string_view::npos && at > 0 && at + 1 < address.size() &&
           address.find('@', at + 1) == std::string_view::npos && !HasControl(address) &&
           address.find_first_of(" <>,;:\"()[]\\") == std::string_view::npos;
}

// The scheme, host and port of an address, the rest of it left out where it may hold a token.
std::string HostPart(std::string_view address) {
    const std::size_t scheme = address.find("://");
    const std::size_t hostStart = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t hostEnd = std::min(address.find_first_of("/?#", hostStart), address.size());
    std::string_view authority = address.substr(hostStart, hostEnd - hostStart);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    return std::string(address.substr(0, hostStart)) + std::string(authority) +
           (hostEnd < address.size() ? "/…" : "");
}

// A robot's or webhook's address into `channel`; what is wrong, if anything.
std::optional<std::string> ReadWebAddress(std::string_view address, AlertChannel& channel) {
    const bool https = ascii::StartsWithLower(address, "https://");
    if (!https && !ascii::StartsWithLower(address, "http://")) {
        return "the address starts with https://";
    }
    const std::string_view rest = address.substr(https ? 8 : 7);
    const std::size_t end = std::min(rest.find_first_of("/?#"), rest.size());
    const auto authority =
        ReadAuthority(rest.substr(0, end), /*credentials=*/false, https ? 443 : 80);
    if (!authority) {
        return authority.error();
    }
    // The address holds the robot's token: it goes over TLS, or stays on this machine.
    if (!https && !authority->IsLoopback()) {
        return "the address carries its token in clear over http://; use its https:// address";
    }
    if (HasControl(address)) {
        return "the address holds a control character";
    }
    channel.address = std::string(address);
    return std::nullopt;
}

// A mail server's address, smtp:// or smtps:// with the login, into `channel`.
std::optional<std::string> ReadMailAddress(std::string_view address, AlertChannel& channel) {
    const bool smtps = ascii::StartsWithLower(address, "smtps://");
    if (!smtps && !ascii::StartsWithLower(address, "smtp://")) {
        return "a mail server's address starts with smtps:// or smtp://";
    }
    auto authority =
        ReadAuthority(address.substr(smtps ? 8 : 7), /*credentials=*/true, smtps ? 465 : 587);
    if (!authority) {
        return std::move(authority).error();
    }
    channel.address = std::string(smtps ? "smtps://" : "smtp://") + authority->HostAndPort();
    channel.user = std::move(authority->user);
    channel.password = std::move(authority->password);
    return std::nullopt;
}

// One key=value word into `channel`, the `position`th of the line; what is wrong, if anything,
// never quoting the word: it may be a token or a secret cut off by a blank.
std::optional<std::string> ReadWord(std::string_view word, std::size_t position,
                                    const KindName& kind, AlertChannel& channel) {
    const std::size_t equals = word.find('=');
    const std::string key(word.substr(0, equals));
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : word.substr(equals + 1);
    const auto takes = [&](std::string_view name) {
        return kind.keys.find(name) != std::string_view::npos && equals != std::string_view::npos;
    };
    if (key == "secret" && takes("secret=") && !value.empty()) {
        channel.secret = std::string(value);
    } else if (key == "from" && takes("from=") && IsMailAddress(value)) {
        channel.from = std::string(value);
    } else if (key == "to" && takes("to=")) {
        for (std::size_t start = 0; start <= value.size();) {
            const std::size_t comma = std::min(value.find(',', start), value.size());
            const std::string_view to = value.substr(start, comma - start);
            if (!IsMailAddress(to)) {
                return "to= takes mail addresses separated by commas";
            }
            channel.to.emplace_back(to);
            start = comma + 1;
        }
    } else if (key == "tls" && takes("tls=off") && ascii::EqualsLower(value, "off")) {
        channel.tls = false;
    } else if (key == "from" && takes("from=")) {
        return "from= takes one mail address";
    } else {
        const std::string which = "word " + std::to_string(position + 1) + " after the =";
        return kind.keys.empty()
                   ? std::string(kind.name) + " takes nothing after its address (" + which + ")"
                   : std::string(kind.name) + " takes " + std::string(kind.keys) +
                         " after its address; " + which + " is none of them";
    }
    return std::nullopt;
}

// What a mail channel needs whole; what is missing or unsafe, if anything.
std::optional<std::string> CheckMail(const AlertChannel& channel) {
    if (channel.from.empty() || channel.to.empty()) {
        return "mail needs from= and to=";
    }
    const bool smtps = channel.address.starts_with("smtps://");
    const std::string host = channel.address.substr(smtps ? 8 : 7);
    if (!channel.tls && (smtps || !IsLoopbackHost(host.substr(0, host.rfind(':'))))) {
        return "tls=off is for a smtp:// relay on this machine only";
    }
    return std::nullopt;
}

// One line's channel; what is wrong, if anything.
tl::expected<AlertChannel, std::string> ReadLine(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return tl::unexpected(std::string("a line is KIND = ADDRESS"));
    }
    const std::string_view name = Trimmed(line.substr(0, equals));
    const auto* kind = std::find_if(kKinds.begin(), kKinds.end(), [&](const KindName& k) {
        return ascii::EqualsLower(name, k.name);
    });
    if (kind == kKinds.end()) {
        return tl::unexpected(std::string("a channel is dingtalk, wecom, feishu, webhook or mail"));
    }
    const std::vector<std::string_view> words = Words(line.substr(equals + 1));
    if (words.empty()) {
        return tl::unexpected(std::string("an address comes after the ="));
    }
    AlertChannel channel;
    channel.kind = kind->kind;
    std::optional<std::string> wrong = kind->kind == Kind::Mail
                                           ? ReadMailAddress(words.front(), channel)
                                           : ReadWebAddress(words.front(), channel);
    for (std::size_t w = 1; !wrong && w < words.size(); ++w) {
        wrong = ReadWord(words[w], w, *kind, channel);
    }
    if (!wrong && kind->kind == Kind::Mail) {
        wrong = CheckMail(channel);
    }
    if (wrong) {
        return tl::unexpected(std::move(*wrong));
    }
    return channel;
}

}  // namespace

std::string AlertChannel::Shown() const {
    const auto* named = std::find_if(kKinds.begin(), kKinds.end(),
                                     [&](const KindName& k) { return k.kind == kind; });
    if (kind != Kind::Mail) {
        return std::string(named->name) + " " + HostPart(address);
    }
    const std::size_t hostStart = address.find("://") + 3;
    return std::string(named->name) + " " + address.substr(0, hostStart) +
           (user.empty() ? "" : user + "@") + address.substr(hostStart);
}

tl::expected<std::vector<AlertChannel>, ChannelListError> ReadChannelList(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::vector<AlertChannel> channels;
    int number = 0;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        const std::string_view line = Trimmed(WithoutComment(text.substr(start, end - start)));
        start = end + (text.substr(end).starts_with("\r\n") ? 2 : 1);
        ++number;
        if (line.empty()) {
            continue;
        }
        auto channel = ReadLine(line);
        if (!channel) {
            return tl::unexpected(ChannelListError{number, std::move(channel).error()});
        }
        channels.push_back(std::move(*channel));
    }
    return channels;
}

}  // namespace slotscope
