#pragma once

#include "model/clusterquery.h"
#include "model/clusters.h"

#include <QImage>
#include <QWidget>

#include <memory>

class QAction;
class QHelpEvent;
class QMenu;

// The lattice view. It also holds the state of the current realisation: the probability p for
// the next one, the system size L, the three lattice arrays and their two counts. Commands arrive
// as slots; every command that realises a lattice runs the cluster pass, which announces the
// largest-cluster size and L, and then repaints at once.
//
// Resting the pointer on a site shows a tooltip about the site and its cluster, found on demand
// and kept until the next realisation. The context menu (right click, or the Menu key through
// showContextMenu()) saves or copies the picture and asks for statistics; its actions' shortcuts
// work anywhere in the window.
class Percolation : public QWidget
{
    Q_OBJECT

public:
    explicit Percolation(QWidget* parent = nullptr, const char* name = nullptr);
    ~Percolation() override;

    // Occupation probability of the next realisation.
    double p;

    void emitLargest();
    void emitSize();

    int occupySites(double p, int* site, int* occupied, int L);
    int findLargestCluster(int* site, int* occupied, int* largest, int nOccupied, int L);

    // The picture of the current realisation, as the widget shows it.
    const QImage& composePicture();

    int systemSize() const { return L; }
    bool isIsolated() const { return isolate; }
    int occupiedCount() const { return nOccupied; }
    int largestClusterSize() const { return largestSize; }
    const int* occupiedList() const { return occupied.get(); }
    const int* largestList() const { return largest.get(); }

public slots:
    void startNew();
    void startL600();
    void startL300();
    void startL150();
    void slotIsolate(bool isolated);
    void pChanged(double probability);

    // Asks for a file and writes the picture there, reporting a failure in a message box.
    void savePicture();
    void copyPicture();
    // The context menu at the pointer when it rests on the view, otherwise at its centre.
    void showContextMenu();

signals:
    void largestChanged(int size);
    void sizeChanged(int L);
    void statisticsRequested();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool isolate;
    int largestSize;
    int nOccupied;
    int L;
    std::unique_ptr<int[]> site;
    std::unique_ptr<int[]> occupied;
    std::unique_ptr<int[]> largest;

    model::ClusterWorkspace clusterWorkspace;
    QImage picture;

    void showToolTip(const QHelpEvent& event);
    void popUpMenu(const QPoint& globalPosition);

    // Scratch memory and the last answer of the tooltip's cluster search.
    model::ClusterQuery clusterQuery;
    QAction* saveAction = nullptr;
    QAction* copyAction = nullptr;
    QAction* statsAction = nullptr;
    QMenu* menu = nullptr; // made when first shown
    QString pictureFolder;
};
