#include "interface.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Lets the desktop match the window to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("percolation"));
    startup::setApplicationFont();

    Interface window;
    startup::placeMainWindow(window);
    window.show();
    return QApplication::exec();
}
