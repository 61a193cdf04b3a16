#include "chartfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

namespace charts {
namespace {

// The scene must not delete the charts: the caller owns them.
class Stage
{
public:
    Stage(const std::vector<QChart*>& row, QSize cellSize) : charts(row)
    {
        for (std::size_t i = 0; i < charts.size(); ++i) {
            scene.addItem(charts[i]);
            charts[i]->setPos(double(i) * cellSize.width(), 0);
            charts[i]->resize(cellSize);
        }
        // Axes and legends are laid out on posted events.
        QCoreApplication::processEvents();
        for (QChart* chart : charts)
            chart->layout()->activate();
    }
    ~Stage()
    {
        for (QChart* chart : charts)
            scene.removeItem(chart);
    }
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    void render(QPainter& painter, QSizeF size)
    {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        scene.render(&painter, QRectF(QPointF(), size), QRectF(QPointF(), size));
    }

private:
    std::vector<QChart*> charts;
    QGraphicsScene scene;
};

QString failure(const QString& path, const QString& reason)
{
    return QStringLiteral("cannot write %1: %2").arg(path, reason);
}

bool isSvg(const QString& path)
{
    return QFileInfo(path).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0;
}

} // namespace

QString checkPictureName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix();
    if (isSvg(path) || suffix.compare(QStringLiteral("png"), Qt::CaseInsensitive) == 0)
        return {};
    return failure(path, suffix.isEmpty()
                             ? QStringLiteral("no extension (use .png or .svg)")
                             : QStringLiteral("unknown picture format .%1 (use .png or .svg)")
                                   .arg(suffix.left(16)));
}

QString writeCharts(const std::vector<QChart*>& row, QSize cellSize, const QString& path,
                    qreal devicePixelRatio)
{
    if (const QString reason = checkPictureName(path); !reason.isEmpty())
        return reason;
    if (row.empty() || cellSize.isEmpty())
        return failure(path, QStringLiteral("nothing to draw"));
    const QSize size(cellSize.width() * int(row.size()), cellSize.height());
    const QSize pixels = (QSizeF(size) * devicePixelRatio).toSize();
    if (!isSvg(path) && qint64(pixels.width()) * pixels.height() > MaxPixels)
        return failure(path, QStringLiteral("%1 × %2 pixels is too large a picture")
                                 .arg(pixels.width())
                                 .arg(pixels.height()));
    Stage stage(row, cellSize);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(path, file.errorString());

    if (isSvg(path)) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(), size));
        svg.setTitle(row.front()->title());
        QPainter painter;
        if (!painter.begin(&svg))
            return failure(path, QStringLiteral("the SVG painter did not start"));
        painter.fillRect(QRect(QPoint(), size), Qt::white);
        stage.render(painter, size);
        painter.end();
    } else {
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            return failure(path, QStringLiteral("the picture is too large"));
        image.setDevicePixelRatio(devicePixelRatio);
        image.fill(Qt::white);
        QPainter painter(&image);
        stage.render(painter, size);
        painter.end();
        if (!image.save(&file, "PNG"))
            return failure(path, file.errorString());
    }
    if (!file.commit())
        return failure(path, file.errorString());
    return {};
}

} // namespace charts
