#include "interface.h"

#include "explorerwindow.h"
#include "probabilitytext.h"
#include "statisticswindow.h"
#include "view/latticetools.h"
#include "view/percolation.h"
#include "view/readabledisplay.h"

#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeySequence>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

namespace {

constexpr int EntryWidth = 115;

// A framed, untitled group that stacks its buttons one below the other across its width.
QGroupBox* makeButtonGroup(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* group = new QGroupBox(parent);
    group->setObjectName(QString::fromLatin1(name));
    new QVBoxLayout(group);
    group->move(x, y);
    group->resize(w, h);
    return group;
}

QPushButton* addButton(QGroupBox* group, const char* name, const QString& text)
{
    auto* button = new QPushButton(text, group);
    button->setObjectName(QString::fromLatin1(name));
    group->layout()->addWidget(button);
    return button;
}

void giveShortcut(QPushButton* button, QKeyCombination keys, const QString& purpose)
{
    const QKeySequence shortcut(keys);
    button->setShortcut(shortcut);
    button->setToolTip(
        QStringLiteral("%1 (%2)").arg(purpose, shortcut.toString(QKeySequence::NativeText)));
}

QGroupBox* makeDisplayGroup(QWidget* parent, const char* name, const QString& title, int y)
{
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(QString::fromLatin1(name));
    group->move(20, y);
    group->resize(160, 100);
    return group;
}

QLCDNumber* makeDisplay(QGroupBox* group, const char* name, int digits)
{
    auto* display = new QLCDNumber(static_cast<uint>(digits), group);
    display->setObjectName(QString::fromLatin1(name));
    display->setGeometry(30, 30, 100, 50);
    return display;
}

} // namespace

Interface::Interface(QWidget* parent, const char* name) : QWidget(parent)
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));

    auto* lattice = new Percolation(this, "percolation");
    lattice->move(200, 50);
    lattice->resize(600, 600);

    QGroupBox* startAgainGroup = makeButtonGroup(this, "startAgain", 820, 50, 160, 55);
    QPushButton* startAgainButton =
        addButton(startAgainGroup, "startAgainButton", QStringLiteral("New realisation"));
    giveShortcut(startAgainButton, Qt::CTRL | Qt::Key_N,
                 QStringLiteral("Start a new realisation"));
    connect(startAgainButton, &QPushButton::clicked, lattice, &Percolation::startNew);

    QGroupBox* isolateGroup = makeButtonGroup(this, "isolate", 820, 115, 160, 55);
    isolateButton = addButton(isolateGroup, "isolateButton", QStringLiteral("Isolate largest"));
    isolateButton->setCheckable(true);
    giveShortcut(isolateButton, Qt::CTRL | Qt::Key_I,
                 QStringLiteral("Show the largest cluster alone"));
    connect(isolateButton, &QPushButton::toggled, lattice, &Percolation::slotIsolate);

    QGroupBox* sizeGroup = makeButtonGroup(this, "changeSize", 820, 200, 160, 150);
    QPushButton* L600Button = addButton(sizeGroup, "L600Button", QStringLiteral("L = 600"));
    connect(L600Button, &QPushButton::clicked, lattice, &Percolation::startL600);
    QPushButton* L300Button = addButton(sizeGroup, "L300Button", QStringLiteral("L = 300"));
    connect(L300Button, &QPushButton::clicked, lattice, &Percolation::startL300);
    QPushButton* L150Button = addButton(sizeGroup, "L150Button", QStringLiteral("L = 150"));
    connect(L150Button, &QPushButton::clicked, lattice, &Percolation::startL150);

    auto* changep = new QGroupBox(this);
    changep->setObjectName(QStringLiteral("changep"));
    changep->move(820, 350);
    changep->resize(160, 90);
    auto* pLabel = new QLabel(QStringLiteral("p = "), changep);
    pLabel->setObjectName(QStringLiteral("pLabel"));
    pLabel->move(5, 10);
    auto* pcLabel = new QLabel(QStringLiteral("pc = 0.59274..."), changep);
    pcLabel->setObjectName(QStringLiteral("pcLabel"));
    pcLabel->move(5, 50);
    p_line_edit = new QLineEdit(changep);
    p_line_edit->setObjectName(QStringLiteral("p_line_edit"));
    p_line_edit->move(40, 10);
    // The style's preferred width would run past the group's right edge and cut off the frame.
    p_line_edit->resize(EntryWidth, p_line_edit->sizeHint().height());
    // The entry check must see all that was typed or pasted: at the field's default limit of
    // 32767 characters a long paste would be cut first, and a bad character past the cut missed.
    p_line_edit->setMaxLength(std::numeric_limits<int>::max());
    pLabel->setBuddy(p_line_edit);
    p_line_edit->setAccessibleName(QStringLiteral("p"));
    p_line_edit->setAccessibleDescription(
        QStringLiteral("Occupation probability of the next realisation; Return applies it"));
    connect(p_line_edit, &QLineEdit::returnPressed, this, &Interface::slotSetp);

    QGroupBox* systemSize =
        makeDisplayGroup(this, "system_size", QStringLiteral("System size L"), 100);
    systemSizeLCD = makeDisplay(systemSize, "systemSizeLCD", 3);
    systemSizeLCD->setSegmentStyle(QLCDNumber::Filled);

    QGroupBox* probability =
        makeDisplayGroup(this, "probability", QStringLiteral("Occupation prob. p"), 300);
    connect(lattice, &Percolation::sizeChanged, this, &Interface::slotSetSize);
    connect(this, &Interface::pChanged, lattice, &Percolation::pChanged);
    probabilityLCD = makeDisplay(probability, "probabilityLCD", 6);
    probabilityLCD->setMode(QLCDNumber::Dec);
    probabilityLCD->setSegmentStyle(QLCDNumber::Filled);
    readable_display::show(probabilityLCD, lattice->p);

    QGroupBox* largestCluster =
        makeDisplayGroup(this, "largest_cluster", QStringLiteral("Largest cluster size"), 500);
    largestClusterLCD = makeDisplay(largestCluster, "largestClusterLCD", 6);
    largestClusterLCD->setSegmentStyle(QLCDNumber::Filled);
    connect(lattice, &Percolation::largestChanged, this, &Interface::slotSetLargest);

    // The first realisation was announced inside the lattice view's constructor, before anything
    // listened; announce it again now that the displays are connected.
    lattice->emitLargest();
    lattice->emitSize();

    // The lattice view's tooltip and menu: the menu's actions keep their shortcuts window-wide,
    // and the Menu key reaches it from the whole window since the view takes no keyboard focus.
    auto* latticeTools = new LatticeTools(lattice);
    latticeTools->takeMenuKey(this, p_line_edit);
    connect(latticeTools->statisticsAction(), &QAction::triggered, this,
            [this] { showStatistics(); });
    connect(latticeTools->explorerAction(), &QAction::triggered, this, [this] { showExplorer(); });

    QGroupBox* exitGroup = makeButtonGroup(this, "exit", 820, 595, 160, 55);
    QPushButton* exitButton = addButton(exitGroup, "exitButton", QStringLiteral("Quit"));
    giveShortcut(exitButton, Qt::CTRL | Qt::Key_Q, QStringLiteral("Quit the program"));
    connect(exitButton, &QPushButton::clicked, QCoreApplication::instance(),
            &QCoreApplication::quit);

    // Smaller, the window would cut the lattice or the buttons; the margins stay as they are.
    const QRect content = childrenRect();
    setMinimumSize(content.right() + 1 + content.left(), content.bottom() + 1 + content.top());
}

Interface::~Interface() = default;

void Interface::slotSetLargest(int size)
{
    readable_display::show(largestClusterLCD, size);
}

void Interface::slotSetSize(int L)
{
    readable_display::show(systemSizeLCD, L);
}

void Interface::slotSetp()
{
    pText = p_line_edit->text();
    if (!probability_text::accept(pText)) {
        // The field is cleared and keeps the focus, ready for another try.
        p_line_edit->setText(QString());
        return;
    }
    readable_display::show(probabilityLCD, pText.toDouble());
    p_line_edit->clearFocus();
    emit pChanged(pText.toDouble());
}

void Interface::showStatistics()
{
    if (statisticsWindow == nullptr) {
        statisticsWindow = new StatisticsWindow(this);
        statisticsWindow->setCurrentP(probabilityLCD->value());
        connect(this, &Interface::pChanged, statisticsWindow, &StatisticsWindow::setCurrentP);
    }
    statisticsWindow->show();
    statisticsWindow->raise();
    statisticsWindow->activateWindow();
}

void Interface::showExplorer()
{
    if (explorerWindow == nullptr)
        explorerWindow = new ExplorerWindow(this);
    explorerWindow->show();
    explorerWindow->raise();
    explorerWindow->activateWindow();
}

void Interface::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.drawText(850, 500, QStringLiteral("Empty site"));
    painter.drawText(850, 520, QStringLiteral("Occupied site"));
    painter.drawText(850, 540, QStringLiteral("Largest cluster"));

    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::blue);
    painter.drawRect(820, 490, 10, 10);
    painter.setBrush(Qt::yellow);
    painter.drawRect(820, 510, 10, 10);
    painter.setBrush(Qt::red);
    painter.drawRect(820, 530, 10, 10);
}
