#pragma once

#include "model/clusterquery.h"

#include <QObject>

#include <cstdint>

class Percolation;
class QAction;
class QHelpEvent;
class QMenu;
class QPoint;
class QWidget;

// What the lattice view offers beyond its picture, kept out of the widget itself: a tooltip on
// the site and cluster under the pointer, found on demand and kept until the next realisation,
// and a context menu that saves or copies the picture and asks for statistics. Its actions'
// shortcuts work anywhere in the window. A child of the view, it watches the view's tooltip and
// context-menu events, and, once told of the window, the window's Menu key. The menu also opens
// the statistics window and the explorer of the transition.
class LatticeTools : public QObject
{
    Q_OBJECT

public:
    explicit LatticeTools(Percolation* lattice);
    ~LatticeTools() override;

    // "Statistics…": the window decides what it opens.
    QAction* statisticsAction() const { return statsAction; }
    // "Explore…", likewise.
    QAction* explorerAction() const { return exploreAction; }

    // The Menu key pressed anywhere in `window` except in `field`, which keeps it, opens the
    // menu; the view itself takes no keyboard focus.
    void takeMenuKey(QWidget* window, QWidget* field);

    // Asks for a file and writes the picture there (see save_dialog).
    void savePicture();
    void copyPicture();
    // The context menu at the pointer when it rests on the view, otherwise at its centre.
    void showContextMenu();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showToolTip(const QHelpEvent& event);
    void popUpMenu(const QPoint& globalPosition);

    Percolation* lattice;
    QWidget* menuKeyWindow = nullptr;
    QWidget* menuKeyField = nullptr;
    // Scratch memory and the last answer of the tooltip's cluster search, for the realisation
    // counted here.
    model::ClusterQuery clusterQuery;
    std::uint64_t queriedRealisation = 0;
    QAction* saveAction = nullptr;
    QAction* copyAction = nullptr;
    QAction* statsAction = nullptr;
    QAction* exploreAction = nullptr;
    QMenu* menu = nullptr; // made when first shown
};
