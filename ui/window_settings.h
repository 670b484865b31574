#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tl/expected.hpp>
#include <utility>
#include <vector>

#include "core/run_limits.h"

namespace slotscope {

// How the window's runs fetch: what the settings dialog sets.
struct RunSettings {
    int pagesAtOnce = limits::kDefaultPagesAtOnce;  // pages fetched at once: polite for one desktop
    std::u16string delay;  // a pause before each search: seconds, or MIN-MAX; empty for none
    int verifyRounds = limits::kDefaultVerifyRounds;  // rounds after a verification page
    std::u16string cookie;  // the user's Baidu session: a cookie line or a cookie file's text
    // The regions and their proxies, as the settings dialog holds them: NAME = ADDRESS lines (see
    // ReadRegionList). Their passwords are credentials, kept as the cookie is.
    std::u16string regions;
    // Runs that start by themselves while the window is open: every so many minutes (10 or more;
    // empty: never), within a time of day ("08:00-20:00"; empty: all day), on weekdays ("1-5";
    // empty: every day).
    std::u16string scheduleMinutes;
    std::u16string scheduleBetween;
    std::u16string scheduleDays;
    // The channels told of each run, as a --notify file holds them (their tokens and passwords
    // credentials, kept as the cookie is), and when: the rule's name as the window lists it.
    std::u16string channels;
    std::u16string alertRule = u"掉出";

    bool operator==(const RunSettings&) const = default;
};

// What the window remembers between launches.
struct WindowSettings {
    std::u16string keywords;  // the keyword list as typed, line breaks and all
    std::u16string website;
    std::u16string device;  // the device choice's text; empty: the first choice
    std::u16string region;  // the region choice's text; empty: the first choice
    RunSettings run;

    bool operator==(const WindowSettings&) const = default;
};

// The settings file's text (UTF-8) for everything but the cookie and the regions, which hold
// credentials and are kept apart.
std::string FormatSettingsFile(const WindowSettings& settings);

// The settings a settings file holds, the cookie and regions left empty; nothing when the text is
// not a settings file of this program (not UTF-8, another program's, a value out of range).
std::optional<WindowSettings> ParseSettingsFile(std::string_view text);

// Where the window keeps its settings: slotscope.ini beside the program where that folder takes
// it (a portable copy), else in the user's settings folder; the cookie and the regions only in the
// user's settings folder, readable by the user alone.
class SettingsStore final {
  public:
    // Both folders in UTF-8.
    SettingsStore(std::string programFolder, std::string userFolder);

    // What was saved; defaults where nothing readable was. A folder or file another user could
    // change is not read: what it holds may have been planted.
    WindowSettings Load() const;
    // False when the settings or the cookie could not be kept. A folder another user can change
    // is not written to.
    bool Save(const WindowSettings& settings) const;
    // The user's settings folder where it is there but another user can change it, so that
    // nothing is kept or read there; empty where it is not.
    std::string SharedUserFolder() const;

    const std::string& programFolder() const { return programFolder_; }
    const std::string& userFolder() const { return userFolder_; }

  private:
    std::string programFolder_;
    std::string userFolder_;
};

// The shortest interval, in minutes, between runs the window starts by itself.
inline constexpr std::chrono::minutes kShortestWindowInterval{10};

// The file names, for tests and for the README's sake.
inline constexpr std::string_view kSettingsFileName = "slotscope.ini";
inline constexpr std::string_view kCookieFileName = "cookie";
inline constexpr std::string_view kRegionsFileName = "regions";
inline constexpr std::string_view kChannelsFileName = "notify";

// The user's settings folder for this program, in UTF-8: %APPDATA%\Slotscope on Windows,
// $XDG_CONFIG_HOME/slotscope (~/.config/slotscope) elsewhere.
std::string UserSettingsFolder();

// Makes a settings folder (and the folders it is in) that only the user may open, whatever the
// umask; true when it is there.
bool MakePrivateFolder(const std::string& utf8Path);

// Whether no other user can change the folder or file at `utf8Path`: it is the user's own (or the
// system's) and no one else may write it. False when it is not there.
bool OnlyOwnerCanChange(const std::string& utf8Path);

// Keeps a secret in a file for the user alone, replacing the file in one step: on Windows
// encrypted for the user (DPAPI), elsewhere in a file only its owner may read or write. An empty
// secret removes the file. False when it could not be kept.
bool WriteSecretFile(const std::string& utf8Path, std::string_view secret);
// The secret kept there; nothing when there is none or it cannot be read (another user's).
std::optional<std::string> ReadSecretFile(const std::string& utf8Path);

// The whole file; nothing when it cannot be read, is no regular file (a pipe is never waited
// for) or holds more than `limit` bytes.
std::optional<std::string> ReadWholeFile(const std::string& utf8Path, std::size_t limit);

// The settings dialog's texts by the names of its controls.
using DialogTexts = std::function<std::u16string(std::string_view control)>;

// The texts the settings dialog shows for `settings`, as control name and text, in tab order.
std::vector<std::pair<std::string_view, std::u16string>> SettingsDialogTexts(
    const RunSettings& settings);

// Reads the settings dialog: the settings, or why they cannot be taken, in words for the
// dialog. `cookieError` says what is wrong with a cookie text (empty when nothing is).
tl::expected<RunSettings, std::u16string> ReadSettingsDialog(
    const DialogTexts& texts, const std::function<std::string(std::string_view)>& cookieError);

}  // namespace slotscope
