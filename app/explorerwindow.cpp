#include "explorerwindow.h"

#include "statisticsrun.h"
#include "view/readabledisplay.h"

#include "view/latticepicture.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int Sides[3] = {150, 300, 600};
constexpr std::uint64_t FirstSeed = 1;
// Play: p from pc − PlayHalfWidth up to pc + PlayHalfWidth and back, one slider step of
// PlayStep every PlayIntervalMs, about eight seconds in all.
constexpr double PlayHalfWidth = 0.1;
constexpr int PlayStep = 20;
constexpr int PlayIntervalMs = 40;

const QString PCaption = QStringLiteral("p");
const QString ClustersCaption = QStringLiteral("Clusters");
const QString StrengthCaption = QStringLiteral("P∞");
const QString SpanCaption = QStringLiteral("A cluster spans");
const QString SeedCaption = QStringLiteral("Seed");

int sliderValue(double p)
{
    return static_cast<int>(std::lround(p * ExplorerWindow::SliderScale));
}

// Shows the picture 1 : 1 in logical pixels, its blocks kept sharp at any device pixel ratio.
class PictureView : public QWidget
{
public:
    explicit PictureView(const QImage& shown) : image(shown)
    {
        setFixedSize(lattice_picture::Side, lattice_picture::Side);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(rect(), image);
    }

private:
    const QImage& image;
};

QLabel* makeValue(QFormLayout* form, const QString& caption, const char* name)
{
    auto* value = new QLabel;
    value->setObjectName(QString::fromLatin1(name));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(caption + u':', value);
    return value;
}

} // namespace

ExplorerWindow::ExplorerWindow(QWidget* parent)
    : QDialog(parent), image(lattice_picture::makeImage())
{
    setObjectName(QStringLiteral("explorerWindow"));
    setWindowTitle(tr("Percolation explorer"));
    setModal(false);
    history = std::make_unique<stats::OccupationHistory>(Sides[1], FirstSeed);
    buildControls();
    playTimer = new QTimer(this);
    playTimer->setInterval(PlayIntervalMs);
    connect(playTimer, &QTimer::timeout, this, &ExplorerWindow::step);
    slider->setValue(sliderValue(std::floor(statistics::SquareLatticeThreshold * 1e4) / 1e4));
    redraw();
}

ExplorerWindow::~ExplorerWindow() = default;

void ExplorerWindow::buildControls()
{
    view = new PictureView(image);
    view->setObjectName(QStringLiteral("explorerView"));
    view->setAccessibleName(tr("Lattice"));
    view->setAccessibleDescription(tr("Empty sites blue, occupied sites yellow, the largest "
                                      "cluster red; the values beside it describe it"));

    auto* sizeGroup = new QGroupBox(tr("Size L"));
    auto* sizeLayout = new QHBoxLayout(sizeGroup);
    const QString sizeTexts[3] = {tr("1&50"), tr("&300"), tr("&600")};
    for (int i = 0; i < 3; ++i) {
        sizeButtons[i] = new QRadioButton(sizeTexts[i]);
        sizeButtons[i]->setObjectName(QStringLiteral("side%1Button").arg(Sides[i]));
        sizeButtons[i]->setAccessibleName(tr("L = %1").arg(Sides[i]));
        sizeLayout->addWidget(sizeButtons[i]);
        connect(sizeButtons[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                setSide(Sides[i]);
        });
    }
    sizeButtons[1]->setChecked(true);

    auto* sliderLabel = new QLabel(tr("Occupation probability &p:"));
    slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(QStringLiteral("pSlider"));
    slider->setRange(0, SliderScale);
    slider->setSingleStep(10);
    slider->setPageStep(100);
    slider->setAccessibleDescription(
        tr("From 0 to 1; the arrow keys move p by 0.001, Page Up and Page Down by 0.01"));
    sliderLabel->setBuddy(slider);
    connect(slider, &QSlider::valueChanged, this, &ExplorerWindow::redraw);

    auto* values = new QFormLayout;
    pValue = makeValue(values, PCaption, "pValue");
    clustersValue = makeValue(values, ClustersCaption, "clustersValue");
    strengthValue = makeValue(values, StrengthCaption, "strengthValue");
    spanValue = makeValue(values, SpanCaption, "spanValue");

    everyClusterBox = new QCheckBox(tr("&Colour every cluster"));
    everyClusterBox->setObjectName(QStringLiteral("everyClusterBox"));
    spanningBox = new QCheckBox(tr("Show only the &spanning cluster"));
    spanningBox->setObjectName(QStringLiteral("spanningBox"));
    connect(everyClusterBox, &QCheckBox::toggled, this, &ExplorerWindow::redraw);
    connect(spanningBox, &QCheckBox::toggled, this, &ExplorerWindow::redraw);

    playButton = new QPushButton(tr("P&lay"));
    playButton->setObjectName(QStringLiteral("playButton"));
    playButton->setCheckable(true);
    playButton->setAutoDefault(false);
    playButton->setAccessibleDescription(tr("Sweeps p up through pc and back down"));
    connect(playButton, &QPushButton::toggled, this, &ExplorerWindow::play);
    newButton = new QPushButton(tr("&New lattice"));
    newButton->setObjectName(QStringLiteral("newLatticeButton"));
    newButton->setAutoDefault(false);
    newButton->setAccessibleDescription(tr("Draws the numbers of the next seed"));
    connect(newButton, &QPushButton::clicked, this, &ExplorerWindow::newLattice);
    auto* seedForm = new QFormLayout;
    seedValue = makeValue(seedForm, SeedCaption, "seedValue");

    auto* legend = new QLabel(tr("Blue: empty. Yellow: occupied. Red: the largest cluster."));
    legend->setWordWrap(true);

    auto* controls = new QVBoxLayout;
    controls->addWidget(sizeGroup);
    controls->addWidget(sliderLabel);
    controls->addWidget(slider);
    controls->addLayout(values);
    controls->addWidget(everyClusterBox);
    controls->addWidget(spanningBox);
    controls->addWidget(playButton);
    controls->addWidget(newButton);
    controls->addLayout(seedForm);
    controls->addStretch();
    controls->addWidget(legend);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(view, 0, Qt::AlignTop);
    layout->addLayout(controls);
    QWidget* order[] = {slider,      sizeButtons[0], everyClusterBox,
                        spanningBox, playButton,     newButton};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    slider->setFocus();
}

double ExplorerWindow::p() const
{
    return static_cast<double>(slider->value()) / SliderScale;
}

void ExplorerWindow::setP(double p)
{
    slider->setValue(sliderValue(p));
}

void ExplorerWindow::setSide(int L)
{
    if (L == history->side())
        return;
    makeLattice(L, history->seed());
}

void ExplorerWindow::newLattice()
{
    makeLattice(history->side(), history->seed() + 1);
}

void ExplorerWindow::makeLattice(int L, std::uint64_t seed)
{
    history = std::make_unique<stats::OccupationHistory>(L, seed);
    for (int i = 0; i < 3; ++i) {
        if (Sides[i] == L)
            sizeButtons[i]->setChecked(true);
    }
    redraw();
}

void ExplorerWindow::redraw()
{
    const int n = history->occupiedAt(p());
    explorer_picture::compose(image, *history, n,
                              {everyClusterBox->isChecked(), spanningBox->isChecked()}, roots);
    view->update();

    const QString pText = QString::number(p(), 'f', 4);
    readable_display::show(pValue, PCaption, pText);
    slider->setAccessibleName(readable_display::spoken(tr("Occupation probability p"), pText));
    readable_display::show(clustersValue, ClustersCaption, QString::number(history->clusters(n)));
    readable_display::show(
        strengthValue, StrengthCaption,
        QString::number(double(history->largestSize(n)) / history->siteCount(), 'f', 4));
    readable_display::show(spanValue, SpanCaption, history->spans(n) ? tr("yes") : tr("no"));
    readable_display::show(seedValue, SeedCaption, QString::number(history->seed()));
}

void ExplorerWindow::play(bool on)
{
    if (!on) {
        playTimer->stop();
        return;
    }
    const int low = sliderValue(statistics::SquareLatticeThreshold - PlayHalfWidth);
    const int high = sliderValue(statistics::SquareLatticeThreshold + PlayHalfWidth);
    if (slider->value() < low || slider->value() >= high)
        slider->setValue(low);
    playDirection = 1;
    playTimer->start();
}

void ExplorerWindow::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous())
        playButton->setChecked(false);
    QDialog::hideEvent(event);
}

void ExplorerWindow::step()
{
    const int low = sliderValue(statistics::SquareLatticeThreshold - PlayHalfWidth);
    const int high = sliderValue(statistics::SquareLatticeThreshold + PlayHalfWidth);
    const int next = slider->value() + playDirection * PlayStep;
    if (playDirection > 0 && next >= high) {
        slider->setValue(high);
        playDirection = -1;
    } else if (playDirection < 0 && next <= low) {
        slider->setValue(low);
        playButton->setChecked(false); // one sweep up and back
    } else {
        slider->setValue(next);
    }
}
