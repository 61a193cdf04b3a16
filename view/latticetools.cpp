#include "latticetools.h"

#include "clustertooltip.h"
#include "latticepicture.h"
#include "percolation.h"
#include "picturefile.h"
#include "savedialog.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
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

LatticeTools::LatticeTools(Percolation* view) : QObject(view), lattice(view)
{
    lattice->setAccessibleDescription(
        QStringLiteral("The current realisation; its context menu saves or copies the picture"));
    saveAction = makeAction(lattice, QStringLiteral("Save picture…"), Qt::CTRL | Qt::Key_S,
                            QStringLiteral("Save the lattice picture to a file"));
    copyAction =
        makeAction(lattice, QStringLiteral("Copy picture"), Qt::CTRL | Qt::SHIFT | Qt::Key_C,
                   QStringLiteral("Copy the lattice picture to the clipboard"));
    statsAction = makeAction(lattice, QStringLiteral("Statistics…"), Qt::CTRL | Qt::Key_T,
                             QStringLiteral("Open the statistics window"));
    exploreAction = makeAction(lattice, QStringLiteral("Explore…"), Qt::CTRL | Qt::Key_E,
                               QStringLiteral("Watch one lattice as p moves through pc"));
    connect(saveAction, &QAction::triggered, this, &LatticeTools::savePicture);
    connect(copyAction, &QAction::triggered, this, &LatticeTools::copyPicture);
    lattice->installEventFilter(this);
}

LatticeTools::~LatticeTools() = default;

void LatticeTools::takeMenuKey(QWidget* window, QWidget* field)
{
    menuKeyWindow = window;
    menuKeyField = field;
    window->installEventFilter(this);
}

bool LatticeTools::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lattice) {
        if (event->type() == QEvent::ToolTip) {
            showToolTip(*static_cast<QHelpEvent*>(event));
            return true;
        }
        if (event->type() == QEvent::ContextMenu) {
            popUpMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
    } else if (watched == menuKeyWindow) {
        // Reached here, the key or event was passed up by a child that did not want it.
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Menu &&
            menuKeyWindow->focusWidget() != menuKeyField) {
            showContextMenu();
            return true;
        }
        // Some platforms turn the Menu key into a context-menu event for the focus widget.
        if (event->type() == QEvent::ContextMenu &&
            static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
            showContextMenu();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void LatticeTools::showToolTip(const QHelpEvent& event)
{
    const int L = lattice->systemSize();
    const int side = lattice_picture::Side / L;
    const QPoint position = event.pos();
    if (side == 0 || !QRect(0, 0, side * L, side * L).contains(position)) {
        QToolTip::hideText();
        return;
    }
    if (queriedRealisation != lattice->realisationCount()) {
        queriedRealisation = lattice->realisationCount();
        clusterQuery.forget();
    }
    const int row = position.y() / side;
    const int column = position.x() / side;
    const model::SiteCluster& cluster =
        clusterQuery.clusterOf(lattice->siteArray(), L, row * L + column + 1,
                               lattice->largestList(), lattice->largestClusterSize());
    // Tied to the site's block, so that moving to another site brings up that site's text.
    QToolTip::showText(event.globalPos(),
                       cluster_tooltip::text(row, column, cluster, lattice->isIsolated()), lattice,
                       QRect(column * side, row * side, side, side));
}

void LatticeTools::showContextMenu()
{
    const QPoint pointer = lattice->mapFromGlobal(QCursor::pos());
    const QRect area = lattice->rect();
    popUpMenu(lattice->mapToGlobal(area.contains(pointer) ? pointer : area.center()));
}

void LatticeTools::popUpMenu(const QPoint& globalPosition)
{
    if (menu == nullptr) {
        menu = new QMenu(lattice);
        menu->setAccessibleName(QStringLiteral("Lattice view"));
        menu->addActions({saveAction, copyAction});
        menu->addSeparator();
        menu->addActions({statsAction, exploreAction});
    }
    // The Menu key can arrive both as a key and as a context-menu event: one menu for both.
    if (!menu->isVisible())
        menu->popup(globalPosition);
}

void LatticeTools::savePicture()
{
    const QString title = QStringLiteral("Save picture");
    const QString path = save_dialog::ask(
        lattice, {title, QStringLiteral("lattice-L%1.png").arg(lattice->systemSize()),
                  picture_file::nameFilters()});
    if (path.isEmpty())
        return;
    save_dialog::write(lattice, title, path, [this](const QString& target) {
        return picture_file::save(lattice->composePicture(), target);
    });
}

void LatticeTools::copyPicture()
{
    // A copy of its own: sharing the picture would make the next realisation copy it on write.
    QGuiApplication::clipboard()->setImage(lattice->composePicture().copy());
}
