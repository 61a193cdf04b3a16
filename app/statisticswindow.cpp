#include "statisticswindow.h"

#include "charts/chartfile.h"
#include "charts/curvechart.h"
#include "exponentpanel.h"
#include "stats/curvescsv.h"
#include "stats/scalinginput.h"
#include "view/savedialog.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

// The sizes offered in the plane and in space: a few seconds of work each for 1000 samples.
constexpr int TickedSizes[2][3] = {{150, 300, 600}, {16, 32, 64}};
constexpr int SmallestSize = 2;
constexpr int LargestSize[2] = {1000, 100};
constexpr int GridPoints = 201;
// About a quarter of a second of work on two cores, so that the plots move often.
constexpr std::int64_t ElementsPerBatch = std::int64_t{1} << 22;

int space(stats::Lattice lattice)
{
    return stats::dimensionsOf(lattice) == 3 ? 1 : 0;
}

// The names the lattice and model lists show, in the order of stats::Lattices and Models.
QString latticeText(stats::Lattice lattice)
{
    switch (lattice) {
    case stats::Lattice::Square:
        return StatisticsWindow::tr("Square");
    case stats::Lattice::Triangular:
        return StatisticsWindow::tr("Triangular");
    case stats::Lattice::Honeycomb:
        return StatisticsWindow::tr("Honeycomb");
    case stats::Lattice::Cubic:
        return StatisticsWindow::tr("Simple cubic");
    }
    return {};
}

QString modelText(stats::Model model)
{
    return model == stats::Model::Bond ? StatisticsWindow::tr("Bond")
                                       : StatisticsWindow::tr("Site");
}
constexpr double MinimumRedrawMs = 500;
constexpr int DefaultSamples = 1000;
constexpr int DefaultSeed = 1;
// Each plot of an exported picture, in device-independent pixels.
constexpr QSize PlotCellSize(640, 440);

QString durationText(double seconds)
{
    const auto whole = static_cast<long long>(std::ceil(seconds));
    if (whole < 60)
        return StatisticsWindow::tr("%1 s").arg(whole);
    if (whole < 3600)
        return StatisticsWindow::tr("%1 min %2 s").arg(whole / 60).arg(whole % 60);
    return StatisticsWindow::tr("%1 h %2 min").arg(whole / 3600).arg(whole / 60 % 60);
}

// The estimate to the decimal place of the second significant digit of its error.
QString valueWithError(double value, double error)
{
    int decimals = 6;
    if (error > 0 && std::isfinite(error))
        decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(error))), 0, 8);
    return QStringLiteral("%1 ± %2").arg(value, 0, 'f', decimals).arg(error, 0, 'f', decimals);
}

QChartView* makeChartView(const char* name, const QString& accessibleName)
{
    auto* view = new QChartView;
    view->setObjectName(QString::fromLatin1(name));
    view->setRenderHint(QPainter::Antialiasing);
    view->setAccessibleName(accessibleName);
    view->setMinimumSize(480, 290);
    return view;
}

// A column of the window that scrolls when the screen is too small for all of it, so that every
// control and plot stays within reach on a small screen, the exponent table too; at the usual
// sizes it does not scroll. It is never narrower than its content.
QScrollArea* scrollingColumn(QLayout* content, const char* name, const QString& accessibleName)
{
    content->setContentsMargins(0, 0, 0, 0);
    auto* inner = new QWidget;
    inner->setLayout(content);
    auto* area = new QScrollArea;
    area->setObjectName(QString::fromLatin1(name));
    area->setAccessibleName(accessibleName);
    // Not a stop of its own for Tab: a control that takes the focus is scrolled into view.
    area->setFocusPolicy(Qt::NoFocus);
    area->setWidget(inner);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setMinimumWidth(inner->minimumSizeHint().width() +
                          area->verticalScrollBar()->sizeHint().width());
    return area;
}

QPushButton* makeButton(const QString& text, const char* name, const QString& accessibleName)
{
    auto* button = new QPushButton(text);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(accessibleName);
    return button;
}

} // namespace

StatisticsWindow::StatisticsWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("statisticsWindow"));
    setWindowTitle(tr("Percolation statistics"));
    setModal(false);
    buildControls();
    grid = statistics::pGrid(chosenLattice(), chosenModel(), TickedSizes[0][0], GridPoints);
    redrawCharts();

    progressTimer = new QTimer(this);
    progressTimer->setInterval(100);
    connect(progressTimer, &QTimer::timeout, this, &StatisticsWindow::showProgress);
    connect(&watcher, &QFutureWatcherBase::finished, this, &StatisticsWindow::batchFinished);
    setControlsEnabled(true);
    resize(1100, 720);
    fitContent();
}

StatisticsWindow::~StatisticsWindow()
{
    batchControl.abandon = true;
    batchControl.stop = true;
    watcher.disconnect(this);
    if (running)
        watcher.waitForFinished();
}

void StatisticsWindow::buildControls()
{
    auto* latticeGroup = new QGroupBox(tr("Lattice"));
    auto* latticeLayout = new QFormLayout(latticeGroup);
    latticeBox = new QComboBox;
    latticeBox->setObjectName(QStringLiteral("latticeBox"));
    latticeBox->setAccessibleName(tr("Lattice"));
    for (const stats::Lattice lattice : stats::Lattices)
        latticeBox->addItem(latticeText(lattice));
    modelBox = new QComboBox;
    modelBox->setObjectName(QStringLiteral("modelBox"));
    modelBox->setAccessibleName(tr("Model"));
    modelBox->setAccessibleDescription(
        tr("Site: each site is occupied with probability p; bond: each bond, and every site "
           "belongs to a cluster"));
    for (const stats::Model model : stats::Models)
        modelBox->addItem(modelText(model));
    latticeLayout->addRow(tr("L&attice:"), latticeBox);
    latticeLayout->addRow(tr("Mo&del:"), modelBox);
    connect(latticeBox, &QComboBox::currentIndexChanged, this,
            [this] { showSizesFor(chosenLattice()); });

    auto* sizeGroup = new QGroupBox(tr("Sizes L"));
    auto* sizeLayout = new QVBoxLayout(sizeGroup);
    for (int i = 0; i < 3; ++i) {
        sizeBoxes[i] = new QCheckBox;
        sizeBoxes[i]->setObjectName(QStringLiteral("size%1Box").arg(i + 1));
        sizeBoxes[i]->setChecked(true);
        sizeLayout->addWidget(sizeBoxes[i]);
    }
    auto* otherLabel = new QLabel(tr("Other si&zes:"));
    otherSizesEdit = new QLineEdit;
    otherSizesEdit->setObjectName(QStringLiteral("otherSizesEdit"));
    otherSizesEdit->setAccessibleName(tr("Other sizes"));
    otherSizesEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9 ,;]*")), otherSizesEdit));
    otherLabel->setBuddy(otherSizesEdit);
    sizeLayout->addWidget(otherLabel);
    sizeLayout->addWidget(otherSizesEdit);

    auto* boundaryGroup = new QGroupBox(tr("Boundary"));
    auto* boundaryLayout = new QVBoxLayout(boundaryGroup);
    openButton = new QRadioButton(tr("&Open: crossing"));
    openButton->setObjectName(QStringLiteral("openButton"));
    openButton->setAccessibleName(tr("Open boundary"));
    openButton->setChecked(true);
    torusButton = new QRadioButton(tr("&Torus: wrapping"));
    torusButton->setObjectName(QStringLiteral("torusButton"));
    torusButton->setAccessibleName(tr("Torus boundary"));
    boundaryLayout->addWidget(openButton);
    boundaryLayout->addWidget(torusButton);

    auto* runGroup = new QGroupBox(tr("Run"));
    auto* runLayout = new QFormLayout(runGroup);
    samplesBox = new QSpinBox;
    samplesBox->setObjectName(QStringLiteral("samplesBox"));
    samplesBox->setAccessibleName(tr("Samples per size"));
    samplesBox->setRange(1, 1000000);
    samplesBox->setValue(DefaultSamples);
    samplesBox->setGroupSeparatorShown(true);
    seedBox = new QSpinBox;
    seedBox->setObjectName(QStringLiteral("seedBox"));
    seedBox->setAccessibleName(tr("Seed"));
    seedBox->setAccessibleDescription(tr("The same seed gives the same samples and curves"));
    seedBox->setRange(0, 2147483647);
    seedBox->setValue(DefaultSeed);
    // A screen reader may land on the text field inside a spin box: it gets the same name.
    for (QSpinBox* box : {samplesBox, seedBox})
        box->findChild<QLineEdit*>()->setAccessibleName(box->accessibleName());
    runLayout->addRow(tr("Sa&mples:"), samplesBox);
    runLayout->addRow(tr("S&eed:"), seedBox);

    startButton = makeButton(tr("&Start"), "startButton", tr("Start"));
    startButton->setDefault(true);
    stopButton = makeButton(tr("Sto&p"), "stopButton", tr("Stop"));
    continueButton = makeButton(tr("Co&ntinue"), "continueButton", tr("Continue"));
    continueButton->setAccessibleDescription(
        tr("Runs the samples the stopped run left out; the result is that of a run never "
           "stopped"));
    csvButton = makeButton(tr("Export &CSV…"), "csvButton", tr("Export the curves as CSV"));
    plotButton =
        makeButton(tr("Export p&lot…"), "plotButton", tr("Export the plots as PNG or SVG"));
    connect(startButton, &QPushButton::clicked, this, &StatisticsWindow::start);
    connect(stopButton, &QPushButton::clicked, this, &StatisticsWindow::stop);
    connect(continueButton, &QPushButton::clicked, this, &StatisticsWindow::continueRun);
    connect(csvButton, &QPushButton::clicked, this, &StatisticsWindow::exportCsv);
    connect(plotButton, &QPushButton::clicked, this, &StatisticsWindow::exportPlot);

    showSizesFor(chosenLattice());

    auto* controls = new QVBoxLayout;
    controls->addWidget(latticeGroup);
    controls->addWidget(sizeGroup);
    controls->addWidget(boundaryGroup);
    controls->addWidget(runGroup);
    controls->addWidget(startButton);
    controls->addWidget(stopButton);
    controls->addWidget(continueButton);
    controls->addStretch();
    controls->addWidget(csvButton);
    controls->addWidget(plotButton);

    spanningView = makeChartView("spanningView", tr("Spanning probability plot"));
    strengthView = makeChartView("strengthView", tr("Largest cluster strength plot"));

    progressBar = new QProgressBar;
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setAccessibleName(tr("Samples done and time left"));
    progressBar->setTextVisible(true);
    progressBar->setFormat(tr("No run yet"));
    progressBar->setValue(0);
    thresholdLabel = new QLabel(tr("pc: no run yet"));
    thresholdLabel->setObjectName(QStringLiteral("thresholdLabel"));
    thresholdLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLabel = new QLabel;
    statusLabel->setObjectName(QStringLiteral("statusLabel"));

    auto* plots = new QVBoxLayout;
    plots->addWidget(spanningView, 1);
    plots->addWidget(strengthView, 1);
    plots->addWidget(progressBar);
    plots->addWidget(thresholdLabel);
    plots->addWidget(statusLabel);
    exponentPanel = new ExponentPanel;
    plots->addWidget(exponentPanel, 1);

    auto* layout = new QHBoxLayout(this);
    controlsArea = scrollingColumn(controls, "controlsArea", tr("Settings of the run"));
    plotsArea = scrollingColumn(plots, "plotsArea", tr("Plots and results"));
    layout->addWidget(controlsArea);
    layout->addWidget(plotsArea, 1);

    QWidget* order[] = {latticeBox,     modelBox,   sizeBoxes[0],   sizeBoxes[1], sizeBoxes[2],
                        otherSizesEdit, openButton, torusButton,    samplesBox,   seedBox,
                        startButton,    stopButton, continueButton, csvButton,    plotButton};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void StatisticsWindow::showSizesFor(stats::Lattice lattice)
{
    const int d = space(lattice);
    const QString sizeTexts[2][3] = {{tr("L = 1&50"), tr("L = &300"), tr("L = &600")},
                                     {tr("L = &16"), tr("L = 3&2"), tr("L = 6&4")}};
    for (int i = 0; i < 3; ++i) {
        sizeBoxes[i]->setText(sizeTexts[d][i]);
        sizeBoxes[i]->setAccessibleName(tr("Size %1").arg(TickedSizes[d][i]));
    }
    otherSizesEdit->setAccessibleDescription(
        tr("Further sizes from %1 to %2, separated by spaces or commas")
            .arg(SmallestSize)
            .arg(LargestSize[d]));
    otherSizesEdit->setPlaceholderText(tr("e.g. %1, %2").arg(d ? 24 : 64).arg(LargestSize[d]));
}

stats::Lattice StatisticsWindow::chosenLattice() const
{
    return stats::Lattices[static_cast<std::size_t>(std::max(latticeBox->currentIndex(), 0))];
}

stats::Model StatisticsWindow::chosenModel() const
{
    return stats::Models[static_cast<std::size_t>(std::max(modelBox->currentIndex(), 0))];
}

std::vector<int> StatisticsWindow::selectedSizes(QString* problem) const
{
    const int d = space(chosenLattice());
    const QString range = tr("sizes run from %1 to %2.").arg(SmallestSize).arg(LargestSize[d]);
    std::vector<int> chosen;
    for (int i = 0; i < 3; ++i) {
        if (sizeBoxes[i]->isChecked())
            chosen.push_back(TickedSizes[d][i]);
    }
    const QStringList typed = otherSizesEdit->text().split(
        QRegularExpression(QStringLiteral("[ ,;]+")), Qt::SkipEmptyParts);
    for (const QString& text : typed) {
        bool ok = false;
        const int L = text.toInt(&ok);
        if (!ok || L < SmallestSize || L > LargestSize[d]) {
            if (problem != nullptr)
                *problem = tr("%1 is out of range: %2").arg(text, range);
            return {};
        }
        chosen.push_back(L);
    }
    const stats::Boundary boundary =
        torusButton->isChecked() ? stats::Boundary::Torus : stats::Boundary::Open;
    for (const int L : chosen)
        if (const std::string reason =
                stats::Geometry{chosenLattice(), chosenModel(), L, boundary}.check();
            !reason.empty()) {
            if (problem != nullptr) {
                *problem = QString::fromStdString(reason) + u'.';
                (*problem)[0] = (*problem)[0].toUpper();
            }
            return {};
        }
    if (chosen.empty() && problem != nullptr)
        *problem =
            tr("Tick a size, or type sizes from %1 to %2.").arg(SmallestSize).arg(LargestSize[d]);
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    return chosen;
}

std::vector<stats::Totals> StatisticsWindow::totals() const
{
    std::vector<stats::Totals> all;
    for (const Size& size : sizes)
        all.push_back(size.totals);
    return all;
}

void StatisticsWindow::setCurrentP(double p)
{
    currentP = p;
    redrawCharts();
}

std::vector<std::unique_ptr<QChart>> StatisticsWindow::makeCharts() const
{
    std::vector<charts::SizeCurve> spanning;
    std::vector<charts::SizeCurve> strength;
    for (const Size& size : sizes) {
        charts::SizeCurve& spanningCurve = spanning.emplace_back(charts::SizeCurve{size.L, {}});
        charts::SizeCurve& strengthCurve = strength.emplace_back(charts::SizeCurve{size.L, {}});
        for (const stats::CurvePoint& point : size.curve) {
            spanningCurve.points.append(
                {point.p, stats::directionsMean(point, geometry.dimensions())});
            strengthCurve.points.append({point.p, point.value[stats::Strength]});
        }
    }
    std::vector<charts::VerticalMarker> markers;
    const auto onGrid = [this](double p) { return p >= grid.front() && p <= grid.back(); };
    if (onGrid(currentP))
        markers.push_back({currentP, tr("lattice p = %1").arg(currentP)});
    const bool estimateShown = !threshold.estimator.empty() && onGrid(threshold.estimate);
    if (estimateShown)
        markers.push_back({threshold.estimate, tr("pc estimate")});

    const bool open = geometry.boundary == stats::Boundary::Open;
    const bool plane = geometry.dimensions() == 2;
    const charts::CurveChartLabels spanningLabels{
        open ? (plane ? tr("Crossing probability, mean of both directions")
                      : tr("Crossing probability, mean of the three directions"))
             : (plane ? tr("Wrapping probability, mean of both directions")
                      : tr("Wrapping probability, mean of the three directions")),
        tr("occupation probability p"), tr("probability")};
    const charts::CurveChartLabels strengthLabels{tr("Strength of the largest cluster P∞"),
                                                  tr("occupation probability p"), tr("P∞")};
    std::vector<std::unique_ptr<QChart>> made;
    made.push_back(charts::curveChart(spanning, markers, spanningLabels, charts::AxisRange{0, 1}));
    made.push_back(charts::curveChart(strength, markers, strengthLabels, charts::AxisRange{0, 1}));
    // The estimate apart from the lattice's p at a glance.
    if (estimateShown) {
        for (const auto& chart : made) {
            auto* estimateLine = qobject_cast<QLineSeries*>(chart->series().back());
            estimateLine->setPen(QPen(QColor(0xcc, 0x79, 0xa7), 2, Qt::DashDotLine));
        }
    }
    return made;
}

void StatisticsWindow::redrawCharts()
{
    std::vector<std::unique_ptr<QChart>> made = makeCharts();
    QChartView* views[2] = {spanningView, strengthView};
    for (std::size_t i = 0; i < 2; ++i) {
        const std::unique_ptr<QChart> previous(views[i]->chart());
        views[i]->setChart(made[i].release());
    }
}

void StatisticsWindow::start()
{
    if (running)
        return;
    QString problem;
    const std::vector<int> chosen = selectedSizes(&problem);
    if (chosen.empty()) {
        statusLabel->setText(problem);
        return;
    }
    geometry = {chosenLattice(), chosenModel(), 0,
                torusButton->isChecked() ? stats::Boundary::Torus : stats::Boundary::Open};
    seed = static_cast<std::uint64_t>(seedBox->value());
    samplesPerSize = static_cast<std::uint64_t>(samplesBox->value());
    grid = statistics::pGrid(geometry.lattice, geometry.model, chosen.front(), GridPoints);

    sizes.clear();
    std::vector<statistics::SizeWork> work;
    for (const int L : chosen) {
        stats::Geometry g = geometry;
        g.L = L;
        sizes.push_back({L, 0, stats::Totals(g, seed), {}, {}, {}, 0, 0});
        // Snapshots at pc cost a pass over the clusters per sample: taken only where they serve.
        if (chosen.size() >= stats::MinimumScalingSizes)
            sizes.back().totals.snapshots = stats::snapshotLayout(
                g, {stats::knownThreshold(geometry.lattice, geometry.model)});
        work.push_back({L, {{0, samplesPerSize}}, g.elements()});
    }
    threshold = {};
    redrawCharts();
    exponentPanel->showNote({});
    samplesCompleted = 0;
    run(work);
}

void StatisticsWindow::continueRun()
{
    if (running || !stopped)
        return;
    std::vector<statistics::SizeWork> work;
    for (const Size& size : sizes)
        work.push_back({size.L, stats::missingSamples(size.totals, {0, samplesPerSize}),
                        size.totals.elements()});
    run(work);
}

void StatisticsWindow::run(const std::vector<statistics::SizeWork>& work)
{
    plan = statistics::planBatches(work, ElementsPerBatch);
    nextBatch = 0;
    elementsCompleted = 0;
    elementsPlanned = 0;
    for (const statistics::Batch& batch : plan)
        elementsPlanned += elementsOf(batch.L) * static_cast<std::int64_t>(batch.sampleCount);
    progressBar->setRange(0, static_cast<int>(samplesPerSize * sizes.size()));
    batchControl.stop = false;
    running = true;
    stopped = false;
    clock.start();
    setControlsEnabled(false);
    stopButton->setFocus();
    statusLabel->setText(tr("Running with seed %1 on every core.").arg(seed));
    thresholdLabel->setText(tr("pc: waiting for samples"));
    progressTimer->start();
    showProgress();
    if (plan.empty())
        return finishRun(tr("Done with seed %1.").arg(seed));
    launchNextBatch();
}

void StatisticsWindow::launchNextBatch()
{
    const statistics::Batch batch = plan[nextBatch];
    Size* size = sizeOf(batch.L);
    // Drawing takes time of its own: keep it to a fraction of the run, but always draw a size's
    // first and last batch.
    const bool lastOfSize =
        std::none_of(plan.begin() + std::ptrdiff_t(nextBatch) + 1, plan.end(),
                     [&](const statistics::Batch& later) { return later.L == batch.L; });
    const bool draw = !size->sinceDrawn.isValid() || lastOfSize ||
                      static_cast<double>(size->sinceDrawn.elapsed()) >=
                          std::max(MinimumRedrawMs, 4000 * size->drawSeconds);
    launch(batch, draw);
}

void StatisticsWindow::launch(const statistics::Batch& batch, bool draw)
{
    Size* size = sizeOf(batch.L);
    batchControl.done = 0;
    watcher.setFuture(QtConcurrent::run([totals = std::move(size->totals), batch, ps = grid, draw,
                                         shared = &batchControl]() mutable {
        return statistics::runBatch(std::move(totals), batch, ps, draw, *shared);
    }));
}

void StatisticsWindow::batchFinished()
{
    statistics::BatchOutcome outcome = watcher.future().takeResult();
    Size* size = sizeOf(outcome.totals.L);
    const std::uint64_t added = outcome.totals.samples() - size->samples;
    size->samples = outcome.totals.samples();
    samplesCompleted += added;
    elementsCompleted += static_cast<std::int64_t>(added) * outcome.totals.elements();
    size->totals = std::move(outcome.totals);
    if (!outcome.curve.empty()) {
        size->curve = std::move(outcome.curve);
        size->estimates = std::move(outcome.estimates);
        size->sinceDrawn.start();
        size->drawSeconds = outcome.drawSeconds;
        size->drawnSamples = size->samples;
        csvButton->setEnabled(true);
        plotButton->setEnabled(true);
        showThreshold();
        redrawCharts();
    }
    batchControl.done = 0;
    const double seconds = static_cast<double>(clock.elapsed()) / 1000;
    if (batchControl.stop) {
        // Sizes whose last samples were not drawn yet get a batch of none that only draws.
        const auto stale = std::find_if(sizes.begin(), sizes.end(), [](const Size& each) {
            return each.drawnSamples != each.samples;
        });
        if (stale != sizes.end())
            return launch({stale->L, 0, 0}, true);
        stopped = std::any_of(sizes.begin(), sizes.end(),
                              [this](const Size& each) { return each.samples < samplesPerSize; });
        finishRun(tr("Stopped after %1 s; the plots show the samples completed, and Continue "
                     "runs the rest.")
                      .arg(seconds, 0, 'f', 1));
    } else if (++nextBatch == plan.size()) {
        finishRun(tr("Done in %1 s with seed %2.").arg(seconds, 0, 'f', 1).arg(seed));
    } else {
        launchNextBatch();
    }
}

void StatisticsWindow::finishRun(const QString& status)
{
    running = false;
    progressTimer->stop();
    showProgress();
    // Stop (or the window, which Stop handed the focus to) had the focus: it goes where the next
    // step is, never to a button that Return would press by surprise, such as an export.
    const bool hadFocus = stopButton->hasFocus() || focusWidget() == this;
    setControlsEnabled(true);
    if (hadFocus)
        (continueButton->isEnabled() ? continueButton : startButton)->setFocus();
    statusLabel->setText(status);
    showExponents();
    fitContent();
    emit runFinished();
}

void StatisticsWindow::stop()
{
    if (!running)
        return;
    batchControl.stop = true;
    // Disabled, Stop would pass the focus on to the next button: an export.
    if (stopButton->hasFocus())
        setFocus();
    stopButton->setEnabled(false);
    statusLabel->setText(tr("Stopping…"));
}

void StatisticsWindow::hideEvent(QHideEvent* event)
{
    // A minimised window keeps running; one that is closed stops.
    if (!event->spontaneous())
        stop();
    QDialog::hideEvent(event);
}

void StatisticsWindow::showProgress()
{
    std::uint64_t done = samplesCompleted;
    std::int64_t elementsDone = elementsCompleted;
    if (running && nextBatch < plan.size()) {
        const std::uint64_t inBatch = batchControl.done;
        done += inBatch;
        elementsDone += static_cast<std::int64_t>(inBatch) * elementsOf(plan[nextBatch].L);
    }
    progressBar->setValue(static_cast<int>(done));
    QString text = tr("%1 of %2 samples").arg(done).arg(progressBar->maximum());
    const double seconds = static_cast<double>(clock.elapsed()) / 1000;
    if (running && elementsDone > 0 && seconds > 0.5) {
        const double left = seconds * static_cast<double>(elementsPlanned - elementsDone) /
                            static_cast<double>(elementsDone);
        text += tr(", about %1 left").arg(durationText(left));
    }
    progressBar->setFormat(text);
}

void StatisticsWindow::showThreshold()
{
    std::vector<std::vector<stats::ThresholdEstimate>> perSize;
    std::vector<const stats::Totals*> drawn;
    // The jackknife behind the errors needs a few samples to say anything.
    for (const Size& size : sizes)
        if (!size.curve.empty() && size.totals.samples() >= 4) {
            perSize.push_back(size.estimates);
            drawn.push_back(&size.totals);
        }
    threshold = stats::estimateThreshold(drawn, &perSize).combined;
    const stats::CombinedThreshold& estimate = threshold;
    if (estimate.estimator.empty()) {
        thresholdLabel->setText(drawn.empty() ? tr("pc: waiting for samples")
                                              : tr("pc: %1").arg(estimate.missing.c_str()));
        return;
    }
    QStringList used;
    for (const int L : estimate.sizes)
        used.append(QString::number(L));
    const QString Ls = used.join(QStringLiteral(", "));
    const QString over =
        used.size() == 1                                  ? tr("at L = %1").arg(Ls)
        : estimate.target == stats::TargetKind::Estimated ? tr("intersections of L = %1").arg(Ls)
        : estimate.target == stats::TargetKind::Exact     ? tr("weighted mean over L = %1").arg(Ls)
                                                          : tr("fitted over L = %1").arg(Ls);
    const double known = stats::knownThreshold(geometry.lattice, geometry.model);
    thresholdLabel->setText(tr("pc = %1  (%2 estimator, %3; known %4)")
                                .arg(valueWithError(estimate.estimate, estimate.error),
                                     estimate.estimator.c_str(), over)
                                .arg(known, 0, 'f', 7));
}

void StatisticsWindow::showExponents()
{
    if (sizes.size() + 1 == stats::MinimumScalingSizes) {
        exponentPanel->showNote(
            tr("Critical exponents need %1 sizes or more.").arg(stats::MinimumScalingSizes));
        return;
    }
    if (sizes.size() < stats::MinimumScalingSizes)
        return;
    std::string error;
    const stats::ScalingInput input = stats::scalingInput(totals(), error);
    if (!error.empty())
        return exponentPanel->showNote(tr("Exponents: %1.").arg(QString::fromStdString(error)));
    exponentPanel->showResult(stats::analyseScaling(input), geometry.dimensions());
}

void StatisticsWindow::fitContent()
{
    const QMargins margins = layout()->contentsMargins();
    const int columns = controlsArea->minimumWidth() + layout()->spacing() +
                        plotsArea->minimumWidth() + margins.left() + margins.right();
    const int rows = std::max(controlsArea->widget()->minimumSizeHint().height(),
                              plotsArea->widget()->minimumSizeHint().height()) +
                     margins.top() + margins.bottom();
    const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize();
    resize(size()
               .expandedTo({columns, rows})
               .boundedTo(screen()->availableGeometry().size() - frame));
}

void StatisticsWindow::setControlsEnabled(bool idle)
{
    for (QWidget* control : std::initializer_list<QWidget*>{
             latticeBox, modelBox, sizeBoxes[0], sizeBoxes[1], sizeBoxes[2], otherSizesEdit,
             openButton, torusButton, samplesBox, seedBox, startButton})
        control->setEnabled(idle);
    stopButton->setEnabled(!idle);
    continueButton->setEnabled(idle && stopped);
    const bool anyCurve = std::any_of(sizes.begin(), sizes.end(),
                                      [](const Size& size) { return !size.curve.empty(); });
    csvButton->setEnabled(anyCurve);
    plotButton->setEnabled(anyCurve);
}

std::int64_t StatisticsWindow::elementsOf(int L) const
{
    stats::Geometry g = geometry;
    g.L = L;
    return g.elements();
}

StatisticsWindow::Size* StatisticsWindow::sizeOf(int L)
{
    const auto found =
        std::find_if(sizes.begin(), sizes.end(), [L](const Size& size) { return size.L == L; });
    return found == sizes.end() ? nullptr : &*found;
}

void StatisticsWindow::exportCsv()
{
    const QString title = tr("Export curves");
    const QString path = save_dialog::ask(
        this, {title, QStringLiteral("percolation-curves.csv"), {tr("CSV files (*.csv)")}});
    if (!path.isEmpty() && save_dialog::write(this, title, path, [this](const QString& target) {
            return writeCsv(target);
        }))
        statusLabel->setText(tr("Curves written to %1.").arg(path));
}

void StatisticsWindow::exportPlot()
{
    const QString title = tr("Export plots");
    const QString path =
        save_dialog::ask(this, {title,
                                QStringLiteral("percolation-statistics.png"),
                                {tr("PNG image (*.png)"), tr("SVG drawing (*.svg)")}});
    if (!path.isEmpty() && save_dialog::write(this, title, path, [this](const QString& target) {
            return writePlot(target);
        }))
        statusLabel->setText(tr("Plots written to %1.").arg(path));
}

QString StatisticsWindow::writeCsv(const QString& fileName) const
{
    // The curves of every sample done, at the plots' p, as percolation-stats writes them.
    std::ostringstream text;
    stats::writeCurvesCsv(text, totals(), grid);
    const std::string bytes = text.str();
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.commit())
        return file.errorString();
    return QString();
}

QString StatisticsWindow::writePlot(const QString& fileName) const
{
    const std::vector<std::unique_ptr<QChart>> made = makeCharts();
    const QString error =
        charts::writeCharts({made[0].get(), made[1].get()}, PlotCellSize, fileName);
    // The chart writer names the file itself, for a command line; the window's one wording
    // names it once.
    const QString named = QStringLiteral("cannot write %1: ").arg(fileName);
    return error.startsWith(named) ? error.mid(named.size()) : error;
}
