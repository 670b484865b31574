// Saves a picture of the window with a few keywords typed: window_screenshot OUT.png

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "ui/main_window.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_screenshot OUT.png\n");
        return 2;
    }
    QApplication application(argc, argv);
    slotscope::WindowServices services;
    services.homePageUrl = "http://slotscope.example/";
    slotscope::Form1 window(std::move(services));
    window.findChild<QPlainTextEdit*>(QStringLiteral("Text1"))
        ->setPlainText(QStringLiteral("鲜花速递\n同城送花\n生日蛋糕\nflowers delivery"));
    window.findChild<QLineEdit*>(QStringLiteral("Text4"))
        ->setText(QStringLiteral("shop.example.cn"));
    window.show();
    const QString out = QString::fromLocal8Bit(argv[1]);
    QTimer::singleShot(500, [&] {
        // The whole screen when there is one (window frame included), else the window itself.
        QPixmap shot = QGuiApplication::primaryScreen() != nullptr &&
                               QGuiApplication::platformName() == QStringLiteral("xcb")
                           ? QGuiApplication::primaryScreen()->grabWindow(0).copy(
                                 window.frameGeometry().adjusted(0, 0, 1, 1))
                           : window.grab();
        QApplication::exit(shot.save(out) ? 0 : 1);
    });
    return QApplication::exec();
}
