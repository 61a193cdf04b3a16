#include "straightforwardpicture.h"

#include <QPainter>

namespace straightforward {
namespace {

void drawSites(QPainter& painter, int L, const int* sites, int count, Qt::GlobalColor colour)
{
    if (L == 600) {
        painter.setPen(colour);
        for (int i = 1; i <= count; ++i) {
            const int s = sites[i];
            painter.drawPoint((s - 1) % L, (s - 1) / L);
        }
        return;
    }
    const int k = 600 / L;
    painter.setPen(Qt::NoPen);
    for (int i = 1; i <= count; ++i) {
        const int s = sites[i];
        painter.fillRect(k * ((s - 1) % L), k * ((s - 1) / L), k, k, colour);
    }
}

} // namespace

QPixmap drawPicture(int L, bool isolate, const int* occupied, int nOccupied, const int* largest,
                    int largestSize)
{
    QPixmap pixmap(600, 600);
    pixmap.fill(Qt::blue);
    if (L != 150 && L != 300 && L != 600)
        return pixmap;
    QPainter painter(&pixmap);
    if (!isolate)
        drawSites(painter, L, occupied, nOccupied, Qt::yellow);
    drawSites(painter, L, largest, largestSize, Qt::red);
    painter.end();
    return pixmap;
}

} // namespace straightforward
