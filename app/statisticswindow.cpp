#include "statisticswindow.h"

#include "charts/chartfile.h"
#include "charts/curvechart.h"
#include "stats/curvescsv.h"
#include "view/savedialog.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
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
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

constexpr int TickedSizes[3] = {150, 300, 600};
constexpr int SmallestSize = 2;
constexpr int LargestSize = 1000;
constexpr int GridPoints = 201;
// About a quarter of a second of work on two cores, so that the plots move often.
constexpr std::int64_t SitesPerBatch = std::int64_t{1} << 22;
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
    grid = statistics::pGrid(TickedSizes[0], GridPoints);
    redrawCharts();

    progressTimer = new QTimer(this);
    progressTimer->setInterval(100);
    connect(progressTimer, &QTimer::timeout, this, &StatisticsWindow::showProgress);
    connect(&watcher, &QFutureWatcherBase::finished, this, &StatisticsWindow::batchFinished);
    setControlsEnabled(true);
    resize(1100, 720);
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
    auto* sizeGroup = new QGroupBox(tr("Sizes L"));
    auto* sizeLayout = new QVBoxLayout(sizeGroup);
    const QString sizeTexts[3] = {tr("L = 1&50"), tr("L = &300"), tr("L = &600")};
    for (int i = 0; i < 3; ++i) {
        sizeBoxes[i] = new QCheckBox(sizeTexts[i]);
        sizeBoxes[i]->setObjectName(QStringLiteral("size%1Box").arg(TickedSizes[i]));
        sizeBoxes[i]->setAccessibleName(tr("Size %1").arg(TickedSizes[i]));
        sizeBoxes[i]->setChecked(true);
        sizeLayout->addWidget(sizeBoxes[i]);
    }
    auto* otherLabel = new QLabel(tr("Other si&zes:"));
    otherSizesEdit = new QLineEdit;
    otherSizesEdit->setObjectName(QStringLiteral("otherSizesEdit"));
    otherSizesEdit->setAccessibleName(tr("Other sizes"));
    otherSizesEdit->setAccessibleDescription(
        tr("Further sizes from %1 to %2, separated by spaces or commas")
            .arg(SmallestSize)
            .arg(LargestSize));
    otherSizesEdit->setPlaceholderText(tr("e.g. 64, 1000"));
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

    auto* controls = new QVBoxLayout;
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

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(controls);
    layout->addLayout(plots, 1);

    QWidget* order[] = {sizeBoxes[0],   sizeBoxes[1], sizeBoxes[2], otherSizesEdit, openButton,
                        torusButton,    samplesBox,   seedBox,      startButton,    stopButton,
                        continueButton, csvButton,    plotButton};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

std::vector<int> StatisticsWindow::selectedSizes(QString* problem) const
{
    const QString range = tr("sizes run from %1 to %2.").arg(SmallestSize).arg(LargestSize);
    std::vector<int> chosen;
    for (int i = 0; i < 3; ++i) {
        if (sizeBoxes[i]->isChecked())
            chosen.push_back(TickedSizes[i]);
    }
    const QStringList typed = otherSizesEdit->text().split(
        QRegularExpression(QStringLiteral("[ ,;]+")), Qt::SkipEmptyParts);
    for (const QString& text : typed) {
        bool ok = false;
        const int L = text.toInt(&ok);
        if (!ok || L < SmallestSize || L > LargestSize) {
            if (problem != nullptr)
                *problem = tr("%1 is out of range: %2").arg(text, range);
            return {};
        }
        chosen.push_back(L);
    }
    if (chosen.empty() && problem != nullptr)
        *problem =
            tr("Tick a size, or type sizes from %1 to %2.").arg(SmallestSize).arg(LargestSize);
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
            spanningCurve.points.append({point.p, statistics::spanningValue(point)});
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

    const bool open = boundary == stats::Boundary::Open;
    const charts::CurveChartLabels spanningLabels{
        open ? tr("Crossing probability, mean of both directions")
             : tr("Wrapping probability, mean of both directions"),
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
    boundary = torusButton->isChecked() ? stats::Boundary::Torus : stats::Boundary::Open;
    seed = static_cast<std::uint64_t>(seedBox->value());
    samplesPerSize = static_cast<std::uint64_t>(samplesBox->value());
    grid = statistics::pGrid(chosen.front(), GridPoints);

    sizes.clear();
    std::vector<statistics::SizeWork> work;
    for (const int L : chosen) {
        sizes.push_back({L, 0, stats::Totals(L, boundary, seed), {}, {}, {}, 0, 0});
        work.push_back({L, {{0, samplesPerSize}}});
    }
    threshold = {};
    redrawCharts();
    samplesCompleted = 0;
    run(work);
}

void StatisticsWindow::continueRun()
{
    if (running || !stopped)
        return;
    std::vector<statistics::SizeWork> work;
    for (const Size& size : sizes)
        work.push_back({size.L, stats::missingSamples(size.totals, {0, samplesPerSize})});
    run(work);
}

void StatisticsWindow::run(const std::vector<statistics::SizeWork>& work)
{
    plan = statistics::planBatches(work, SitesPerBatch);
    nextBatch = 0;
    sitesCompleted = 0;
    sitesPlanned = 0;
    for (const statistics::Batch& batch : plan)
        sitesPlanned +=
            std::int64_t{batch.L} * batch.L * static_cast<std::int64_t>(batch.sampleCount);
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
    sitesCompleted += static_cast<std::int64_t>(added) * outcome.totals.siteCount();
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
    std::int64_t sitesDone = sitesCompleted;
    if (running && nextBatch < plan.size()) {
        const std::uint64_t inBatch = batchControl.done;
        done += inBatch;
        sitesDone += static_cast<std::int64_t>(inBatch) * plan[nextBatch].L * plan[nextBatch].L;
    }
    progressBar->setValue(static_cast<int>(done));
    QString text = tr("%1 of %2 samples").arg(done).arg(progressBar->maximum());
    const double seconds = static_cast<double>(clock.elapsed()) / 1000;
    if (running && sitesDone > 0 && seconds > 0.5) {
        const double left = seconds * static_cast<double>(sitesPlanned - sitesDone) /
                            static_cast<double>(sitesDone);
        text += tr(", about %1 left").arg(durationText(left));
    }
    progressBar->setFormat(text);
}

void StatisticsWindow::showThreshold()
{
    std::vector<std::vector<stats::ThresholdEstimate>> perSize;
    QStringList used;
    for (const Size& size : sizes) {
        perSize.push_back(size.estimates);
        if (!size.estimates.empty())
            used.append(QString::number(size.L));
    }
    threshold = statistics::combinedThreshold(perSize, boundary);
    const stats::ThresholdEstimate& estimate = threshold;
    if (estimate.estimator.empty()) {
        thresholdLabel->setText(tr("pc: waiting for samples"));
        return;
    }
    const QString how =
        used.size() > 1
            ? tr("%1 estimator, fitted over L = %2")
                  .arg(estimate.estimator.c_str(), used.join(QStringLiteral(", ")))
            : tr("%1 estimator at L = %2").arg(estimate.estimator.c_str(), used.join(QString()));
    thresholdLabel->setText(
        tr("pc = %1  (%2)").arg(valueWithError(estimate.estimate, estimate.error), how));
}

void StatisticsWindow::setControlsEnabled(bool idle)
{
    for (QWidget* control : std::initializer_list<QWidget*>{
             sizeBoxes[0], sizeBoxes[1], sizeBoxes[2], otherSizesEdit, openButton, torusButton,
             samplesBox, seedBox, startButton})
        control->setEnabled(idle);
    stopButton->setEnabled(!idle);
    continueButton->setEnabled(idle && stopped);
    const bool anyCurve = std::any_of(sizes.begin(), sizes.end(),
                                      [](const Size& size) { return !size.curve.empty(); });
    csvButton->setEnabled(anyCurve);
    plotButton->setEnabled(anyCurve);
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
