#pragma once

#include "model/clusters.h"
#include "model/lattice.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <memory>

// The lattice view. It also holds the state of the current realisation: the probability p for
// the next one, the system size L, the three lattice arrays and their two counts. Commands arrive
// as slots; every command that realises a lattice runs the cluster pass, which announces the
// largest-cluster size and L, and then repaints at once.
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
    const int* siteArray() const { return site.get(); }
    // Realisations made since construction, so that whoever keeps answers about one can tell
    // when it is gone.
    std::uint64_t realisationCount() const { return realisations; }

public slots:
    void startNew();
    void startL600();
    void startL300();
    void startL150();
    void slotIsolate(bool isolated);
    void pChanged(double probability);

signals:
    void largestChanged(int size);
    void sizeChanged(int L);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Realises the lattice and finds its largest cluster, as findLargestCluster() announces it.
    void realise();

    bool isolate;
    int largestSize;
    int nOccupied;
    int L;
    std::uint64_t realisations = 0;
    std::unique_ptr<int[]> site;
    std::unique_ptr<int[]> occupied;
    std::unique_ptr<int[]> largest;
    // The realisation's sites as bits, which the cluster pass and the picture read.
    std::unique_ptr<model::SiteBits> bits;

    model::ClusterWorkspace clusterWorkspace;
    QImage picture;
};
