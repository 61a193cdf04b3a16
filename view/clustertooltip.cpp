#include "clustertooltip.h"

namespace cluster_tooltip {

QString text(int row, int column, const model::SiteCluster& cluster, bool isolated)
{
    QString text = QStringLiteral("Row %1, column %2: ").arg(row + 1).arg(column + 1);
    if (cluster.size == 0)
        return text + QStringLiteral("empty");

    text += QStringLiteral("occupied\nCluster of %1 %2")
                .arg(cluster.size)
                .arg(cluster.size == 1 ? QStringLiteral("site") : QStringLiteral("sites"));
    if (cluster.isLargest)
        text += QStringLiteral(" (the largest)");
    else if (cluster.hasLargestSize)
        text += QStringLiteral(" (as large as the largest)");

    if (cluster.spansTopToBottom && cluster.spansLeftToRight)
        text += QStringLiteral("\nSpans top to bottom and left to right");
    else if (cluster.spansTopToBottom)
        text += QStringLiteral("\nSpans top to bottom");
    else if (cluster.spansLeftToRight)
        text += QStringLiteral("\nSpans left to right");

    if (isolated && !cluster.isLargest)
        text += QStringLiteral("\nNot shown while the largest cluster is isolated");
    return text;
}

} // namespace cluster_tooltip
