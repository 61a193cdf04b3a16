#pragma once

#include <QChart>
#include <QSize>
#include <QString>

#include <vector>

// Writes charts to a picture file, side by side in one row, each `cellSize` device-independent
// pixels. The format follows the file name's extension: ".svg" gives SVG, ".png" PNG at
// `devicePixelRatio` (2 gives crisp lines on high-resolution screens and in documents); any
// other name is refused, so that no file ever holds a format its name belies. A PNG of more
// than MaxPixels is refused too. The file is written under a temporary name and renamed, so a
// failure leaves any old file untouched. Returns an empty string on success, otherwise a
// one-line reason. Needs a QApplication.
namespace charts {

inline constexpr qint64 MaxPixels = qint64{50} << 20;

// "" if the name's extension is one writeCharts() writes, otherwise the one-line reason.
QString checkPictureName(const QString& path);

QString writeCharts(const std::vector<QChart*>& row, QSize cellSize, const QString& path,
                    qreal devicePixelRatio = 2);

} // namespace charts
