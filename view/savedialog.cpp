#include "savedialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStorageInfo>

namespace save_dialog {

namespace {

// The folder of the last successful save; empty until one succeeds.
QString& rememberedFolder()
{
    static QString folder;
    return folder;
}

bool usable(const QString& folder)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir() && !isPseudoFileSystem(folder);
}

} // namespace

bool isPseudoFileSystem(const QString& folder)
{
    static const QStringList kernelTypes{
        QStringLiteral("proc"),        QStringLiteral("sysfs"),      QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"),      QStringLiteral("debugfs"),    QStringLiteral("tracefs"),
        QStringLiteral("securityfs"),  QStringLiteral("cgroup"),     QStringLiteral("cgroup2"),
        QStringLiteral("pstore"),      QStringLiteral("bpf"),        QStringLiteral("configfs"),
        QStringLiteral("fusectl"),     QStringLiteral("mqueue"),     QStringLiteral("hugetlbfs"),
        QStringLiteral("binfmt_misc"), QStringLiteral("efivarfs"),   QStringLiteral("selinuxfs"),
        QStringLiteral("autofs"),      QStringLiteral("rpc_pipefs"), QStringLiteral("nsfs")};
    // /dev is often an ordinary tmpfs in containers: its place tells what it is.
    static const QStringList kernelFolders{QStringLiteral("/proc"), QStringLiteral("/sys"),
                                           QStringLiteral("/dev")};
    const QString path = QFileInfo(folder).absoluteFilePath();
    for (const QString& root : kernelFolders) {
        if (path == root || path.startsWith(root + u'/'))
            return true;
    }
    const QStorageInfo storage(folder);
    return storage.isValid() &&
           kernelTypes.contains(QString::fromLatin1(storage.fileSystemType()));
}

QString startFolder()
{
    if (usable(rememberedFolder()))
        return rememberedFolder();
    for (const auto location : {QStandardPaths::PicturesLocation,
                                QStandardPaths::DocumentsLocation, QStandardPaths::HomeLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (usable(folder))
            return folder;
    }
    return QDir::tempPath();
}

QString ask(QWidget* parent, const Request& request)
{
    NameOnlyIconProvider icons;
    QFileDialog dialog(parent, request.title, startFolder(),
                       request.filters.join(QStringLiteral(";;")));
    dialog.setObjectName(QStringLiteral("saveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setIconProvider(&icons);
    dialog.selectFile(request.fileName);
    if (!request.filters.isEmpty())
        dialog.selectNameFilter(request.filters.first());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return withSuffix(dialog.selectedFiles().first(), dialog.selectedNameFilter());
}

QString withSuffix(const QString& path, const QString& filter)
{
    if (!QFileInfo(path).suffix().isEmpty())
        return path;
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? path + u'.' + match.captured(1) : path;
}

QString unwritable(const QString& path)
{
    const QFileInfo target(path);
    if (path.isEmpty() || target.fileName().isEmpty())
        return QStringLiteral("no file name was given");
    if (target.isDir())
        return QStringLiteral("it is a folder");
    const QString folder = target.absolutePath();
    const QFileInfo parent(folder);
    if (!parent.exists())
        return QStringLiteral("the folder %1 does not exist").arg(folder);
    if (!parent.isDir())
        return QStringLiteral("%1 is a file, not a folder").arg(folder);
    if (isPseudoFileSystem(folder))
        return QStringLiteral("%1 belongs to the system's kernel and holds no files").arg(folder);
    if (!parent.isWritable())
        return QStringLiteral("the folder %1 does not allow writing").arg(folder);
    return QString();
}

QString failure(const QString& path, const QString& reason)
{
    return QStringLiteral("Could not write \"%1\": %2.").arg(path, reason);
}

bool write(QWidget* parent, const QString& title, const QString& path,
           const std::function<QString(const QString& path)>& write)
{
    QString reason = unwritable(path);
    if (reason.isEmpty())
        reason = write(path);
    if (!reason.isEmpty()) {
        QMessageBox::warning(parent, title, failure(path, reason));
        return false;
    }
    rememberedFolder() = QFileInfo(path).absolutePath();
    return true;
}

QIcon NameOnlyIconProvider::icon(const QFileInfo& info) const
{
    if (info.isRoot())
        return icon(Drive);
    return icon(info.isDir() ? Folder : File);
}

QString NameOnlyIconProvider::type(const QFileInfo& info) const
{
    if (info.isDir())
        return QStringLiteral("Folder");
    static const QMimeDatabase types;
    const QMimeType type = types.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    return type.comment().isEmpty() ? type.name() : type.comment();
}

} // namespace save_dialog
