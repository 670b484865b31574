// Saves a picture of the window with a few keywords typed: window_screenshot OUT.png; with
// "settings" after it, of the settings dialog open over the window.

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <string_view>

#include "tests/ui/screenshot_services.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    const bool settings = argc == 3 && std::string_view(argv[2]) == "settings";
    if (argc != 2 && !settings) {
        std::fprintf(stderr, "usage: window_screenshot OUT.png [settings]\n");
        return 2;
    }
    QApplication application(argc, argv);
    slotscope::WindowServices services = slotscope::testing::ScreenshotServices();
    slotscope::Form1 window(std::move(services));
    window.findChild<QPlainTextEdit*>(QStringLiteral("Text1"))
        ->setPlainText(QStringLiteral("鲜花速递\n同城送花\n生日蛋糕\nflowers delivery"));
    window.findChild<QLineEdit*>(QStringLiteral("Text4"))
        ->setText(QStringLiteral("shop.example.cn"));
    window.show();
    if (settings) {
        window.OpenSettings();
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QTimer::singleShot(500, [&] {
        QWidget* shown = settings ? static_cast<QWidget*>(window.findChild<QDialog*>()) : &window;
        // The whole screen when there is one (window frame included), else the window itself.
        QPixmap shot = QGuiApplication::primaryScreen() != nullptr &&
                               QGuiApplication::platformName() == QStringLiteral("xcb")
                           ? QGuiApplication::primaryScreen()->grabWindow(0).copy(
                                 shown->frameGeometry().adjusted(0, 0, 1, 1))
                           : shown->grab();
        QApplication::exit(shot.save(out) ? 0 : 1);
    });
    return QApplication::exec();
}
