#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// Writing the lattice picture to a file, apart from any dialog so that the result can be checked.
namespace picture_file {

// File-dialog filters for the formats Qt can write a picture of 600 × 600 pixels in, PNG first.
QStringList nameFilters();

// The path with the suffix of `filter` appended when it has no suffix of its own.
QString withSuffix(const QString& path, const QString& filter);

// Writes the image to `path` in the format its suffix names. Returns an empty string on success,
// otherwise a sentence for the user; a failed write leaves no file behind and an existing file
// as it was.
QString save(const QImage& image, const QString& path);

} // namespace picture_file
