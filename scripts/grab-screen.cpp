// Saves a region of the screen as a PNG file:
//
//     grab-screen <x> <y> <width> <height> <file.png>
//
// A window that has just been mapped may not be painted yet; until the region shows more than
// one colour the grab is repeated, for a few seconds at most.

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QStringList>
#include <QThread>

#include <cstdio>

namespace {

bool isOneColour(const QImage& image)
{
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != first)
                return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    int region[4] = {};
    bool valid = args.size() == 6;
    for (int i = 0; valid && i < 4; ++i)
        region[i] = args.at(i + 1).toInt(&valid);
    if (!valid || region[2] <= 0 || region[3] <= 0) {
        std::fprintf(stderr, "usage: grab-screen <x> <y> <width> <height> <file.png>\n");
        return 2;
    }

    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fprintf(stderr, "grab-screen: no screen\n");
        return 1;
    }
    QImage image;
    for (int attempt = 0; attempt < 100; ++attempt) {
        image = screen->grabWindow(0, region[0], region[1], region[2], region[3]).toImage();
        if (!image.isNull() && !isOneColour(image))
            break;
        QThread::msleep(50);
    }
    if (image.isNull() || !image.save(args.at(5), "PNG")) {
        std::fprintf(stderr, "grab-screen: could not grab the screen or write %s\n",
                     qPrintable(args.at(5)));
        return 1;
    }
    return 0;
}
