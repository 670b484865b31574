#pragma once

// What a run tells a channel: which runs call for a message under the user's rule, and the
// message itself, in Markdown or text, cut to the channel's size at a whole line.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "alerts/run_digest.h"

namespace slotscope {

// When a run sends a message: a slot lost (掉出, the default); also a slot lower than before
// (下降或掉出); any change, up and gained too (任何变化); after every run (每次).
enum class AlertRule { Lost, Drop, Change, Every };

// The rule the command line names: lost, drop, change or every.
std::optional<AlertRule> AlertRuleNamed(std::string_view name);
// The rules as the window lists them, one a line, in the enum's order.
inline constexpr std::u16string_view kAlertRuleChoices = u"掉出\n下降或掉出\n任何变化\n每次";
// The rule the window's choice names; 掉出 where it names none.
AlertRule AlertRuleOfChoice(std::u16string_view choice);

// Whether the rule tells of this move.
bool Tells(AlertRule rule, const MovedSlot& moved);

// Whether the run calls for a message: one in trouble (more than half its keywords failed)
// always does; the first run of a site, with nothing to compare, only under 每次; else one with
// a move the rule tells of, or any run under 每次.
bool CallsForMessage(const RunDigest& digest, AlertRule rule);

struct AlertMessage {
    std::string title;
    std::string text;  // the whole message, its title on the first line
};

// The message for a run that started at `localTime` (as the user reads it): the site, the page
// and the region, the time, the counts, then the moves the rule tells of, the worst first
// ("鲜花：左2 → 左无（左2 现为 meiguihua.com）"). In Markdown where `markdown`, with the texts of
// pages and keywords escaped. At most `limit` bytes: lines that do not fit are left out whole
// and counted ("…另有3个词").
AlertMessage MessageOf(const RunDigest& digest, AlertRule rule, std::string_view localTime,
                       bool markdown, std::size_t limit);

// The message a channel's test sends.
AlertMessage TestMessage(bool markdown);

}  // namespace slotscope
