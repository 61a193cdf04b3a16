#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// Writing the lattice picture to a file, apart from any dialog so that the result can be checked.
namespace picture_file {

// File-dialog filters for the formats Qt can write a picture of 600 × 600 pixels in, PNG first.
QStringList nameFilters();

// Writes the image to `path` in the format its suffix names. Returns an empty string on success,
// otherwise the reason, for save_dialog::failure(); a failed write leaves no file behind and an
// existing file as it was.
QString save(const QImage& image, const QString& path);

} // namespace picture_file
