#include "percolation.h"

#include "latticepicture.h"
#include "model/lattice.h"

#include <QPaintEvent>
#include <QPainter>

Percolation::Percolation(QWidget* parent, const char* name)
    : QWidget(parent), p(0.5), isolate(false), largestSize(0), nOccupied(0), L(600),
      site(new int[model::SiteCapacity]), occupied(new int[model::SiteCapacity]),
      largest(new int[model::SiteCapacity]), bits(std::make_unique<model::SiteBits>()),
      picture(lattice_picture::makeImage())
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));
    realise();

    setAccessibleName(QStringLiteral("Lattice"));
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
    lattice_picture::compose(picture, L, isolate, *bits, largest.get(), largestSize);
    return picture;
}

void Percolation::realise()
{
    nOccupied = model::occupySites(p, site.get(), occupied.get(), L, *bits);
    largestSize = model::findLargestCluster(*bits, largest.get(), nOccupied, L, clusterWorkspace);
    emit largestChanged(largestSize);
    emit sizeChanged(L);
}

void Percolation::startNew()
{
    ++realisations;
    realise();
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
    painter.drawImage(QRect(0, 0, lattice_picture::Side, lattice_picture::Side), composePicture());
}
