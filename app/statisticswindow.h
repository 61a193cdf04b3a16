#pragma once

#include "statisticsrun.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFutureWatcher>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class QChart;
class QChartView;
class QScrollArea;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class ExponentPanel;

// A separate, non-modal window that estimates the spanning probability, P∞ and pc over many
// samples with the statistics engine, for site or bond percolation on the square, triangular,
// honeycomb or simple cubic lattice, and plots them while the run goes on. The samples run in
// batches on worker threads; between batches the window merges the totals and redraws. It draws
// its random numbers only from the engine's (seed, sample) streams, never from the lattice
// window's generator.
class StatisticsWindow : public QDialog
{
    Q_OBJECT

public:
    explicit StatisticsWindow(QWidget* parent = nullptr);
    ~StatisticsWindow() override;

    bool isRunning() const { return running; }
    // The sizes ticked and typed, ascending and without repeats. Empty when none is ticked or
    // typed or one does not fit the lattice chosen; then `problem`, when given, says which.
    std::vector<int> selectedSizes(QString* problem = nullptr) const;
    // The lattice and model chosen.
    stats::Lattice chosenLattice() const;
    stats::Model chosenModel() const;
    // The exact sums of the last run, one per size.
    std::vector<stats::Totals> totals() const;

public slots:
    // The p of the lattice window, marked on both plots.
    void setCurrentP(double p);
    void start();
    // Asks the run to stop: the samples in hand are finished and kept, then runFinished().
    void stop();
    // Runs the samples a stopped run left out, from the same streams: the totals end as those
    // of a run never stopped.
    void continueRun();
    void exportCsv();
    void exportPlot();

signals:
    void runFinished();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    struct Size
    {
        int L = 0;
        std::uint64_t samples = 0; // kept here too while a batch holds the totals
        stats::Totals totals;
        std::vector<stats::CurvePoint> curve;
        std::vector<stats::ThresholdEstimate> estimates;
        QElapsedTimer sinceDrawn;
        double drawSeconds = 0;
        std::uint64_t drawnSamples = 0; // the samples behind `curve`
    };

    void buildControls();
    // The sizes offered for ticking and typing suit the lattice's dimension.
    void showSizesFor(stats::Lattice lattice);
    // Starts running `work` for the run set up in `sizes`.
    void run(const std::vector<statistics::SizeWork>& work);
    void launchNextBatch();
    void launch(const statistics::Batch& batch, bool draw);
    void batchFinished();
    void finishRun(const QString& status);
    void showProgress();
    void showThreshold();
    // The exponents by finite-size scaling of a run of enough sizes, or a note why there are none.
    void showExponents();
    void setControlsEnabled(bool idle);
    // Grows the window to show both columns whole, as far as the screen has room.
    void fitContent();
    // The spanning and the P∞ chart of the curves so far, with their markers.
    std::vector<std::unique_ptr<QChart>> makeCharts() const;
    void redrawCharts();
    Size* sizeOf(int L);
    std::int64_t elementsOf(int L) const; // per sample of the run's geometry
    QString writeCsv(const QString& fileName) const;
    QString writePlot(const QString& fileName) const;

    QComboBox* latticeBox = nullptr;
    QComboBox* modelBox = nullptr;
    QCheckBox* sizeBoxes[3] = {};
    QLineEdit* otherSizesEdit = nullptr;
    QRadioButton* openButton = nullptr;
    QRadioButton* torusButton = nullptr;
    QSpinBox* samplesBox = nullptr;
    QSpinBox* seedBox = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* stopButton = nullptr;
    QPushButton* continueButton = nullptr;
    QPushButton* csvButton = nullptr;
    QPushButton* plotButton = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* statusLabel = nullptr;
    QLabel* thresholdLabel = nullptr;
    ExponentPanel* exponentPanel = nullptr;
    QChartView* spanningView = nullptr;
    QScrollArea* controlsArea = nullptr;
    QScrollArea* plotsArea = nullptr;
    QChartView* strengthView = nullptr;
    QTimer* progressTimer = nullptr;

    std::vector<Size> sizes;
    std::vector<double> grid;
    std::vector<statistics::Batch> plan;
    std::size_t nextBatch = 0;
    stats::Geometry geometry; // of the last run, but for its L
    std::uint64_t seed = 0;
    double currentP = -1;
    stats::CombinedThreshold threshold;
    bool running = false;
    QElapsedTimer clock;
    std::uint64_t samplesCompleted = 0;
    std::int64_t elementsCompleted = 0;
    std::int64_t elementsPlanned = 0;
    bool stopped = false; // the last run was stopped before all its samples

    std::uint64_t samplesPerSize = 0;
    // Shared with the worker thread; the destructor waits for the worker before it goes.
    statistics::BatchControl batchControl;
    QFutureWatcher<statistics::BatchOutcome> watcher;
};
