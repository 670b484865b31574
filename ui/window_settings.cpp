#include "ui/window_settings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "alerts/alert_channels.h"
#include "alerts/alert_message.h"
#include "base/file_open.h"
#include "base/numbers.h"
#include "base/side_file.h"
#include "base/text_codec.h"
#include "core/fetch_ahead.h"
#include "core/run_limits.h"
#include "core/schedule.h"
#include "regions/region_list.h"
#include "ui/form_table.h"

namespace slotscope {
namespace {

constexpr std::string_view kSection = "[Slotscope]";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// Keyword lists of a few hundred thousand lines fit; a file larger than this is no settings file.
constexpr std::size_t kLargestFile = std::size_t{64} * 1024 * 1024;

// A value on one line: backslashes, line breaks and carriage returns written as \\, \n and \r.
std::string Escaped(std::u16string_view text) {
    std::string escaped;
    for (const char c : EncodeUtf8(text)) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\r') {
            escaped += "\\r";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::optional<std::u16string> Unescaped(std::string_view value) {
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            text += value[i];
            continue;
        }
        if (++i == value.size()) {
            return std::nullopt;
        }
        switch (value[i]) {
            case '\\':
                text += '\\';
                break;
            case 'n':
                text += '\n';
                break;
            case 'r':
                text += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return DecodeUtf8(text);
}

bool ValidDelay(std::u16string_view delay) {
    return delay.empty() || ParsePacing(EncodeUtf8(delay)).has_value();
}

// The schedule's parts and the alerts' rule: empty (off, all day, every day) or as they read.
bool ValidMinutes(std::u16string_view minutes) {
    return minutes.empty() ||
           WholeNumber(EncodeUtf8(minutes), static_cast<int>(kShortestWindowInterval.count()),
                       7 * 24 * 60)
               .has_value();
}
bool ValidBetween(std::u16string_view between) {
    return between.empty() || ParseTimeWindow(EncodeUtf8(between)).has_value();
}
bool ValidDays(std::u16string_view days) {
    return days.empty() || ParseWeekdays(EncodeUtf8(days)).has_value();
}
bool ValidRule(std::u16string_view rule) {
    const auto choices = form::Lines(kAlertRuleChoices);
    return std::find(choices.begin(), choices.end(), rule) != choices.end();
}

// Whether a text setting's value is one it takes.
bool Valid(const std::u16string* field, const WindowSettings& settings, std::u16string_view value) {
    const RunSettings& run = settings.run;
    return field == &run.delay             ? ValidDelay(value)
           : field == &run.scheduleMinutes ? ValidMinutes(value)
           : field == &run.scheduleBetween ? ValidBetween(value)
           : field == &run.scheduleDays    ? ValidDays(value)
           : field == &run.alertRule       ? ValidRule(value)
                                           : true;
}

std::filesystem::path PathOf(const std::string& utf8Path) {
    return {std::u8string(utf8Path.begin(), utf8Path.end())};
}

std::string Joined(const std::string& folder, std::string_view name) {
    const bool separated = folder.ends_with('/') || folder.ends_with('\\');
    return folder + (separated ? "" : "/") + std::string(name);
}

// The first line of `text`, without its line break, taken off the text.
std::string_view TakeLine(std::string_view& text) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return line;
}

bool IsBlankOrComment(std::string_view line) {
    return line.empty() || line.starts_with(';') || line.starts_with('#');
}

// A whole-number setting into its place; false when it is not a number in its range.
bool ReadNumberSetting(std::string_view key, std::string_view value, RunSettings& run) {
    const bool pages = key == "PagesAtOnce";
    const auto number = WholeNumber(value, pages ? limits::kFewestPagesAtOnce : 0,
                                    pages ? limits::kMostPagesAtOnce : limits::kMostVerifyRounds);
    if (!number) {
        return false;
    }
    (pages ? run.pagesAtOnce : run.verifyRounds) = *number;
    return true;
}

// Where a text setting goes; nothing for a key this version does not know.
std::u16string* TextSetting(std::string_view key, WindowSettings& settings) {
    using Field = std::u16string* (*)(WindowSettings&);
    static constexpr std::array<std::pair<std::string_view, Field>, 9> kTexts = {{
        {"Website", [](WindowSettings& s) { return &s.website; }},
        {"Device", [](WindowSettings& s) { return &s.device; }},
        {"Region", [](WindowSettings& s) { return &s.region; }},
        {"Delay", [](WindowSettings& s) { return &s.run.delay; }},
        {"ScheduleMinutes", [](WindowSettings& s) { return &s.run.scheduleMinutes; }},
        {"ScheduleBetween", [](WindowSettings& s) { return &s.run.scheduleBetween; }},
        {"ScheduleDays", [](WindowSettings& s) { return &s.run.scheduleDays; }},
        {"AlertRule", [](WindowSettings& s) { return &s.run.alertRule; }},
        {"Keywords", [](WindowSettings& s) { return &s.keywords; }},
    }};
    for (const auto& [name, field] : kTexts) {
        if (name == key) {
            return field(settings);
        }
    }
    return nullptr;
}

// One KEY=VALUE line of the section into the settings; false when the line is no setting or its
// value is not one the setting takes.
bool ReadSettingLine(std::string_view line, WindowSettings& settings) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (key == "PagesAtOnce" || key == "VerifyRounds") {
        return ReadNumberSetting(key, value, settings.run);
    }
    std::u16string* field = TextSetting(key, settings);
    if (field == nullptr) {
        return true;  // a later version's setting
    }
    std::optional<std::u16string> unescaped = Unescaped(value);
    if (!unescaped || !Valid(field, settings, *unescaped)) {
        return false;
    }
    *field = std::move(*unescaped);
    return true;
}

// What cannot be read on a line of a box, as the dialog says it: "地域第2行无法读取：…".
std::u16string LineFault(std::u16string_view box, int line, const std::string& message) {
    return std::u16string(box) +
           (line > 0 ? u"第" + DecodeUtf8(std::to_string(line)) + u"行" : std::u16string()) +
           u"无法读取：" + DecodeUtf8(message);
}

// The dialog's schedule and alerts into `settings`; or why they cannot be taken.
tl::expected<RunSettings, std::u16string> ReadScheduleAndAlerts(
    const DialogTexts& texts, const std::function<std::u16string(std::string_view)>& trimmed,
    RunSettings settings) {
    settings.scheduleMinutes = trimmed("Text6");
    if (!ValidMinutes(settings.scheduleMinutes)) {
        return tl::unexpected(std::u16string(u"定时查询的间隔须为10以上的整数分钟，空为不定时"));
    }
    settings.scheduleBetween = trimmed("Text7");
    if (!ValidBetween(settings.scheduleBetween)) {
        return tl::unexpected(std::u16string(u"时段须如08:00-20:00，空为全天"));
    }
    settings.scheduleDays = trimmed("Text8");
    if (!ValidDays(settings.scheduleDays)) {
        return tl::unexpected(std::u16string(u"星期须如1-5或1,3,5（1为星期一），空为每天"));
    }
    settings.channels = trimmed("Text9");
    if (const auto channels = ReadChannelList(EncodeUtf8(texts("Text9"))); !channels) {
        // The reason names the line, never a token, a secret or a password.
        return tl::unexpected(LineFault(u"通知", channels.error().line, channels.error().message));
    }
    settings.alertRule = trimmed("Combo3");
    if (!ValidRule(settings.alertRule)) {
        settings.alertRule = u"掉出";
    }
    return settings;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& utf8Path, std::size_t limit) {
    std::FILE* file = OpenRegularFile(utf8Path);
    if (file == nullptr) {
        return std::nullopt;
    }
    std::string bytes;
    std::array<char, 65536> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        bytes.append(buffer.data(), got);
        if (bytes.size() > limit) {
            std::fclose(file);
            return std::nullopt;
        }
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return std::nullopt;
    }
    return bytes;
}

std::string FormatSettingsFile(const WindowSettings& settings) {
    std::string text =
        "; Slotscope's window settings, UTF-8. The cookie and the regions are not kept here.\n";
    text += kSection;
    text += '\n';
    text += "Website=" + Escaped(settings.website) + '\n';
    text += "Device=" + Escaped(settings.device) + '\n';
    text += "Region=" + Escaped(settings.region) + '\n';
    text += "PagesAtOnce=" + std::to_string(settings.run.pagesAtOnce) + '\n';
    text += "Delay=" + Escaped(settings.run.delay) + '\n';
    text += "VerifyRounds=" + std::to_string(settings.run.verifyRounds) + '\n';
    text += "ScheduleMinutes=" + Escaped(settings.run.scheduleMinutes) + '\n';
    text += "ScheduleBetween=" + Escaped(settings.run.scheduleBetween) + '\n';
    text += "ScheduleDays=" + Escaped(settings.run.scheduleDays) + '\n';
    text += "AlertRule=" + Escaped(settings.run.alertRule) + '\n';
    text += "Keywords=" + Escaped(settings.keywords) + '\n';
    return text;
}

std::optional<WindowSettings> ParseSettingsFile(std::string_view text) {
    if (text.starts_with(kUtf8Mark)) {
        text.remove_prefix(kUtf8Mark.size());
    }
    if (!IsValidUtf8(text)) {
        return std::nullopt;
    }
    WindowSettings settings;
    bool inSection = false;
    while (!text.empty()) {
        const std::string_view line = TakeLine(text);
        if (IsBlankOrComment(line)) {
            continue;
        }
        if (!inSection) {
            // Another program's file, or none: nothing of it is taken.
            if (line != kSection) {
                return std::nullopt;
            }
            inSection = true;
            continue;
        }
        if (line.starts_with('[')) {
            break;  // another section: not this program's
        }
        if (!ReadSettingLine(line, settings)) {
            return std::nullopt;
        }
    }
    if (!inSection) {
        return std::nullopt;
    }
    return settings;
}

SettingsStore::SettingsStore(std::string programFolder, std::string userFolder)
    : programFolder_(std::move(programFolder)), userFolder_(std::move(userFolder)) {}

WindowSettings SettingsStore::Load() const {
    // The file saved last: a program folder that stopped taking the file (made read-only) sends
    // the saves to the user's folder, and the older file beside the program must not win.
    WindowSettings settings;
    std::filesystem::file_time_type newest = std::filesystem::file_time_type::min();
    for (const std::string* folder : {&programFolder_, &userFolder_}) {
        const std::string path = Joined(*folder, kSettingsFileName);
        if (!OnlyOwnerCanChange(*folder) || !OnlyOwnerCanChange(path)) {
            continue;
        }
        std::error_code error;
        const auto written = std::filesystem::last_write_time(PathOf(path), error);
        if (error || written <= newest) {
            continue;
        }
        const auto text = ReadWholeFile(path, kLargestFile);
        if (auto read = text ? ParseSettingsFile(*text) : std::nullopt) {
            settings = std::move(*read);
            newest = written;
        }
    }
    for (const auto& [name, secret] : {std::pair{kCookieFileName, &settings.run.cookie},
                                       std::pair{kRegionsFileName, &settings.run.regions},
                                       std::pair{kChannelsFileName, &settings.run.channels}}) {
        const std::string path = Joined(userFolder_, name);
        if (!OnlyOwnerCanChange(userFolder_) || !OnlyOwnerCanChange(path)) {
            continue;
        }
        if (const auto text = ReadSecretFile(path)) {
            *secret = DecodeUtf8(*text);
        }
    }
    return settings;
}

std::string SettingsStore::SharedUserFolder() const {
    std::error_code error;
    const bool there = std::filesystem::exists(PathOf(userFolder_), error);
    return there && !OnlyOwnerCanChange(userFolder_) ? userFolder_ : std::string();
}

bool SettingsStore::Save(const WindowSettings& settings) const {
    const std::string text = FormatSettingsFile(settings);
    // Beside the program where its folder takes the file (a portable copy), else the user's; only
    // in a folder no one else can change, and for the user alone.
    const auto keepIn = [&](const std::string& folder) {
        return OnlyOwnerCanChange(folder) && ReplaceFileContents(Joined(folder, kSettingsFileName),
                                                                 text, SideFile::Access::OwnerOnly);
    };
    const auto userFolderReady = [&] {
        return MakePrivateFolder(userFolder_) && OnlyOwnerCanChange(userFolder_);
    };
    const bool kept = keepIn(programFolder_) || (userFolderReady() && keepIn(userFolder_));
    // An emptied secret goes from the disk wherever it was left.
    const auto keepSecret = [&](std::string_view name, const std::u16string& secret) {
        const std::string path = Joined(userFolder_, name);
        return secret.empty() ? WriteSecretFile(path, {})
                              : userFolderReady() && WriteSecretFile(path, EncodeUtf8(secret));
    };
    const bool cookieKept = keepSecret(kCookieFileName, settings.run.cookie);
    const bool regionsKept = keepSecret(kRegionsFileName, settings.run.regions);
    const bool channelsKept = keepSecret(kChannelsFileName, settings.run.channels);
    return kept && cookieKept && regionsKept && channelsKept;
}

std::vector<std::pair<std::string_view, std::u16string>> SettingsDialogTexts(
    const RunSettings& settings) {
    const auto number = [](int value) {
        const std::string digits = std::to_string(value);
        return std::u16string(digits.begin(), digits.end());
    };
    return {{"Text1", number(settings.pagesAtOnce)},
            {"Text2", settings.delay},
            {"Text3", number(settings.verifyRounds)},
            {"Text4", settings.cookie},
            {"Text5", settings.regions},
            {"Text6", settings.scheduleMinutes},
            {"Text7", settings.scheduleBetween},
            {"Text8", settings.scheduleDays},
            {"Text9", settings.channels},
            {"Combo3", settings.alertRule},
            {"Label8", u""}};
}

tl::expected<RunSettings, std::u16string> ReadSettingsDialog(
    const DialogTexts& texts, const std::function<std::string(std::string_view)>& cookieError) {
    const auto trimmed = [&](std::string_view control) {
        std::u16string text = texts(control);
        const std::size_t first = text.find_first_not_of(u" \u3000\t\r\n");
        const std::size_t last = text.find_last_not_of(u" \u3000\t\r\n");
        return first == std::u16string::npos ? std::u16string()
                                             : text.substr(first, last - first + 1);
    };
    RunSettings settings;
    const auto pages = WholeNumber(EncodeUtf8(trimmed("Text1")), limits::kFewestPagesAtOnce,
                                   limits::kMostPagesAtOnce);
    if (!pages) {
        return tl::unexpected(std::u16string(u"同时查询须为1到16的整数"));
    }
    settings.pagesAtOnce = *pages;
    settings.delay = trimmed("Text2");
    if (!ValidDelay(settings.delay)) {
        return tl::unexpected(std::u16string(u"间隔须为0到3600的秒数，或如1-3的范围"));
    }
    const auto rounds = WholeNumber(EncodeUtf8(trimmed("Text3")), 0, limits::kMostVerifyRounds);
    if (!rounds) {
        return tl::unexpected(std::u16string(u"验证后重试须为0到10的整数"));
    }
    settings.verifyRounds = *rounds;
    settings.cookie = trimmed("Text4");
    if (!settings.cookie.empty() && cookieError) {
        if (const std::string error = cookieError(EncodeUtf8(settings.cookie)); !error.empty()) {
            // The reason names the line, never the cookie's text.
            return tl::unexpected(u"Cookie无法读取（" + DecodeUtf8(error) + u"）");
        }
    }
    settings.regions = trimmed("Text5");
    if (!settings.regions.empty()) {
        // Read as the box holds it, so that a line's number is the one the user sees.
        if (const auto regions = ReadRegionList(texts("Text5")); !regions) {
            // The reason names the line and what is wrong, never a password.
            return tl::unexpected(
                LineFault(u"地域", regions.error().line, regions.error().message));
        }
    }
    return ReadScheduleAndAlerts(texts, trimmed, std::move(settings));
}

}  // namespace slotscope
