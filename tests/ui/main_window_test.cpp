#include "ui/main_window.h"

#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/window_session.h"
#include "base/text_codec.h"
#include "history/history_file.h"
#include "tests/support/fakes.h"
#include "tests/support/page_generator.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_engine.h"
#include "ui/form_table.h"

namespace slotscope {
namespace {

using namespace std::chrono_literals;

constexpr const char* kHome = testing::kWindowHome;
constexpr const char* kPrefix = testing::kWindowSearchPrefix;
using Engine = testing::WindowEngine;

class MainWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<testing::TempDir> dir_;
    std::shared_ptr<Engine> engine_;
    std::vector<std::string> opened_;

    std::string ResultsPath() const { return dir_->file("baidu.csv"); }

    std::unique_ptr<Form1> MakeWindow() {
        auto window =
            std::make_unique<Form1>(testing::TestWindowServices(engine_, ResultsPath(), opened_));
        window->show();
        return window;
    }

    template <typename Widget>
    static Widget* Control(Form1& window, const char* name) {
        auto* widget = window.findChild<Widget*>(QString::fromLatin1(name));
        if (widget == nullptr) {
            qFatal("no control %s", name);
        }
        return widget;
    }
    static QString Text(Form1& window, const char* name) {
        if (auto* line = window.findChild<QLineEdit*>(QString::fromLatin1(name))) {
            return line->text();
        }
        if (auto* area = window.findChild<QPlainTextEdit*>(QString::fromLatin1(name))) {
            return area->toPlainText();
        }
        if (auto* label = window.findChild<QLabel*>(QString::fromLatin1(name))) {
            // A link's caption as it reads, without its markup.
            return label->textFormat() == Qt::RichText
                       ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
                       : label->text();
        }
        if (auto* box = window.findChild<QComboBox*>(QString::fromLatin1(name))) {
            return box->currentText();
        }
        return Control<QPushButton>(window, name)->text();
    }
    static void Type(Form1& window, const char* name, const QString& keys) {
        auto* widget = Control<QWidget>(window, name);
        widget->setFocus();
        for (const QChar c : keys) {
            if (c == u'\n') {
                QTest::keyClick(widget, Qt::Key_Return);
            } else {
                QTest::keyClicks(widget, QString(c));
            }
        }
    }
    static bool RunToEnd(Form1& window, int milliseconds = 10000) {
        QSignalSpy finished(&window, &Form1::runFinished);
        QTest::mouseClick(Control<QPushButton>(window, "Command1"), Qt::LeftButton);
        return finished.wait(milliseconds);
    }

  private slots:  // NOLINT(readability-redundant-access-specifiers): Qt Test runs the slots
    void init() {
        dir_ = std::make_unique<testing::TempDir>();
        engine_ = std::make_shared<Engine>();
        opened_.clear();
    }

    void layoutIsTheForms() {
        auto window = MakeWindow();
        QCOMPARE(window->windowTitle(), QStringLiteral("Slotscope"));
        QCOMPARE(window->size(), QSize(527, 391));  // 7905 x 5865 twips
        QCOMPARE(window->minimumSize(), window->maximumSize());

        QCOMPARE(window->font().pointSizeF(), form::kDefaultPoints);
        for (const form::Control& control : form::kControls) {
            const std::string name(control.name);
            auto* widget = Control<QWidget>(*window, name.c_str());
            // Labels may grow (captionsFitTheirControls).
            QCOMPARE(
                widget->geometry().adjusted(
                    0, 0, 0,
                    control.kind == form::Kind::Label ? control.height / 15 - widget->height() : 0),
                QRect(control.left / 15, control.top / 15, control.width / 15,
                      control.height / 15));
            QString caption = QString::fromUtf16(control.caption.data(),
                                                 static_cast<qsizetype>(control.caption.size()));
            if (name == "Label4") {
                caption += QString::fromLatin1(kHome);  // the credits end with the home page
            } else if (control.kind == form::Kind::ComboBox) {
                caption = caption.section(u'\n', 0, 0);  // its first choice is chosen
            }
            QCOMPARE(Text(*window, name.c_str()), caption);
            QCOMPARE(widget->font().pointSizeF(),
                     control.points > 0 ? control.points : form::kDefaultPoints);
            QCOMPARE(widget->focusPolicy() == Qt::NoFocus, control.kind == form::Kind::Label);
            // Whatever font stands in for SimSun has Chinese glyphs.
            QVERIFY2(QFontMetrics(widget->font()).inFontUcs4(U'竞'), name.c_str());
        }
        // Two of the form's values as written on it, in case the table itself went wrong.
        QCOMPARE(Text(*window, "Label3"),
                 QStringLiteral("   程序运行完毕时，在本窗口提示。运行过程中，请不要试图关闭。"
                                "结果保存在同目录下的baidu.csv文件里"));
        QCOMPARE(Control<QWidget>(*window, "Command1")->geometry(), QRect(208, 104, 193, 65));
        QVERIFY(Control<QLabel>(*window, "Label3")->wordWrap());
        QCOMPARE(Control<QPlainTextEdit>(*window, "Text1")->verticalScrollBarPolicy(),
                 Qt::ScrollBarAlwaysOn);
        // Text2 and Text3 lie wholly beyond the right edge.
        QVERIFY(Control<QWidget>(*window, "Text2")->x() >= window->width());
        QVERIFY(Control<QWidget>(*window, "Text3")->x() >= window->width());
    }

    // Whether every label's and button's caption fits the height of its control, wrapped at its
    // width, and a control made taller than the form says is only as tall as its caption.
    static void ExpectCaptionsFit(Form1& window) {
        for (const form::Control& control : form::kControls) {
            if (control.kind != form::Kind::Label && control.kind != form::Kind::Button) {
                continue;
            }
            auto* widget = Control<QWidget>(window, std::string(control.name).c_str());
            const bool label = control.kind == form::Kind::Label;
            const QRect area = widget->contentsRect();
            const int needed =
                QFontMetrics(widget->font())
                    .boundingRect(QRect(0, 0, area.width(), 1 << 20),
                                  Qt::AlignLeft | (label ? Qt::TextWordWrap : Qt::TextSingleLine),
                                  Text(window, std::string(control.name).c_str()))
                    .height();
            const std::string what = std::string(control.name) + " needs " +
                                     std::to_string(needed) + " px of " +
                                     std::to_string(area.height());
            QVERIFY2(needed <= area.height(), what.c_str());
            QVERIFY2(widget->height() == control.height / 15 || needed == area.height(),
                     what.c_str());
        }
    }

    void captionsFitTheirControls() {
        auto window = MakeWindow();
        ExpectCaptionsFit(*window);

        // The longest caption a run writes: every keyword of a long list failed, in every way a
        // check fails, and the disk was full.
        const std::string full = dir_->file("baidu.csv");
        std::filesystem::create_symlink("/dev/full", full);
        Form1 blocked(testing::BlockedWindowServices(full, opened_));
        blocked.show();
        QString keywords;
        for (int i = 0; i < 10000; ++i) {
            keywords += QStringLiteral("kw%1\n").arg(i);
        }
        Control<QPlainTextEdit>(blocked, "Text1")->setPlainText(keywords);
        Control<QLineEdit>(blocked, "Text4")->setText(QStringLiteral("shop.example.cn"));
        // Ten thousand keywords, each through the window's thread: slow under a sanitizer.
        QVERIFY(RunToEnd(blocked, 120000));
        QCOMPARE(
            Text(blocked, "Label3"),
            QStringLiteral("总词数10000运行完毕，但写入baidu.csv时出错，结果不完整，其中10000个"
                           "词查询失败（验证页3334个，连接失败3332个，非结果页3333个，无法读取1个）"
                           "，请稍后再试"));
        ExpectCaptionsFit(blocked);

        // A reason too long for the default size is shown smaller.
        Control<QPlainTextEdit>(blocked, "Text1")->setPlainText(QStringLiteral("abort"));
        QVERIFY(RunToEnd(blocked));
        QVERIFY(Text(blocked, "Label3").startsWith(QStringLiteral("运行中止（the page fetch")));
        ExpectCaptionsFit(blocked);
    }

    void focusStartsInTheKeywordListAndFollowsTheTabIndexes() {
        auto window = MakeWindow();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCOMPARE(QApplication::focusWidget(), Control<QWidget>(*window, "Text1"));

        QStringList order;
        auto* widget = Control<QWidget>(*window, "Text1");
        do {
            if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->window() == window.get() &&
                !widget->objectName().isEmpty()) {
                order << widget->objectName();
            }
            widget = widget->nextInFocusChain();
        } while (widget != Control<QWidget>(*window, "Text1"));
        QCOMPARE(order, QStringList({"Text1", "Text4", "Combo1", "Command1", "Text2", "Text3",
                                     "Text5", "Command2", "Label8", "Label9"}));
    }

    void runWritesProgressLabelsCaptionAndFile() {
        auto window = MakeWindow();
        QStringList progress;
        connect(Control<QLineEdit>(*window, "Text5"), &QLineEdit::textChanged,
                [&](const QString& text) { progress << text; });
        Type(*window, "Text1", QStringLiteral("k2\n\nk1"));
        Type(*window, "Text4", QStringLiteral("shop.example.cn"));

        QVERIFY(RunToEnd(*window));

        QCOMPARE(progress, QStringList({"1/2", "2/2"}));
        QCOMPARE(Text(*window, "Label3"),
                 QStringLiteral("总词数2运行完毕，信息保存在同目录下的baidu.csv里"));
        QCOMPARE(Text(*window, "Text2"), QStringLiteral("左1"));
        QCOMPARE(Text(*window, "Text3"), QStringLiteral("右无推广位"));
        QCOMPARE(Text(*window, "Command1"), QStringLiteral("开始"));
        QCOMPARE(testing::ReadFileBytes(ResultsPath()),
                 EncodeGbk(u"k2 , shop.example.cn , 左2 , 右无推广位\r\n"
                           u"k1 , shop.example.cn , 左1 , 右无推广位\r\n"));
    }

    void deviceChoiceReachesTheRun() {
        auto window = MakeWindow();
        Type(*window, "Text1", QStringLiteral("k2"));
        Type(*window, "Text4", QStringLiteral("shop.example.cn"));
        const std::string mobilePath = dir_->file("baidu_mobile.csv");
        auto* device = Control<QComboBox>(*window, "Combo1");
        // Chosen from the keyboard, as the tab order reaches it: 两者, then 手机.
        device->setFocus();
        QTest::keyClick(device, Qt::Key_Down);
        QTest::keyClick(device, Qt::Key_Down);
        QCOMPARE(device->currentText(), QStringLiteral("两者"));
        QVERIFY(RunToEnd(*window));
        QCOMPARE(
            Text(*window, "Label3"),
            QStringLiteral("总词数1运行完毕，信息保存在同目录下的baidu.csv和baidu_mobile.csv里"));
        QCOMPARE(testing::ReadFileBytes(ResultsPath()),
                 EncodeGbk(u"k2 , shop.example.cn , 左2 , 右无推广位\r\n"));
        QCOMPARE(testing::ReadFileBytes(mobilePath),
                 EncodeGbk(u"k2 , shop.example.cn , 上2 , 下无\r\n"));

        QTest::keyClick(device, Qt::Key_Up);
        Control<QPlainTextEdit>(*window, "Text1")->setPlainText(QStringLiteral("k1"));
        QVERIFY(RunToEnd(*window));
        QCOMPARE(testing::ReadFileBytes(ResultsPath()),
                 EncodeGbk(u"k2 , shop.example.cn , 左2 , 右无推广位\r\n"));
        QCOMPARE(testing::ReadFileBytes(mobilePath),
                 EncodeGbk(u"k1 , shop.example.cn , 上1 , 下无\r\n"));
    }

    // Opens the settings dialog through its link, as a click would.
    static QDialog* OpenSettings(Form1& window) {
        emit Control<QLabel>(window, "Label8")->linkActivated(QStringLiteral("#"));
        auto* dialog = window.findChild<QDialog*>(QStringLiteral("Settings"));
        return dialog != nullptr && dialog->isVisible() ? dialog : nullptr;
    }
    static void SetDialogText(QDialog* dialog, const char* name, const QString& text) {
        if (auto* line = dialog->findChild<QLineEdit*>(QString::fromLatin1(name))) {
            line->setText(text);
        } else {
            dialog->findChild<QPlainTextEdit*>(QString::fromLatin1(name))->setPlainText(text);
        }
    }
    static void Click(QDialog* dialog, const char* name) {
        QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(name)),
                          Qt::LeftButton);
    }

    void settingsDialogSetsTheNextRunsAndCancelLeavesThem() {
        auto services = testing::TestWindowServices(engine_, ResultsPath(), opened_);
        auto cookies = std::make_shared<std::vector<std::string>>();
        services.makeFetcher = [cookies, make = services.makeFetcher](std::string_view cookie) {
            cookies->emplace_back(cookie);
            return make(cookie);
        };
        services.cookieError = [](std::string_view cookie) {
            return cookie.find('=') == std::string_view::npos ? std::string("第1行")
                                                              : std::string();
        };
        services.settings.cookie = u"BDUSS";  // kept from before, and not a cookie
        Form1 window(std::move(services));
        window.show();
        // A run without the session the user asked for never starts.
        Type(window, "Text1", QStringLiteral("k1"));
        Type(window, "Text4", QStringLiteral("shop.example.cn"));
        QTest::mouseClick(Control<QPushButton>(window, "Command1"), Qt::LeftButton);
        QCOMPARE(Text(window, "Label3"),
                 QStringLiteral("设置里的Cookie无法读取（第1行），请在设置里改正"));
        QCOMPARE(Text(window, "Command1"), QStringLiteral("开始"));
        QVERIFY(cookies->empty());

        QPointer<QDialog> dialog = OpenSettings(window);
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("Text1"))->text(), "3");
        SetDialogText(dialog, "Text1", QStringLiteral("1"));
        SetDialogText(dialog, "Text4", QStringLiteral("BDUSS"));
        Click(dialog, "Command1");
        // A cookie that cannot be read keeps the dialog open and says so.
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("Label8"))->text(),
                 QStringLiteral("Cookie无法读取（第1行）"));
        SetDialogText(dialog, "Text4", QStringLiteral("BDUSS=login\nBAIDUID=x"));
        Click(dialog, "Command1");
        QTRY_VERIFY(dialog.isNull());

        dialog = OpenSettings(window);
        QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("Text1"))->text(), "1");
        SetDialogText(dialog, "Text4", QStringLiteral("BDUSS=other"));
        Click(dialog, "Command2");
        QTRY_VERIFY(dialog.isNull());

        QVERIFY(RunToEnd(window));
        QCOMPARE(*cookies, std::vector<std::string>({"BDUSS=login\nBAIDUID=x"}));
    }

    void windowRemembersItsTextsAndSettingsBetweenLaunches() {
        auto services = testing::TestWindowServices(engine_, ResultsPath(), opened_);
        services.store = std::make_shared<SettingsStore>(dir_->file("program"), dir_->file("user"));
        std::filesystem::create_directories(dir_->file("program"));
        {
            Form1 first(services);
            first.show();
            Control<QPlainTextEdit>(first, "Text1")->setPlainText(QStringLiteral("鲜花\n同城送花"));
            Type(first, "Text4", QStringLiteral("shop.example.cn"));
            Control<QComboBox>(first, "Combo1")->setCurrentText(QStringLiteral("手机"));
            QDialog* dialog = OpenSettings(first);
            SetDialogText(dialog, "Text2", QStringLiteral("1-3"));
            SetDialogText(dialog, "Text4", QStringLiteral("BDUSS=login"));
            Click(dialog, "Command1");
            QVERIFY(first.close());
        }
        Form1 second(services);
        QCOMPARE(Text(second, "Text1"), QStringLiteral("鲜花\n同城送花"));
        QCOMPARE(Text(second, "Text4"), QStringLiteral("shop.example.cn"));
        QCOMPARE(Text(second, "Combo1"), QStringLiteral("手机"));
        QDialog* dialog = OpenSettings(second);
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("Text2"))->text(), "1-3");
        QCOMPARE(dialog->findChild<QPlainTextEdit*>(QStringLiteral("Text4"))->toPlainText(),
                 "BDUSS=login");
        // The cookie is in the user's folder only.
        QVERIFY(!std::filesystem::exists(dir_->file("program") + "/cookie"));
        QVERIFY(std::filesystem::exists(dir_->file("user") + "/cookie"));

        // A settings folder another user can change is not read, and the window says so.
        std::filesystem::permissions(dir_->file("user"), std::filesystem::perms::all);
        Form1 third(services);
        QVERIFY(Text(third, "Label3")
                    .startsWith(QStringLiteral(
                        "设置文件夹可被其他用户改写，未使用，设置只在本次打开时有效：")));
        QVERIFY(Text(third, "Label3").endsWith(QString::fromStdString(dir_->file("user"))));
        QVERIFY(OpenSettings(third)
                    ->findChild<QPlainTextEdit*>(QStringLiteral("Text4"))
                    ->toPlainText()
                    .isEmpty());
    }

    void secondRunUsesTheEditedListAndTruncatesTheFile() {
        auto window = MakeWindow();
        Control<QPlainTextEdit>(*window, "Text1")->setPlainText(QStringLiteral("k1\nk2\nk3"));
        Control<QLineEdit>(*window, "Text4")->setText(QStringLiteral("shop.example.cn"));
        QVERIFY(RunToEnd(*window));
        QCOMPARE(Text(*window, "Text5"), QStringLiteral("3/3"));

        Control<QPlainTextEdit>(*window, "Text1")->setPlainText(QStringLiteral("k3"));
        engine_->delay = 300ms;
        QSignalSpy finished(window.get(), &Form1::runFinished);
        QTest::mouseClick(Control<QPushButton>(*window, "Command1"), Qt::LeftButton);
        // Until the new run writes it, the last run's progress stays.
        QCOMPARE(Text(*window, "Text5"), QStringLiteral("3/3"));
        QCOMPARE(Text(*window, "Command1"), QStringLiteral("停止"));
        QVERIFY(finished.wait(10000));

        QCOMPARE(Text(*window, "Text5"), QStringLiteral("1/1"));
        QCOMPARE(testing::ReadFileBytes(ResultsPath()),
                 EncodeGbk(u"k3 , shop.example.cn , 左3 , 右无推广位\r\n"));
    }

    void inputsAreTakenOnceWhenTheRunStarts() {
        auto window = MakeWindow();
        Control<QPlainTextEdit>(*window, "Text1")->setPlainText(QStringLiteral("k1\nk2"));
        auto* website = Control<QLineEdit>(*window, "Text4");
        website->setText(QStringLiteral("shop.example.cn"));
        // The user clears both boxes while the first page is on its way: an empty website would
        // be found in every listing. The edits are for the next run.
        connect(Control<QLineEdit>(*window, "Text5"), &QLineEdit::textChanged,
                [&](const QString& text) {
                    if (text == QStringLiteral("1/2")) {
                        website->clear();
                        Control<QPlainTextEdit>(*window, "Text1")->clear();
                    }
                });
        QVERIFY(RunToEnd(*window));
        QCOMPARE(testing::ReadFileBytes(ResultsPath()),
                 EncodeGbk(u"k1 , shop.example.cn , 左1 , 右无推广位\r\n"
                           u"k2 , shop.example.cn , 左2 , 右无推广位\r\n"));
    }

    void aRunThatCannotStartSaysWhy() {
        auto services = testing::TestWindowServices(engine_, ResultsPath(), opened_);
        services.makeFetcher = [](std::string_view) -> std::unique_ptr<PageFetcher> {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        };
        Form1 window(std::move(services));
        Control<QPlainTextEdit>(window, "Text1")->setPlainText(QStringLiteral("k1"));
        Control<QLineEdit>(window, "Text4")->setText(QStringLiteral("shop.example.cn"));
        QVERIFY(RunToEnd(window));
        QVERIFY2(Text(window, "Label3").startsWith(QStringLiteral("运行中止（系统错误：")),
                 qPrintable(Text(window, "Label3")));
        QCOMPARE(Text(window, "Command1"), QStringLiteral("开始"));
    }

    void stopEndsTheRunKeepingFinishedLines() {
        auto window = MakeWindow();
        engine_->delay = 400ms;
        Control<QPlainTextEdit>(*window, "Text1")->setPlainText(QStringLiteral("k1\nk2\nk3\nk1"));
        Control<QLineEdit>(*window, "Text4")->setText(QStringLiteral("shop.example.cn"));
        QSignalSpy finished(window.get(), &Form1::runFinished);
        auto* command1 = Control<QPushButton>(*window, "Command1");
        QString captionWhenStopped;
        connect(Control<QLineEdit>(*window, "Text5"), &QLineEdit::textChanged,
                [&](const QString& text) {
                    if (text == QStringLiteral("1/4")) {
                        captionWhenStopped = command1->text();
                        QTimer::singleShot(0, [&] { QTest::mouseClick(command1, Qt::LeftButton); });
                    }
                });
        QTest::mouseClick(command1, Qt::LeftButton);
        QVERIFY(finished.wait(5000));
        QCOMPARE(captionWhenStopped, QStringLiteral("停止"));

        QCOMPARE(command1->text(), QStringLiteral("开始"));
        QVERIFY(Text(*window, "Label3").startsWith(QStringLiteral("运行已停止，已完成")));
        const std::string results = testing::ReadFileBytes(ResultsPath());
        QVERIFY(results.starts_with(EncodeGbk(u"k1 , shop.example.cn , 左1 , 右无推广位\r\n")));
        QVERIFY(std::count(results.begin(), results.end(), '\n') < 4);
        QVERIFY(results.ends_with("\r\n"));
    }

    void closingDuringARunStopsItAndThenCloses() {
        auto window = MakeWindow();
        engine_->delay = 10s;  // a fetch in flight when the window is closed
        Control<QPlainTextEdit>(*window, "Text1")->setPlainText(QStringLiteral("k1\nk2"));
        Control<QLineEdit>(*window, "Text4")->setText(QStringLiteral("shop.example.cn"));
        QTest::mouseClick(Control<QPushButton>(*window, "Command1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(engine_->searches >= 1, 5000);

        QElapsedTimer clock;
        clock.start();
        window->close();
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 2000);
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(!window->running());
        // The file was closed by the run (empty: no keyword had finished).
        QVERIFY(std::filesystem::exists(ResultsPath()));
        QCOMPARE(testing::ReadFileBytes(ResultsPath()), std::string());
    }

    void destroyingTheWindowDuringARunDoesNotHang() {
        auto window = MakeWindow();
        engine_->delay = 10s;
        Control<QPlainTextEdit>(*window, "Text1")->setPlainText(QStringLiteral("k1"));
        Control<QLineEdit>(*window, "Text4")->setText(QStringLiteral("shop.example.cn"));
        QTest::mouseClick(Control<QPushButton>(*window, "Command1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(engine_->searches == 1, 5000);
        QElapsedTimer clock;
        clock.start();
        window.reset();
        QVERIFY(clock.elapsed() < 2000);
    }

    void aStartWithoutSiteOrKeywordsIsRefusedUntilMended() {
        auto window = MakeWindow();
        QSignalSpy started(window.get(), &Form1::runFinished);
        // What the list and the site box hold, and what the status says instead of a run.
        const std::vector<std::pair<std::pair<QString, QString>, QString>> refusals = {
            {{"k1", "   "}, "请先填写查看网址"},
            {{"k1", "shop.example.cn, shop2.cn"}, "网址无法识别：shop.example.cn, shop2.cn"},
            {{"k1", "http://"}, "网址无法识别：http://"},
            {{"\n \n", "shop.example.cn"}, "请先填写竞价关键词"},
        };
        for (const auto& [texts, refusal] : refusals) {
            Control<QPlainTextEdit>(*window, "Text1")->setPlainText(texts.first);
            Control<QLineEdit>(*window, "Text4")->setText(texts.second);
            QTest::mouseClick(Control<QPushButton>(*window, "Command1"), Qt::LeftButton);
            QCOMPARE(Text(*window, "Label3"), refusal);
            QCOMPARE(Text(*window, "Command1"), QStringLiteral("开始"));
        }
        QCOMPARE(engine_->searches.load(), 0);
        QCOMPARE(started.count(), 0);

        // Mended, the run starts, and the refusal goes at once.
        engine_->delay = 300ms;
        Control<QPlainTextEdit>(*window, "Text1")->setPlainText(QStringLiteral("k1"));
        Control<QLineEdit>(*window, "Text4")
            ->setText(QStringLiteral("https://www.shop.example.cn/"));
        QTest::mouseClick(Control<QPushButton>(*window, "Command1"), Qt::LeftButton);
        QCOMPARE(Text(*window, "Label3"), QString::fromUtf16(form::Find("Label3")->caption.data(),
                                                             form::Find("Label3")->caption.size()));
        QVERIFY(started.wait(10000));
        QCOMPARE(Text(*window, "Text2"), QStringLiteral("左1"));
    }

    void mendedFaultsAreShownInTheStatus() {
        auto window = MakeWindow();

        Control<QLineEdit>(*window, "Text4")->setText(QStringLiteral("shop.example.cn"));
        Control<QPlainTextEdit>(*window, "Text1")->setPlainText(QStringLiteral("k1\nnowhere"));
        engine_->delay = 0ms;
        auto failing = std::make_unique<Form1>([&] {
            WindowServices services;
            services.makeFetcher = [](std::string_view) {
                return std::make_unique<testing::FakeFetcher>(
                    [](const std::string&, std::stop_token) {
                        return FetchResult::Failed(FetchFailureKind::Blocked, "verification");
                    });
            };
            services.resultsPath = ResultsPath();
            services.homePageUrl = kHome;
            services.searchUrlPrefix = kPrefix;
            return services;
        }());
        Control<QPlainTextEdit>(*failing, "Text1")->setPlainText(QStringLiteral("k1"));
        Control<QLineEdit>(*failing, "Text4")->setText(QStringLiteral("shop.example.cn"));
        QVERIFY(RunToEnd(*failing));
        QCOMPARE(
            Text(*failing, "Label3"),
            QStringLiteral("总词数1运行完毕，信息保存在同目录下的baidu.csv里，其中1个词查询失败"
                           "（验证页1个），请稍后再试"));
        QCOMPARE(Text(*failing, "Text2"), QStringLiteral("查询失败"));
    }

    void unwritableResultsFileIsReported() {
        WindowServices services;
        services.makeFetcher = [](std::string_view) {
            return std::make_unique<testing::FakeFetcher>(
                [](const std::string&, std::stop_token) { return FetchResult::Page(u""); });
        };
        services.resultsPath = dir_->file("missing-dir/baidu.csv");
        services.homePageUrl = kHome;
        services.searchUrlPrefix = kPrefix;
        Form1 window(std::move(services));
        Control<QPlainTextEdit>(window, "Text1")->setPlainText(QStringLiteral("k1"));
        Control<QLineEdit>(window, "Text4")->setText(QStringLiteral("shop.example.cn"));
        QVERIFY(RunToEnd(window));
        QVERIFY(Text(window, "Label3").contains(QStringLiteral("无法创建结果文件")));
    }

    void theCaptionTellsWhenTheHistoryWasNotKept() {
        auto services = testing::TestWindowServices(engine_, ResultsPath(), opened_);
        const std::string path = dir_->file("slotscope.db");
        services.makeHistory = [path]() -> std::unique_ptr<RunHistory> {
            return std::make_unique<HistoryFile>(path, "test");
        };
        Form1 window(std::move(services));
        Type(window, "Text1", QStringLiteral("k1"));
        Type(window, "Text4", QStringLiteral("shop.example.cn"));
        // Kept, and nothing moved the second time: the caption says nothing of it.
        for (int run = 0; run < 2; ++run) {
            QVERIFY(RunToEnd(window));
            QCOMPARE(Text(window, "Label3"),
                     QStringLiteral("总词数1运行完毕，信息保存在同目录下的baidu.csv里"));
        }
        std::filesystem::remove(path + "-wal");
        testing::WriteFileBytes(path, "not a database");
        QVERIFY(RunToEnd(window));
        QCOMPARE(
            Text(window, "Label3"),
            QStringLiteral("总词数1运行完毕，信息保存在同目录下的baidu.csv里（历史记录未保存）"));
    }

    void theHistoryLinkOpensTheReportOrSaysWhyNot() {
        std::vector<std::string> files;
        auto services = WithHistory(testing::TestWindowServices(engine_, ResultsPath(), opened_));
        services.openFile = [&files](const std::string& path) {
            files.push_back(path);
            return true;
        };
        Form1 window(std::move(services));
        window.show();
        Type(window, "Text4", QStringLiteral(" shop.example.cn "));
        const auto clickHistory = [&] {
            emit Control<QLabel>(window, "Label9")->linkActivated(QStringLiteral("#"));
        };
        const auto message = [&] {
            return window.findChild<QMessageBox*>(QStringLiteral("HistoryMessage"));
        };
        clickHistory();
        QTRY_VERIFY(message() != nullptr);
        QMessageBox* box = message();
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QCOMPARE(box->text(),
                 QStringLiteral("还没有shop.example.cn的历史记录：每次运行后，结果都记在"
                                "同目录下的slotscope.db里"));
        box->close();
        QTRY_VERIFY(window.findChild<QMessageBox*>(QStringLiteral("HistoryMessage")) == nullptr);
        QVERIFY(files.empty());

        Type(window, "Text1", QStringLiteral("k1"));
        QVERIFY(RunToEnd(window));
        clickHistory();
        QTRY_VERIFY(!files.empty());
        QCOMPARE(message(), nullptr);
        const std::string report = dir_->file("slotscope-report.html");
        QCOMPARE(files, std::vector<std::string>{report});
        QVERIFY(testing::ReadFileBytes(report).find("<h1>推广位历史：shop.example.cn</h1>") !=
                std::string::npos);
    }

    void homePageGoesToTheBrowserAndNothingElseChanges() {
        auto window = MakeWindow();
        const QString before = Text(*window, "Label3");
        QTest::mouseClick(Control<QPushButton>(*window, "Command2"), Qt::LeftButton);
        QCOMPARE(opened_.size(), std::size_t{1});
        QCOMPARE(opened_[0], std::string(kHome));
        QCOMPARE(Text(*window, "Label3"), before);
        QVERIFY(window->isVisible());
    }

    void windowStaysResponsiveDuringARun() {
        auto window = MakeWindow();
        engine_->delay = 2s;
        Control<QPlainTextEdit>(*window, "Text1")->setPlainText(QStringLiteral("k1\nk2"));
        Control<QLineEdit>(*window, "Text4")->setText(QStringLiteral("shop.example.cn"));

        QElapsedTimer sinceTick;
        qint64 longestWait = 0;
        QTimer ticker;
        ticker.setInterval(10);
        connect(&ticker, &QTimer::timeout,
                [&] { longestWait = std::max(longestWait, sinceTick.restart()); });
        QSignalSpy finished(window.get(), &Form1::runFinished);
        QTest::mouseClick(Control<QPushButton>(*window, "Command1"), Qt::LeftButton);
        sinceTick.start();
        ticker.start();
        QVERIFY(finished.wait(15000));
        ticker.stop();

        QVERIFY2(longestWait < 100,
                 qPrintable(QStringLiteral("window thread waited %1 ms").arg(longestWait)));
        QCOMPARE(Text(*window, "Text5"), QStringLiteral("2/2"));
    }
};

}  // namespace
}  // namespace slotscope

QTEST_MAIN(slotscope::MainWindowTest)
#include "main_window_test.moc"
