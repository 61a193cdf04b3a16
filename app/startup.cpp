#include "startup.h"

#include <QApplication>
#include <QFont>
#include <QWidget>

namespace startup {

void setApplicationFont()
{
    QApplication::setFont(QFont(QStringLiteral("Helvetica"), 12, QFont::Normal));
}

void placeMainWindow(QWidget& window)
{
    window.setGeometry(0, 50, 1000, 700);
    window.setWindowTitle(QStringLiteral("Percolation on a square lattice"));
}

} // namespace startup
