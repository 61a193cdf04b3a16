#pragma once

#include <QFileIconProvider>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// Every file dialog of the program and what follows it, in one place: where a dialog starts,
// the checks before a write, and how a failed write is reported.
//
// A dialog starts in the folder of the last save that succeeded (at first the user's pictures or
// documents folder, or home), never in a pseudo file system such as /proc, /sys or /dev: the
// dialog would look into the files there to name their type, and reading some of them (a kernel
// log) blocks for good. For the same reason its list names the types of files from their names
// alone, wherever the user goes.
namespace save_dialog {

struct Request
{
    QString title;       // "Save picture", also the title of a message about a failure
    QString fileName;    // suggested, without a folder
    QStringList filters; // the first is chosen at first, e.g. "PNG image (*.png)"
};

// Asks where to save. Returns the chosen path, with the chosen filter's suffix when it has none
// of its own, or an empty string when cancelled.
QString ask(QWidget* parent, const Request& request);

// Writes to `path` through `write`, which returns an empty string or the reason it failed. Checks
// first what would make any write fail, so that the reason given is the true one. On success the
// folder becomes the next dialog's start; a failure is reported in a message box. Returns
// whether the file was written.
bool write(QWidget* parent, const QString& title, const QString& path,
           const std::function<QString(const QString& path)>& write);

// The path with the suffix of `filter` ("PNG image (*.png)") appended when it has none.
QString withSuffix(const QString& path, const QString& filter);

// The one wording of a failed write.
QString failure(const QString& path, const QString& reason);

// Why no file can be written at `path` whatever its contents, or an empty string.
QString unwritable(const QString& path);

// Whether `folder` lies in a file system of the kernel's (proc, sysfs, devices, …) rather than
// one that holds files.
bool isPseudoFileSystem(const QString& folder);

// Where the next dialog starts.
QString startFolder();

// Names files' types from their names, never from their contents, and gives icons by kind.
class NameOnlyIconProvider : public QFileIconProvider
{
public:
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
    using QFileIconProvider::icon;
};

} // namespace save_dialog
