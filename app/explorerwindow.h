#pragma once

#include "stats/occupationhistory.h"
#include "view/explorerpicture.h"

#include <QDialog>
#include <QImage>

#include <cstdint>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;

// A separate, non-modal window with one square lattice and a p slider: the lattice is redrawn
// live as p moves, so the largest cluster can be watched taking over at pc. Each site keeps one
// number drawn from the statistics engine's streams (never from the lattice window's generator),
// so a site occupied at p stays occupied at every larger p. Every redraw is one pass over a
// history computed once per lattice (stats::OccupationHistory).
class ExplorerWindow : public QDialog
{
    Q_OBJECT

public:
    // The p slider's steps per unit: p moves in steps of 0.0001.
    static constexpr int SliderScale = 10000;

    explicit ExplorerWindow(QWidget* parent = nullptr);
    ~ExplorerWindow() override;

    // The picture as the window shows it.
    const QImage& picture() const { return image; }
    double p() const;
    int side() const { return history->side(); }
    std::uint64_t seed() const { return history->seed(); }

public slots:
    void setP(double p);
    void setSide(int L);
    // The next seed's lattice at the same size and p.
    void newLattice();
    // Sweeps p up through pc and back down, or stops a sweep under way.
    void play(bool on);

protected:
    // A closed window stops playing.
    void hideEvent(QHideEvent* event) override;

private:
    void buildControls();
    void makeLattice(int L, std::uint64_t seed);
    void redraw();
    void step();

    std::unique_ptr<stats::OccupationHistory> history;
    std::vector<std::int32_t> roots;
    QImage image;
    int shownN = -1;

    QWidget* view = nullptr;
    QSlider* slider = nullptr;
    QRadioButton* sizeButtons[3] = {};
    QCheckBox* everyClusterBox = nullptr;
    QCheckBox* spanningBox = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* newButton = nullptr;
    QLabel* pValue = nullptr;
    QLabel* clustersValue = nullptr;
    QLabel* strengthValue = nullptr;
    QLabel* spanValue = nullptr;
    QLabel* seedValue = nullptr;
    QTimer* playTimer = nullptr;
    int playDirection = 1;
};
