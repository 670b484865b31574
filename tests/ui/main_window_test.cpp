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
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/window_session.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_engine.h"
#include "ui/form_table.h"

namespace slotscope {
namespace {

using namespace std::chrono_literals;

constexpr const char* kHome = testing::kWindowHome;
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
        QCOMPARE(order, QStringList({"Text1", "Text4", "Combo1", "Combo2", "Command1", "Text2",
                                     "Text3", "Text5", "Command2", "Label8", "Label9", "Label11"}));
    }

    // The one run through the toolkit: a click on Command1 runs the list typed into the form's
    // controls, and the run's texts reach the window's. What a run writes is the shared tests'.
    void aClickRunsTheListAndTheWindowShowsWhatItWrites() {
        auto window = MakeWindow();
        QStringList progress;
        QString captionDuringRun;
        connect(Control<QLineEdit>(*window, "Text5"), &QLineEdit::textChanged,
                [&](const QString& text) {
                    progress << text;
                    captionDuringRun = Text(*window, "Command1");
                });
        Type(*window, "Text1", QStringLiteral("k2\n\nk1"));
        Type(*window, "Text4", QStringLiteral("shop.example.cn"));

        QVERIFY(RunToEnd(*window));

        QCOMPARE(progress, QStringList({"1/2", "2/2"}));
        QCOMPARE(captionDuringRun, QStringLiteral("停止"));
        QCOMPARE(Text(*window, "Label3"),
                 QStringLiteral("总词数2运行完毕，信息保存在同目录下的baidu.csv里"));
        QCOMPARE(Text(*window, "Text2"), QStringLiteral("左1"));
        QCOMPARE(Text(*window, "Text3"), QStringLiteral("右无推广位"));
        QCOMPARE(Text(*window, "Command1"), QStringLiteral("开始"));

        // The device as chosen from the keyboard, as the tab order reaches it: 两者.
        auto* device = Control<QComboBox>(*window, "Combo1");
        device->setFocus();
        QTest::keyClick(device, Qt::Key_Down);
        QTest::keyClick(device, Qt::Key_Down);
        QCOMPARE(device->currentText(), QStringLiteral("两者"));
        Control<QPlainTextEdit>(*window, "Text1")->setPlainText(QStringLiteral("k2"));
        QVERIFY(RunToEnd(*window));
        QCOMPARE(
            Text(*window, "Label3"),
            QStringLiteral("总词数1运行完毕，信息保存在同目录下的baidu.csv和baidu_mobile.csv里"));

        // Command2 hands the home page to the browser.
        QTest::mouseClick(Control<QPushButton>(*window, "Command2"), Qt::LeftButton);
        QCOMPARE(opened_, std::vector<std::string>{kHome});
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
        services.makeFetcher = [cookies, make = services.makeFetcher](
                                   std::string_view cookie,
                                   const std::vector<ProxyAddress>& proxies) {
            cookies->emplace_back(cookie);
            return make(cookie, proxies);
        };
        services.cookieError = [](std::string_view cookie) {
            return cookie.find('=') == std::string_view::npos ? std::string("第1行")
                                                              : std::string();
        };
        services.settings.cookie = u"BDUSS";  // kept from before, and not a cookie
        Form1 window(std::move(services));
        window.show();
        Type(window, "Text1", QStringLiteral("k1"));
        Type(window, "Text4", QStringLiteral("shop.example.cn"));

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

    // The history link's answer, where there is no report to open, in a box that leaves the
    // window shown.
    void theHistoryLinkAnswersInAWindowModalBox() {
        Form1 window(WithHistory(testing::TestWindowServices(engine_, ResultsPath(), opened_)));
        window.show();
        Type(window, "Text4", QStringLiteral(" shop.example.cn "));
        emit Control<QLabel>(window, "Label9")->linkActivated(QStringLiteral("#"));
        const auto message = [&] {
            return window.findChild<QMessageBox*>(QStringLiteral("HistoryMessage"));
        };
        QTRY_VERIFY(message() != nullptr);
        QMessageBox* box = message();
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QCOMPARE(box->text(),
                 QStringLiteral("还没有shop.example.cn的历史记录：每次运行后，结果都记在"
                                "同目录下的slotscope.db里"));
        box->close();
        QTRY_VERIFY(message() == nullptr);
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