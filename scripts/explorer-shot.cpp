// Opens the explorer as the program shows it, near the threshold with every cluster in its own
// colour, and saves the window, as the screen shows it, to a PNG file:
//
//     explorer-shot <file.png>
//
// Meant for a virtual X display (scripts/explorer-screenshot.sh starts one).

#include "app/explorerwindow.h"
#include "app/startup.h"

#include <QApplication>
#include <QCheckBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: explorer-shot <file.png>\n");
        return 2;
    }
    startup::setApplicationFont();

    ExplorerWindow window;
    window.move(0, 0);
    window.setSide(300);
    window.setP(0.5927);
    window.findChild<QCheckBox*>(QStringLiteral("everyClusterBox"))->setChecked(true);
    window.show();

    int status = 1;
    // Lets the window reach the screen first.
    QTimer::singleShot(1000, &window, [&] {
        const QImage image = window.screen()->grabWindow(window.winId()).toImage();
        status = !image.isNull() && image.save(args.at(1), "PNG") ? 0 : 1;
        if (status != 0)
            std::fprintf(stderr, "explorer-shot: could not write %s\n", qPrintable(args.at(1)));
        QApplication::quit();
    });
    QApplication::exec();
    return status;
}
