#include "percolation.h"

#include "clustertooltip.h"
#include "latticepicture.h"
#include "model/lattice.h"
#include "picturefile.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QStandardPaths>
#include <QToolTip>

namespace {

QAction* makeAction(QWidget* owner, const QString& text, QKeyCombination keys,
                    const QString& purpose)
{
    auto* action = new QAction(text, owner);
    action->setShortcut(QKeySequence(keys));
    action->setShortcutContext(Qt::WindowShortcut);
    action->setToolTip(purpose);
    action->setStatusTip(purpose);
    owner->addAction(action);
    return action;
}

} // namespace

Percolation::Percolation(QWidget* parent, const char* name)
    : QWidget(parent),
      p(0.5),
      isolate(false),
      largestSize(0),
      nOccupied(0),
      L(600),
      site(new int[model::SiteCapacity]),
      occupied(new int[model::SiteCapacity]),
      largest(new int[model::SiteCapacity]),
      picture(lattice_picture::makeImage())
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));
    nOccupied = occupySites(p, site.get(), occupied.get(), L);
    largestSize = findLargestCluster(site.get(), occupied.get(), largest.get(), nOccupied, L);

    setAccessibleName(QStringLiteral("Lattice"));
    setAccessibleDescription(
        QStringLiteral("The current realisation; its context menu saves or copies the picture"));
    saveAction = makeAction(this, QStringLiteral("Save picture…"), Qt::CTRL | Qt::Key_S,
                            QStringLiteral("Save the lattice picture to a file"));
    copyAction = makeAction(this, QStringLiteral("Copy picture"), Qt::CTRL | Qt::SHIFT | Qt::Key_C,
                            QStringLiteral("Copy the lattice picture to the clipboard"));
    statsAction = makeAction(this, QStringLiteral("Statistics…"), Qt::CTRL | Qt::Key_T,
                             QStringLiteral("Open the statistics window"));
    connect(saveAction, &QAction::triggered, this, &Percolation::savePicture);
    connect(copyAction, &QAction::triggered, this, &Percolation::copyPicture);
    connect(statsAction, &QAction::triggered, this, &Percolation::statisticsRequested);
}

Percolation::~Percolation() = default;

void Percolation::emitLargest()
{
    emit largestChanged(largestSize);
}

void Percolation::emitSize()
{
    emit sizeChanged(L);
}

int Percolation::occupySites(double probability, int* sites, int* occupiedSites, int size)
{
    return model::occupySites(probability, sites, occupiedSites, size);
}

int Percolation::findLargestCluster(int* sites, int* occupiedSites, int* largestCluster,
                                    int occupiedCount, int size)
{
    const int clusterSize = model::findLargestCluster(sites, occupiedSites, largestCluster,
                                                      occupiedCount, size, clusterWorkspace);
    emit largestChanged(clusterSize);
    emit sizeChanged(size);
    return clusterSize;
}

const QImage& Percolation::composePicture()
{
    lattice_picture::compose(picture, L, isolate, occupied.get(), nOccupied, largest.get(),
                             largestSize);
    return picture;
}

void Percolation::startNew()
{
    clusterQuery.forget();
    nOccupied = occupySites(p, site.get(), occupied.get(), L);
    largestSize = findLargestCluster(site.get(), occupied.get(), largest.get(), nOccupied, L);
    repaint();
}

void Percolation::startL600()
{
    L = 600;
    startNew();
}

void Percolation::startL300()
{
    L = 300;
    startNew();
}

void Percolation::startL150()
{
    L = 150;
    startNew();
}

void Percolation::slotIsolate(bool isolated)
{
    isolate = isolated;
    repaint();
}

void Percolation::pChanged(double probability)
{
    p = probability;
}

void Percolation::paintEvent(QPaintEvent* /*event*/)
{
    // Sites are blocks of whole pixels: at a fractional or high device pixel ratio they are
    // scaled without smoothing, so they stay sharp.
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(0, 0, lattice_picture::Side, lattice_picture::Side),
                      composePicture());
}

bool Percolation::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        showToolTip(*static_cast<QHelpEvent*>(event));
        return true;
    }
    return QWidget::event(event);
}

void Percolation::showToolTip(const QHelpEvent& event)
{
    const int side = lattice_picture::Side / L;
    const QPoint position = event.pos();
    if (side == 0 || !QRect(0, 0, side * L, side * L).contains(position)) {
        QToolTip::hideText();
        return;
    }
    const int row = position.y() / side;
    const int column = position.x() / side;
    const model::SiteCluster& cluster =
        clusterQuery.clusterOf(site.get(), L, row * L + column + 1, largest.get(), largestSize);
    // Tied to the site's block, so that moving to another site brings up that site's text.
    QToolTip::showText(event.globalPos(), cluster_tooltip::text(row, column, cluster, isolate),
                       this, QRect(column * side, row * side, side, side));
}

void Percolation::contextMenuEvent(QContextMenuEvent* event)
{
    popUpMenu(event->globalPos());
}

void Percolation::showContextMenu()
{
    const QPoint pointer = mapFromGlobal(QCursor::pos());
    popUpMenu(mapToGlobal(rect().contains(pointer) ? pointer : rect().center()));
}

void Percolation::popUpMenu(const QPoint& globalPosition)
{
    if (menu == nullptr) {
        menu = new QMenu(this);
        menu->setAccessibleName(QStringLiteral("Lattice view"));
        menu->addActions({saveAction, copyAction});
        menu->addSeparator();
        menu->addAction(statsAction);
    }
    // The Menu key can arrive both as a key and as a context-menu event: one menu for both.
    if (!menu->isVisible())
        menu->popup(globalPosition);
}

void Percolation::savePicture()
{
    const QStringList filters = picture_file::nameFilters();
    QString filter = filters.first();
    if (pictureFolder.isEmpty()) {
        pictureFolder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (!QDir(pictureFolder).exists())
            pictureFolder = QDir::homePath();
    }
    const QString suggested =
        QDir(pictureFolder).filePath(QStringLiteral("lattice-L%1.png").arg(L));
    const QString chosen =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save picture"), suggested,
                                     filters.join(QStringLiteral(";;")), &filter);
    if (chosen.isEmpty())
        return;
    const QString path = picture_file::withSuffix(chosen, filter);
    pictureFolder = QFileInfo(path).absolutePath();
    const QString error = picture_file::save(composePicture(), path);
    if (!error.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Save picture"), error);
}

void Percolation::copyPicture()
{
    // A copy of its own: sharing the picture would make the next realisation copy it on write.
    QGuiApplication::clipboard()->setImage(composePicture().copy());
}
