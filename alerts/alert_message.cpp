#include "alerts/alert_message.h"

#include <algorithm>
#include <array>
#include <vector>

namespace slotscope {
namespace {

constexpr std::array<std::pair<std::string_view, AlertRule>, 4> kRules = {{
    {"lost", AlertRule::Lost},
    {"drop", AlertRule::Drop},
    {"change", AlertRule::Change},
    {"every", AlertRule::Every},
}};

// Text from a page or the user in Markdown: every sign Markdown reads escaped.
std::string Escaped(std::string_view text, bool markdown) {
    if (!markdown) {
        return std::string(text);
    }
    std::string escaped;
    for (const char c : text) {
        if (std::string_view("\\`*_{}[]()#+-.!<>|~").find(c) != std::string_view::npos) {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

std::string PageName(std::string_view device) {
    return device == "mobile" ? "手机" : device == "both" ? "电脑和手机" : "电脑";
}

// "左2": a slot on a side of a page.
std::string SlotName(const MovedSlot& moved, int slot) {
    const bool phone = moved.page == "mobile";
    const char* side = moved.left ? (phone ? "上" : "左") : (phone ? "下" : "右");
    return side + std::to_string(slot);
}

// One move as its line says it, without Markdown's list mark.
std::string MoveLine(const MovedSlot& moved, bool bothPages, bool markdown) {
    std::string line = markdown ? "**" + Escaped(moved.keyword, true) + "**" : moved.keyword;
    if (bothPages) {
        line += moved.page == "mobile" ? "（手机）" : "（电脑）";
    }
    line += "：" + Escaped(moved.before.empty() ? "?" : moved.before, markdown) + " → " +
            Escaped(moved.after, markdown);
    if (moved.beforeSlot > 0 && !moved.holder.empty()) {
        line += "（" + SlotName(moved, moved.beforeSlot) + " 现为 " +
                Escaped(moved.holder, markdown) + "）";
    }
    return line;
}

// "共300个词：掉出2个，下降1个，新上0个，上升1个，查询失败3个"
std::string CountsLine(const RunDigest& digest) {
    std::array<int, 4> counts{};
    constexpr std::array<std::string_view, 4> kinds = {"lost", "down", "gained", "up"};
    constexpr std::array<std::string_view, 4> names = {"掉出", "下降", "新上", "上升"};
    for (const MovedSlot& moved : digest.moved) {
        for (std::size_t k = 0; k < kinds.size(); ++k) {
            counts[k] += moved.kind == kinds[k] ? 1 : 0;
        }
    }
    std::string line = "共" + std::to_string(digest.keywords) + "个词：";
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        line += std::string(names[k]) + std::to_string(counts[k]) + "个，";
    }
    return line + "查询失败" + std::to_string(digest.failed) + "个";
}

std::string Title(const RunDigest& digest, AlertRule rule) {
    if (digest.troubled()) {
        return "查询出错：" + digest.site;
    }
    const bool told = std::any_of(digest.moved.begin(), digest.moved.end(),
                                  [&](const MovedSlot& moved) { return Tells(rule, moved); });
    return (told ? "推广位变化：" : "查询完毕：") + digest.site;
}

}  // namespace

std::optional<AlertRule> AlertRuleNamed(std::string_view name) {
    for (const auto& [text, rule] : kRules) {
        if (text == name) {
            return rule;
        }
    }
    return std::nullopt;
}

AlertRule AlertRuleOfChoice(std::u16string_view choice) {
    std::size_t index = 0;
    for (std::size_t start = 0; start <= kAlertRuleChoices.size(); ++index) {
        const std::size_t end =
            std::min(kAlertRuleChoices.find(u'\n', start), kAlertRuleChoices.size());
        if (kAlertRuleChoices.substr(start, end - start) == choice) {
            return kRules[index].second;
        }
        start = end + 1;
    }
    return AlertRule::Lost;
}

bool Tells(AlertRule rule, const MovedSlot& moved) {
    switch (rule) {
        case AlertRule::Lost:
            return moved.kind == "lost";
        case AlertRule::Drop:
            return moved.kind == "lost" || moved.kind == "down";
        case AlertRule::Change:
        case AlertRule::Every:
            break;
    }
    return true;
}

bool CallsForMessage(const RunDigest& digest, AlertRule rule) {
    if (digest.troubled() || rule == AlertRule::Every) {
        return true;
    }
    return digest.compared &&
           std::any_of(digest.moved.begin(), digest.moved.end(),
                       [&](const MovedSlot& moved) { return Tells(rule, moved); });
}

AlertMessage MessageOf(const RunDigest& digest, AlertRule rule, std::string_view localTime,
                       bool markdown, std::size_t limit) {
    AlertMessage message;
    message.title = Title(digest, rule);
    std::vector<std::string> head = {
        markdown ? "#### " + Escaped(message.title, true) : message.title,
        PageName(digest.device) + " · " +
            Escaped(digest.region.empty() ? "本机" : digest.region, markdown) + " · " +
            std::string(localTime),
        CountsLine(digest)};
    if (digest.troubled()) {
        head.push_back("超过一半的词查询失败（验证页" + std::to_string(digest.blocked) +
                       "个），请检查网络或代理，或稍后再试");
    }
    std::vector<std::string> lines;
    for (const MovedSlot& moved : digest.moved) {
        if (Tells(rule, moved)) {
            lines.push_back((markdown ? "- " : "") +
                            MoveLine(moved, digest.device == "both", markdown));
        }
    }
    // Markdown needs a blank line to end a paragraph; a list's items need only their own.
    const std::string headBreak = markdown ? "\n\n" : "\n";
    for (const std::string& line : head) {
        message.text += (message.text.empty() ? "" : headBreak) + line;
    }
    for (std::size_t shown = 0; shown < lines.size(); ++shown) {
        const std::string tail = "\n…另有" + std::to_string(lines.size() - shown - 1) + "个词";
        const std::string next = (shown == 0 ? headBreak : "\n") + lines[shown];
        const bool last = shown + 1 == lines.size();
        if (message.text.size() + next.size() + (last ? 0 : tail.size()) > limit) {
            message.text += "\n…另有" + std::to_string(lines.size() - shown) + "个词";
            break;
        }
        message.text += next;
    }
    return message;
}

AlertMessage TestMessage(bool markdown) {
    AlertMessage message;
    message.title = "Slotscope 测试消息";
    message.text = (markdown ? "#### " : "") + message.title + (markdown ? "\n\n" : "\n") +
                   "推广位有变化时，这里会收到通知。";
    return message;
}

}  // namespace slotscope
