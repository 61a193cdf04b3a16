#include "exponentpanel.h"

#include "charts/scalingchart.h"
#include "stats/exponenttable.h"

#include <QChartView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace {

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

enum Column { Exponent, Estimate, Known, Sigmas, From, Columns };

} // namespace

ExponentPanel::ExponentPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("exponentPanel"));
    noteLabel = new QLabel;
    noteLabel->setObjectName(QStringLiteral("exponentNote"));
    noteLabel->setWordWrap(true);
    noteLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    estimates = new QTableWidget(0, Columns);
    estimates->setObjectName(QStringLiteral("exponentTable"));
    estimates->setAccessibleName(tr("Critical exponents"));
    estimates->setHorizontalHeaderLabels(
        {tr("Exponent"), tr("Estimate"), tr("Known"), tr("σ away"), tr("From")});
    estimates->verticalHeader()->hide();
    estimates->setEditTriggers(QAbstractItemView::NoEditTriggers);
    estimates->setSelectionBehavior(QAbstractItemView::SelectRows);
    estimates->setSelectionMode(QAbstractItemView::SingleSelection);
    estimates->horizontalHeader()->setStretchLastSection(true);
    connect(estimates, &QTableWidget::currentCellChanged, this,
            [this](int row) { showChart(row); });

    chart = new QChartView;
    chart->setObjectName(QStringLiteral("scalingView"));
    chart->setAccessibleName(tr("Log–log plot of the selected exponent's observable"));
    chart->setRenderHint(QPainter::Antialiasing);
    chart->setMinimumSize(420, 260);

    auto* row = new QHBoxLayout;
    row->addWidget(estimates, 1);
    row->addWidget(chart, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(noteLabel);
    layout->addLayout(row, 1);
    showNote({});
}

QString ExponentPanel::note() const
{
    return noteLabel->text();
}

void ExponentPanel::showNote(const QString& note)
{
    shown = {};
    estimates->setRowCount(0);
    estimates->hide();
    chart->hide();
    noteLabel->setText(note);
    // A note alone takes a line, and no note no room at all.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setVisible(!note.isEmpty());
}

void ExponentPanel::showResult(const stats::ScalingResult& result, int dimensions)
{
    if (!result.error.empty()) {
        showNote(tr("Exponents: %1.").arg(text(result.error)));
        return;
    }
    shown = result;
    dimension = dimensions;
    QStringList left;
    for (const std::string& reason : result.omitted)
        left.append(text(reason));
    noteLabel->setText(left.isEmpty() ? tr("Critical exponents by finite-size scaling at pc.")
                                      : tr("Critical exponents by finite-size scaling at pc; "
                                           "left out: %1.")
                                            .arg(left.join(QStringLiteral("; "))));
    estimates->setRowCount(static_cast<int>(result.estimates.size()));
    for (int i = 0; i < estimates->rowCount(); ++i) {
        const stats::ExponentEstimate& e = result.estimates[static_cast<std::size_t>(i)];
        const stats::TableCell cell = stats::exponentCell(e);
        const QString texts[Columns] = {
            text(stats::exponentSymbol(e.exponent)),
            cell.present() ? text(stats::valueText(cell.estimate, cell.error)) : tr("—"),
            std::isfinite(cell.known) ? text(stats::knownText(cell.known, cell.knownError))
                                      : QString(),
            std::isfinite(cell.sigmas()) ? text(stats::sigmaText(cell.sigmas())) : QString(),
            e.preferred ? text(cell.source) : tr("cross-check: %1").arg(text(cell.source))};
        for (int column = 0; column < Columns; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            QFont font = item->font();
            font.setBold(e.preferred);
            item->setFont(font);
            estimates->setItem(i, column, item);
        }
    }
    estimates->resizeColumnsToContents();
    estimates->show();
    chart->show();
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    show();
    estimates->setCurrentCell(0, 0);
    showChart(0);
}

void ExponentPanel::showChart(int row)
{
    if (row < 0 || row >= static_cast<int>(shown.estimates.size()))
        return;
    const stats::ExponentEstimate& e = shown.estimates[static_cast<std::size_t>(row)];
    double power = stats::knownExponent(dimension, "omega").value;
    if (e.exponent == "tau") {
        // n_s's correction goes as s^(−ω/D).
        const stats::ExponentEstimate* D = stats::preferredEstimate(shown, "D");
        power =
            D != nullptr ? power / D->best().exponent : std::numeric_limits<double>::quiet_NaN();
    }
    const std::unique_ptr<QChart> previous(chart->chart());
    chart->setChart(charts::scalingChart(e, power).release());
}
