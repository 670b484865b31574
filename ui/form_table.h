#pragma once

#include <algorithm>
#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "alerts/alert_message.h"

// The form Form1 as data: its controls with their kinds, captions, places in twips, fonts and
// tab order. The Qt window, the Win32 window and their tests all read it from here.
namespace slotscope::form {

inline constexpr std::u16string_view kTitle = u"Slotscope";

// Client area, in twips (1/1440 inch; 15 to a pixel at 96 dots per inch).
inline constexpr int kWidthTwips = 7905;
inline constexpr int kHeightTwips = 5865;
inline constexpr int kTwipsPerInch = 1440;

// SimSun, GB2312 character set, normal weight; the window's default size for controls that name
// no font of their own.
inline constexpr std::u16string_view kFontFace = u"SimSun";
inline constexpr double kDefaultPoints = 9;

// The status label (Label3) shows the run's captions in the window's default size where they fit
// its box, else in the first of these smaller sizes at which they do (the last whatever the text).
// Every other caption keeps its size, and a label whose caption needs more height than the form
// gives it grows downward (its top, left and width stay).
inline constexpr std::array<double, 4> kStatusPoints = {9, 8.25, 7.5, 6.75};

inline constexpr std::u16string_view kStartCaption = u"开始";
inline constexpr std::u16string_view kStopCaption = u"停止";

// Label4's credits end with the home page's address, which the window appends.
inline constexpr std::u16string_view kCreditsBeforeAddress =
    u"制作：Slotscope 开发组\n联系：slotscope@example.com\n官网：";

enum class Kind {
    Label,
    TextBox,
    MultiLineTextBox,  // with a vertical scroll bar when `scrollBar`
    Button,
    ComboBox,  // a drop-down list: the caption's lines are its choices, the first one chosen
    Link,      // a caption drawn as a link, which opens something when clicked
};

struct Control {
    std::string_view name;
    Kind kind;
    std::u16string_view caption;  // the caption or initial text
    int left;
    int top;
    int width;
    int height;
    int tabIndex;   // labels take no focus; their index only keeps the form's numbering
    double points;  // 0: the window's default font
    bool scrollBar = false;
};

// The pages a run checks (Combo1), in the order of the run's devices: the desktop page, the
// phone page, both.
inline constexpr std::u16string_view kDeviceChoices = u"电脑\n手机\n两者";

// The places a run checks from (Combo2) before the regions of the settings: the machine's own
// connection; after them, every region at once.
inline constexpr std::u16string_view kOwnConnectionChoice = u"本机";
inline constexpr std::u16string_view kAllRegionsChoice = u"全部地域";

// In the order of their tab indexes.
inline constexpr std::array<Control, 20> kControls = {{
    {"Text1", Kind::MultiLineTextBox, u"", 120, 720, 2775, 4815, 0, 0, true},
    {"Text4", Kind::TextBox, u"", 3720, 960, 2295, 360, 1, 14.25},
    // The device choice sits to the right of the website, in a column the form grew by.
    {"Combo1", Kind::ComboBox, kDeviceChoices, 6240, 960, 1455, 360, 2, 0},
    // The region choice, below the settings link in the same column; its choices follow the
    // settings' regions.
    {"Combo2", Kind::ComboBox, kOwnConnectionChoice, 6240, 2460, 1455, 360, 3, 0},
    {"Command1", Kind::Button, kStartCaption, 3120, 1560, 2895, 975, 4, 21.75},
    {"Label1", Kind::Label, u"竞价关键词(每行一词)", 360, 240, 2055, 255, 5, 0},
    {"Label2", Kind::Label, u"查看网址", 3600, 480, 2055, 255, 6, 0},
    {"Label3", Kind::Label,
     u"   "
     u"程序运行完毕时，在本窗口提示。运行过程中，请不要试图关闭。结果保存在同目录下的baidu."
     u"csv文件里",
     3240, 3240, 2775, 975, 7, 0},
    {"Label4", Kind::Label, kCreditsBeforeAddress, 3240, 4200, 2775, 855, 8, 0},
    {"Label5", Kind::Label, u"www.", 3000, 960, 855, 375, 9, 14.25},
    // The two label fields lie beyond the right edge: the run's scratch texts.
    {"Text2", Kind::MultiLineTextBox, u"Text2", 8280, 360, 1215, 975, 10, 0},
    {"Text3", Kind::TextBox, u"Text3", 8160, 1920, 1335, 855, 11, 0},
    {"Text5", Kind::TextBox, u"0/0", 4320, 2760, 975, 270, 12, 0},
    {"Label6", Kind::Label, u"进度：", 3480, 2760, 975, 255, 13, 14.25},
    {"Command2", Kind::Button, u"访问官网", 3120, 5280, 3015, 375, 14, 0},
    {"Label7", Kind::Label, u"查看设备", 6240, 480, 1455, 255, 15, 0},
    // Opens the settings dialog; beside the start button, in the column the device took.
    {"Label8", Kind::Link, u"设置", 6240, 1560, 1455, 255, 16, 0},
    // Opens the history's report in the browser; beside 访问官网.
    {"Label9", Kind::Link, u"历史记录", 6240, 5340, 1455, 255, 17, 0},
    {"Label10", Kind::Label, u"查询地域", 6240, 2160, 1455, 255, 18, 0},
    // Writes the history as an Excel workbook and opens it; above 历史记录.
    {"Label11", Kind::Link, u"导出Excel", 6240, 5040, 1455, 255, 19, 0},
}};

// The settings dialog, a form of its own: how runs fetch, and the user's Baidu session.
inline constexpr std::u16string_view kSettingsTitle = u"设置";
inline constexpr int kSettingsWidthTwips = 6000;
inline constexpr int kSettingsHeightTwips = 9480;

// In the order of their tab indexes. Label8 shows why the texts cannot be taken.
inline constexpr std::array<Control, 27> kSettingsControls = {{
    {"Text1", Kind::TextBox, u"", 1440, 240, 855, 330, 0, 0},
    {"Text2", Kind::TextBox, u"", 1440, 660, 1335, 330, 1, 0},
    {"Text3", Kind::TextBox, u"", 1440, 1080, 855, 330, 2, 0},
    {"Text4", Kind::MultiLineTextBox, u"", 240, 1860, 5520, 1740, 3, 0},
    // The regions, one NAME = ADDRESS a line, as a regions file holds them.
    {"Text5", Kind::MultiLineTextBox, u"", 240, 4260, 5520, 1380, 4, 0, true},
    // The schedule of runs that start by themselves: minutes, time of day, weekdays.
    {"Text6", Kind::TextBox, u"", 1440, 5760, 615, 330, 5, 0},
    {"Text7", Kind::TextBox, u"", 3120, 5760, 1335, 330, 6, 0},
    {"Text8", Kind::TextBox, u"", 5040, 5760, 720, 330, 7, 0},
    // The alert channels, one KIND = ADDRESS a line, as a --notify file holds them; when to tell
    // them, and a test message to each.
    {"Text9", Kind::MultiLineTextBox, u"", 240, 7020, 5520, 1140, 8, 0, true},
    {"Combo3", Kind::ComboBox, kAlertRuleChoices, 1440, 8280, 1800, 360, 9, 0},
    {"Command3", Kind::Button, u"测试", 3360, 8280, 1095, 375, 10, 0},
    {"Command1", Kind::Button, u"确定", 3360, 8880, 1095, 375, 11, 0},
    {"Command2", Kind::Button, u"取消", 4620, 8880, 1095, 375, 12, 0},
    {"Label1", Kind::Label, u"同时查询", 240, 300, 1095, 255, 13, 0},
    {"Label2", Kind::Label, u"页（1到16）", 2400, 300, 1800, 255, 14, 0},
    {"Label3", Kind::Label, u"间隔", 240, 720, 1095, 255, 15, 0},
    {"Label4", Kind::Label, u"秒（如 2 或 1-3，空为不等）", 2880, 720, 2880, 255, 16, 0},
    {"Label5", Kind::Label, u"验证后重试", 240, 1140, 1095, 255, 17, 0},
    {"Label6", Kind::Label, u"轮（0到10）", 2400, 1140, 1800, 255, 18, 0},
    {"Label7", Kind::Label, u"Cookie（从浏览器复制的一行，只保存在本机）", 240, 1560, 5520, 255, 19,
     0},
    {"Label8", Kind::Label, u"", 240, 8760, 3000, 735, 20, 0},
    {"Label9", Kind::Label,
     u"地域（每行：名称 = 代理地址，如 北京 = socks5://用户:密码@主机:端口，"
     u"同名多行为一组；只保存在本机）",
     240, 3720, 5520, 480, 21, 0},
    {"Label10", Kind::Label, u"定时查询 每隔", 240, 5820, 1200, 255, 22, 0},
    {"Label11", Kind::Label, u"分钟 时段", 2100, 5820, 1000, 255, 23, 0},
    {"Label12", Kind::Label, u"星期", 4560, 5820, 450, 255, 24, 0},
    {"Label13", Kind::Label,
     u"通知（每行：类型 = 地址，类型为 dingtalk、wecom、feishu、webhook 或 mail，"
     u"如 wecom = https://qyapi.weixin.qq.com/…?key=…；只保存在本机）",
     240, 6240, 5520, 735, 25, 0},
    {"Label14", Kind::Label, u"何时通知", 240, 8340, 1095, 255, 26, 0},
}};

// The lines of a caption: a combo box's choices.
inline std::vector<std::u16string_view> Lines(std::u16string_view caption) {
    std::vector<std::u16string_view> lines;
    for (std::size_t at = 0; at <= caption.size();) {
        const std::size_t end = std::min(caption.find(u'\n', at), caption.size());
        lines.push_back(caption.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// Twips to pixels at a density, rounded down as the form's pixel sizes at 96 dpi are.
constexpr int ToPixels(int twips, int dotsPerInch) {
    return twips * dotsPerInch / kTwipsPerInch;
}

// A font's height in pixels for its point size at a density, rounded to the nearest pixel (the
// sizes are positive, so adding a half and cutting off rounds).
constexpr int FontPixels(double points, int dotsPerInch) {
    // NOLINTNEXTLINE(bugprone-incorrect-roundings)
    return static_cast<int>(points * dotsPerInch / 72.0 + 0.5);
}

// The control of that name in a form's table (Form1's by default), or nullptr.
constexpr const Control* Find(std::string_view name,
                              std::span<const Control> controls = kControls) {
    for (const Control& control : controls) {
        if (control.name == name) {
            return &control;
        }
    }
    return nullptr;
}

}  // namespace slotscope::form
