// Opens the statistics window as the program shows it, runs a short sweep and saves the window,
// as the screen shows it, to a PNG file:
//
//     statistics-shot <samples per size> <file.png>
//
// Meant for a virtual X display (scripts/statistics-screenshot.sh starts one).

#include "app/startup.h"
#include "app/statisticswindow.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool valid = args.size() == 3;
    const int samples = valid ? args.at(1).toInt(&valid) : 0;
    if (!valid || samples <= 0) {
        std::fprintf(stderr, "usage: statistics-shot <samples per size> <file.png>\n");
        return 2;
    }
    startup::setApplicationFont();

    StatisticsWindow window;
    window.move(0, 0);
    window.findChild<QSpinBox*>(QStringLiteral("samplesBox"))->setValue(samples);
    // The lattice window opens at p = 0.5.
    window.setCurrentP(0.5);
    window.show();

    int status = 1;
    QObject::connect(&window, &StatisticsWindow::runFinished, &window, [&] {
        // Lets the last redraw reach the screen first.
        QTimer::singleShot(500, &window, [&] {
            const QImage image = window.screen()->grabWindow(window.winId()).toImage();
            status = !image.isNull() && image.save(args.at(2), "PNG") ? 0 : 1;
            if (status != 0)
                std::fprintf(stderr, "statistics-shot: could not write %s\n",
                             qPrintable(args.at(2)));
            QApplication::quit();
        });
    });
    QTimer::singleShot(500, &window, &StatisticsWindow::start);
    QApplication::exec();
    return status;
}
