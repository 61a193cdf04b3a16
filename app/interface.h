#pragma once

#include <QString>
#include <QWidget>

class QLCDNumber;
class QLineEdit;
class QPushButton;
class ExplorerWindow;
class StatisticsWindow;

// The main window: the lattice view in the middle, the displays for L, p and the largest-cluster
// size on the left, and on the right the command buttons, the probability entry and the colour
// legend. The window keeps no pointer to the lattice view; after construction the two talk only
// through the connections made by the constructor.
class Interface : public QWidget
{
    Q_OBJECT

public:
    explicit Interface(QWidget* parent = nullptr, const char* name = nullptr);
    ~Interface() override;

public slots:
    void slotSetLargest(int size);
    void slotSetSize(int L);
    void slotSetp();

signals:
    void pChanged(double p);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Opens the statistics window, or brings it to the front: there is one at most.
    void showStatistics();
    // Likewise the explorer of the transition.
    void showExplorer();

    QLCDNumber* systemSizeLCD = nullptr;
    QLCDNumber* largestClusterLCD = nullptr;
    QLCDNumber* probabilityLCD = nullptr;
    QPushButton* isolateButton = nullptr;
    QLineEdit* p_line_edit = nullptr;
    StatisticsWindow* statisticsWindow = nullptr; // made when first asked for
    ExplorerWindow* explorerWindow = nullptr;     // likewise
    // The typed probability as the entry check left it.
    QString pText;
};
