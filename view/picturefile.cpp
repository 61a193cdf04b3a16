#include "picturefile.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace picture_file {

QStringList nameFilters()
{
    // PNG is already first; icons and cursors stop at 256 pixels a side, too small for it.
    const QStringList skipped{QStringLiteral("png"), QStringLiteral("ico"), QStringLiteral("cur")};
    QStringList filters{QStringLiteral("PNG image (*.png)")};
    for (const QByteArray& format : QImageWriter::supportedImageFormats()) {
        const QString suffix = QString::fromLatin1(format).toLower();
        if (!skipped.contains(suffix))
            filters << QStringLiteral("%1 image (*.%2)").arg(suffix.toUpper(), suffix);
    }
    return filters;
}

QString save(const QImage& image, const QString& path)
{
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format)) {
        return QStringLiteral("pictures cannot be saved as \"%1\" files; use one of the types "
                              "offered, such as PNG")
            .arg(QString::fromLatin1(format));
    }
    // Written beside the target and renamed over it only when complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QImageWriter writer(&file, format);
    if (!writer.write(image)) {
        file.cancelWriting();
        return writer.errorString();
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

} // namespace picture_file
