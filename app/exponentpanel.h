#pragma once

#include "stats/scaling.h"

#include <QWidget>

class QChartView;
class QLabel;
class QTableWidget;

// The statistics window's critical exponents: a table of every estimate of a finite-size
// scaling analysis (the preferred ones in bold, the cross-checks beside them), each with its
// error, the known value and the distance in σ, and the log–log chart of the row selected.
class ExponentPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ExponentPanel(QWidget* parent = nullptr);

    // Shows the estimates of `result` for a lattice of `dimension`, or its error in the note.
    void showResult(const stats::ScalingResult& result, int dimension);
    // Only a note: no table, no chart.
    void showNote(const QString& note);

    QTableWidget* table() const { return estimates; }
    QChartView* chartView() const { return chart; }
    QString note() const;

private:
    void showChart(int row);

    QLabel* noteLabel = nullptr;
    QTableWidget* estimates = nullptr;
    QChartView* chart = nullptr;
    stats::ScalingResult shown;
    int dimension = 2;
};
