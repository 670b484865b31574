// slotscope: the window (Qt).

#include <malloc.h>

#include <QApplication>

#include "app/window_session.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    // Page buffers of a few hundred KB go back to the system when freed instead of staying in
    // per-thread arenas, so a long run's memory stays flat.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Slotscope"));
    slotscope::Form1 window(slotscope::WithHistory(slotscope::DesktopWindowServices(
        &slotscope::MakeWindowFetcher, &slotscope::WindowCookieError)));
    window.show();
    return QApplication::exec();
}
