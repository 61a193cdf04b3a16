#pragma once

#include <QChart>
#include <QSize>
#include <QString>

#include <vector>

// Writes charts to a picture file, side by side in one row, each `cellSize` device-independent
// pixels. The format follows the file name: ".svg" gives SVG, anything else PNG at
// `devicePixelRatio` (2 gives crisp lines on high-resolution screens and in documents). The file
// is written under a temporary name and renamed, so a failure leaves any old file untouched.
// Returns an empty string on success, otherwise a one-line reason. Needs a QApplication.
namespace charts {

QString writeCharts(const std::vector<QChart*>& row, QSize cellSize, const QString& path,
                    qreal devicePixelRatio = 2);

} // namespace charts
