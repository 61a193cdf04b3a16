#include "app/interface.h"
#include "app/startup.h"
#include "model/clusters.h"
#include "model/lattice.h"
#include "model/random.h"
#include "view/percolation.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

template <typename T = QWidget>
T* child(const QWidget& window, const QString& name)
{
    return window.findChild<T*>(name);
}

bool showAndActivate(QWidget& window)
{
    startup::placeMainWindow(window);
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

QString textOf(const QWidget* widget)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(widget))
        return group->title();
    return {};
}

QStringList widgetChildNames(const QObject* parent)
{
    QStringList names;
    for (const QObject* object : parent->children()) {
        if (object->isWidgetType())
            names << object->objectName();
    }
    return names;
}

// The size of the largest cluster of the next realisation at p and L, as the model alone finds
// it. The generator is left where it was, so the window can make the same realisation.
int nextLargest(double p, int L)
{
    const std::int32_t state = model::rngState;
    auto site = std::make_unique<int[]>(model::SiteCapacity);
    auto occupied = std::make_unique<int[]>(model::SiteCapacity);
    auto largest = std::make_unique<int[]>(model::SiteCapacity);
    const int nOccupied = model::occupySites(p, site.get(), occupied.get(), L);
    const int size = model::findLargestCluster(site.get(), occupied.get(), largest.get(),
                                               nOccupied, L);
    model::rngState = state;
    return size;
}

bool isDark(QRgb pixel)
{
    return qGray(pixel) < 96;
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void startupDisplays_data();
    void startupDisplays();
    void captionGeometryAndFont();
    void childTree_data();
    void childTree();
    void creationOrder_data();
    void creationOrder();
    void buttonGroupsHoldTheirButtons_data();
    void buttonGroupsHoldTheirButtons();
    void isolateButtonStartsUp();
    void commandsUpdateDisplays_data();
    void commandsUpdateDisplays();
    void isolationSurvivesNewRealisations();
    void latticeViewShowsItsPicture();
    void legend_data();
    void legend();
    void quitExitsWithZero_data();
    void quitExitsWithZero();
    void shortcuts_data();
    void shortcuts();
    void tooltipsNameShortcuts_data();
    void tooltipsNameShortcuts();
    void accessibleNames_data();
    void accessibleNames();
};

void WindowTest::initTestCase()
{
    startup::setApplicationFont();
}

void WindowTest::init()
{
    // Every window starts from the program's first realisation.
    model::rngState = 1;
}

void WindowTest::startupDisplays_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("digits");
    QTest::addColumn<int>("largestToFit");

    QTest::newRow("L") << "systemSizeLCD" << 600.0 << 3 << 600;
    QTest::newRow("p") << "probabilityLCD" << 0.5 << 6 << 1;
    QTest::newRow("largest cluster") << "largestClusterLCD" << 398.0 << 6 << 600 * 600;
}

void WindowTest::startupDisplays()
{
    QFETCH(QString, display);
    QFETCH(double, value);
    QFETCH(int, digits);
    QFETCH(int, largestToFit);

    Interface window;
    auto* lcd = child<QLCDNumber>(window, display);
    QVERIFY(lcd);
    QCOMPARE(lcd->value(), value);
    QCOMPARE(lcd->digitCount(), digits);
    QVERIFY(!lcd->checkOverflow(largestToFit));
    QCOMPARE(lcd->segmentStyle(), QLCDNumber::Filled);
    QCOMPARE(lcd->mode(), QLCDNumber::Dec);
}

void WindowTest::captionGeometryAndFont()
{
    Interface window;
    startup::placeMainWindow(window);
    QCOMPARE(window.windowTitle(), QStringLiteral("Percolation on a square lattice"));
    QCOMPARE(window.geometry(), QRect(0, 50, 1000, 700));
    // Where the window really lands is the display's business (the smoke test looks on X); its
    // client area keeps its size.
    QVERIFY(showAndActivate(window));
    QCOMPARE(window.size(), QSize(1000, 700));

    const QFont font = QApplication::font();
    QCOMPARE(font.family(), QStringLiteral("Helvetica"));
    QCOMPARE(font.pointSize(), 12);
    QCOMPARE(font.weight(), QFont::Normal);
    QVERIFY(!font.italic());
    QCOMPARE(window.font(), font);
    for (const QWidget* widget : window.findChildren<QWidget*>())
        QVERIFY2(widget->font() == font, qPrintable(widget->objectName()));
}

void WindowTest::childTree_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QPoint>("position");
    // An invalid size stands for the toolkit's default.
    QTest::addColumn<QSize>("size");

    const QString window;
    const QSize byGroup(-2, -2);
    auto row = [](const char* name, const char* className, const QString& parent,
                  const char* text, QPoint position, QSize size) {
        QTest::newRow(name) << className << parent << QString::fromUtf8(text) << position
                            << size;
    };
    row("percolation", "Percolation", window, "", {200, 50}, {600, 600});
    row("startAgain", "QGroupBox", window, "", {820, 50}, {160, 55});
    row("startAgainButton", "QPushButton", "startAgain", "New realisation", {}, byGroup);
    row("isolate", "QGroupBox", window, "", {820, 115}, {160, 55});
    row("isolateButton", "QPushButton", "isolate", "Isolate largest", {}, byGroup);
    row("changeSize", "QGroupBox", window, "", {820, 200}, {160, 150});
    row("L600Button", "QPushButton", "changeSize", "L = 600", {}, byGroup);
    row("L300Button", "QPushButton", "changeSize", "L = 300", {}, byGroup);
    row("L150Button", "QPushButton", "changeSize", "L = 150", {}, byGroup);
    row("changep", "QGroupBox", window, "", {820, 350}, {160, 90});
    row("pLabel", "QLabel", "changep", "p = ", {5, 10}, {});
    row("pcLabel", "QLabel", "changep", "pc = 0.59274...", {5, 50}, {});
    row("p_line_edit", "QLineEdit", "changep", "", {40, 10}, {115, -1});
    row("system_size", "QGroupBox", window, "System size L", {20, 100}, {160, 100});
    row("systemSizeLCD", "QLCDNumber", "system_size", "", {30, 30}, {100, 50});
    row("probability", "QGroupBox", window, "Occupation prob. p", {20, 300}, {160, 100});
    row("probabilityLCD", "QLCDNumber", "probability", "", {30, 30}, {100, 50});
    row("largest_cluster", "QGroupBox", window, "Largest cluster size", {20, 500}, {160, 100});
    row("largestClusterLCD", "QLCDNumber", "largest_cluster", "", {30, 30}, {100, 50});
    row("exit", "QGroupBox", window, "", {820, 595}, {160, 55});
    row("exitButton", "QPushButton", "exit", "Quit", {}, byGroup);
}

void WindowTest::childTree()
{
    QFETCH(QString, className);
    QFETCH(QString, parent);
    QFETCH(QString, text);
    QFETCH(QPoint, position);
    QFETCH(QSize, size);

    Interface window;
    QVERIFY(showAndActivate(window));
    const QString name = QString::fromUtf8(QTest::currentDataTag());
    const QList<QWidget*> matches = window.findChildren<QWidget*>(name);
    QCOMPARE(matches.size(), 1);
    const QWidget* widget = matches.first();

    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    if (parent.isEmpty())
        QCOMPARE(widget->parentWidget(), &window);
    else
        QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(textOf(widget), text);
    if (const auto* group = qobject_cast<const QGroupBox*>(widget))
        QVERIFY(!group->isFlat());
    if (size == QSize(-2, -2))
        return; // placed by its group, checked below

    QCOMPARE(widget->pos(), position);
    if (size.width() > 0 && size.height() < 0) {
        // A fixed width that fits its group, and the style's height.
        QCOMPARE(widget->size(), QSize(size.width(), widget->sizeHint().height()));
        QVERIFY(widget->geometry().right() < widget->parentWidget()->contentsRect().right());
    } else if (size.isValid()) {
        QCOMPARE(widget->size(), size);
    } else {
        QVERIFY(!widget->testAttribute(Qt::WA_Resized));
        QCOMPARE(widget->size(), widget->sizeHint());
    }
}

void WindowTest::creationOrder_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QStringList>("children");

    QTest::newRow("window") << QString() << QStringList{
        "percolation", "startAgain", "isolate", "changeSize", "changep", "system_size",
        "probability", "largest_cluster", "exit"};
    QTest::newRow("changeSize") << "changeSize"
                                << QStringList{"L600Button", "L300Button", "L150Button"};
    QTest::newRow("changep") << "changep" << QStringList{"pLabel", "pcLabel", "p_line_edit"};
}

void WindowTest::creationOrder()
{
    QFETCH(QString, parent);
    QFETCH(QStringList, children);

    Interface window;
    const QObject* owner = parent.isEmpty() ? &window : child(window, parent);
    QVERIFY(owner);
    QCOMPARE(widgetChildNames(owner), children);
}

void WindowTest::buttonGroupsHoldTheirButtons_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QStringList>("buttons");

    QTest::newRow("startAgain") << "startAgain" << QStringList{"startAgainButton"};
    QTest::newRow("isolate") << "isolate" << QStringList{"isolateButton"};
    QTest::newRow("changeSize") << "changeSize"
                                << QStringList{"L600Button", "L300Button", "L150Button"};
    QTest::newRow("exit") << "exit" << QStringList{"exitButton"};
}

// Each group stacks its buttons one below the other across its width. A group's centre lies on
// its button when it holds one: that is where scripts click "Quit" on a real display.
void WindowTest::buttonGroupsHoldTheirButtons()
{
    QFETCH(QString, group);
    QFETCH(QStringList, buttons);

    Interface window;
    QVERIFY(showAndActivate(window));
    const QWidget* box = child(window, group);
    QVERIFY(box);
    int below = 0;
    for (const QString& name : std::as_const(buttons)) {
        const QWidget* button = child(window, name);
        QVERIFY(button);
        QCOMPARE(button->parentWidget(), box);
        QVERIFY(button->isVisible());
        const QRect r = button->geometry();
        QVERIFY2(box->rect().contains(r), qPrintable(name));
        QVERIFY2(r.width() >= box->width() - 30, qPrintable(name));
        QVERIFY2(r.top() >= below, qPrintable(name));
        below = r.bottom() + 1;
    }
    if (buttons.size() == 1)
        QVERIFY(child(window, buttons.first())->geometry().contains(box->rect().center()));
}

void WindowTest::isolateButtonStartsUp()
{
    Interface window;
    auto* button = child<QPushButton>(window, "isolateButton");
    QVERIFY(button->isCheckable());
    QVERIFY(!button->isChecked());
    QVERIFY(!child<Percolation>(window, "percolation")->isIsolated());
}

void WindowTest::commandsUpdateDisplays_data()
{
    QTest::addColumn<QStringList>("clicks");

    QTest::newRow("new realisation") << QStringList{"startAgainButton"};
    QTest::newRow("L = 600 at 600") << QStringList{"L600Button"};
    QTest::newRow("L = 300") << QStringList{"L300Button"};
    QTest::newRow("L = 150") << QStringList{"L150Button"};
    QTest::newRow("L = 150, new realisation") << QStringList{"L150Button", "startAgainButton"};
    QTest::newRow("L = 300, L = 600") << QStringList{"L300Button", "L600Button"};
}

void WindowTest::commandsUpdateDisplays()
{
    QFETCH(QStringList, clicks);

    Interface window;
    QVERIFY(showAndActivate(window));
    auto* sizeDisplay = child<QLCDNumber>(window, "systemSizeLCD");
    auto* largestDisplay = child<QLCDNumber>(window, "largestClusterLCD");
    auto* pDisplay = child<QLCDNumber>(window, "probabilityLCD");

    int L = 600;
    for (const QString& name : std::as_const(clicks)) {
        if (name == u"L600Button")
            L = 600;
        else if (name == u"L300Button")
            L = 300;
        else if (name == u"L150Button")
            L = 150;
        const int expected = nextLargest(0.5, L);
        QTest::mouseClick(child(window, name), Qt::LeftButton);
        QCOMPARE(sizeDisplay->intValue(), L);
        QCOMPARE(largestDisplay->intValue(), expected);
        QCOMPARE(pDisplay->value(), 0.5);
    }
}

void WindowTest::isolationSurvivesNewRealisations()
{
    Interface window;
    QVERIFY(showAndActivate(window));
    auto* button = child<QPushButton>(window, "isolateButton");
    const auto* lattice = child<Percolation>(window, "percolation");

    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(button->isChecked());
    QVERIFY(lattice->isIsolated());
    for (const char* command : {"startAgainButton", "L150Button", "L300Button", "L600Button"}) {
        QTest::mouseClick(child(window, QString::fromLatin1(command)), Qt::LeftButton);
        QVERIFY2(button->isChecked(), command);
        QVERIFY2(lattice->isIsolated(), command);
        const QImage view = window.grab(QRect(200, 50, 600, 600)).toImage();
        QVERIFY2(!view.isNull(), command);
        for (int y = 0; y < view.height(); ++y) {
            for (int x = 0; x < view.width(); ++x) {
                if (view.pixel(x, y) == QColor(Qt::yellow).rgb())
                    QFAIL(qPrintable(QStringLiteral("yellow at %1, %2 after %3")
                                         .arg(x).arg(y).arg(QLatin1String(command))));
            }
        }
    }
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!button->isChecked());
    QVERIFY(!lattice->isIsolated());
}

void WindowTest::latticeViewShowsItsPicture()
{
    Interface window;
    QVERIFY(showAndActivate(window));
    auto* lattice = child<Percolation>(window, "percolation");
    const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(1000, 700));
    const QImage expected = lattice->composePicture().convertToFormat(QImage::Format_RGB32);
    QVERIFY(shot.copy(200, 50, 600, 600) == expected);
    const QRgb background = window.palette().color(QPalette::Window).rgb();
    QCOMPARE(shot.pixel(199, 300), background);
    QCOMPARE(shot.pixel(800, 300), background);
    QCOMPARE(shot.pixel(500, 49), background);
    QCOMPARE(shot.pixel(500, 650), background);
}

void WindowTest::legend_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("baseline");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty site") << QColor(Qt::blue) << 500 << "Empty site";
    QTest::newRow("occupied site") << QColor(Qt::yellow) << 520 << "Occupied site";
    QTest::newRow("largest cluster") << QColor(Qt::red) << 540 << "Largest cluster";
}

void WindowTest::legend()
{
    QFETCH(QColor, colour);
    QFETCH(int, baseline);
    QFETCH(QString, text);

    Interface window;
    QVERIFY(showAndActivate(window));
    const QRgb background = window.palette().color(QPalette::Window).rgb();
    // Twice: the legend must come back with every repaint.
    for (int pass = 0; pass < 2; ++pass) {
        const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);

        // A 10 × 10 square without outline whose bottom edge meets the text's baseline.
        const QRect square(820, baseline - 10, 10, 10);
        for (int y = square.top() - 1; y <= square.bottom() + 1; ++y) {
            for (int x = square.left() - 1; x <= square.right() + 1; ++x) {
                const QRgb expected = square.contains(x, y) ? colour.rgb() : background;
                if (shot.pixel(x, y) != expected)
                    QFAIL(qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
            }
        }

        // The text in the window's foreground colour, starting at x 850 and drawn in full.
        int left = 1000;
        int right = -1;
        for (int y = baseline - 14; y < baseline; ++y) {
            for (int x = 832; x < 1000; ++x) {
                if (isDark(shot.pixel(x, y))) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        }
        const int advance = QFontMetrics(window.font()).horizontalAdvance(text);
        QVERIFY2(left >= 850 && left <= 853, qPrintable(QString::number(left)));
        QVERIFY2(std::abs(right - (850 + advance)) <= 3, qPrintable(QString::number(right)));
        window.repaint();
    }
}

void WindowTest::quitExitsWithZero_data()
{
    QTest::addColumn<int>("how");

    QTest::newRow("Quit button") << 0;
    QTest::newRow("closing the window") << 1;
    QTest::newRow("Ctrl+Q") << 2;
}

void WindowTest::quitExitsWithZero()
{
    QFETCH(int, how);

    Interface window;
    QVERIFY(showAndActivate(window));
    QTimer::singleShot(0, &window, [&window, how] {
        if (how == 0)
            QTest::mouseClick(child(window, "exitButton"), Qt::LeftButton);
        else if (how == 1)
            window.close();
        else
            QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    });
    // Only there to turn a hang into a failure.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(60000);
    QCOMPARE(QApplication::exec(), 0);
}

void WindowTest::shortcuts_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("fromEntryField");

    QTest::newRow("Ctrl+N") << "startAgainButton" << int(Qt::Key_N) << false;
    QTest::newRow("Ctrl+N while typing p") << "startAgainButton" << int(Qt::Key_N) << true;
    QTest::newRow("Ctrl+I") << "isolateButton" << int(Qt::Key_I) << false;
    QTest::newRow("Ctrl+I while typing p") << "isolateButton" << int(Qt::Key_I) << true;
}

void WindowTest::shortcuts()
{
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(bool, fromEntryField);

    Interface window;
    QVERIFY(showAndActivate(window));
    auto* target = child<QPushButton>(window, button);
    auto* largestDisplay = child<QLCDNumber>(window, "largestClusterLCD");
    auto* isolate = child<QPushButton>(window, "isolateButton");
    QWidget* receiver = &window;
    if (fromEntryField) {
        receiver = child(window, "p_line_edit");
        receiver->setFocus();
        QVERIFY(receiver->hasFocus());
    }

    for (int press = 1; press <= 2; ++press) {
        const int expected = nextLargest(0.5, 600);
        const int before = largestDisplay->intValue();
        QSignalSpy clicked(target, &QAbstractButton::clicked);
        QTest::keyClick(receiver, static_cast<Qt::Key>(key), Qt::ControlModifier);
        // A shortcut animates the button before it clicks it.
        QVERIFY(clicked.size() == 1 || clicked.wait());
        QCOMPARE(clicked.size(), 1);
        if (target == isolate) {
            QCOMPARE(isolate->isChecked(), press == 1);
            QCOMPARE(largestDisplay->intValue(), before);
        } else {
            QVERIFY(!isolate->isChecked());
            QCOMPARE(largestDisplay->intValue(), expected);
        }
    }
}

void WindowTest::tooltipsNameShortcuts_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("shortcut");

    QTest::newRow("New realisation") << "startAgainButton" << "Ctrl+N";
    QTest::newRow("Isolate largest") << "isolateButton" << "Ctrl+I";
    QTest::newRow("Quit") << "exitButton" << "Ctrl+Q";
}

void WindowTest::tooltipsNameShortcuts()
{
    QFETCH(QString, button);
    QFETCH(QString, shortcut);

    Interface window;
    const auto* target = child<QPushButton>(window, button);
    const QKeySequence keys(shortcut);
    QCOMPARE(target->shortcut(), keys);
    QVERIFY2(target->toolTip().contains(keys.toString(QKeySequence::NativeText)),
             qPrintable(target->toolTip()));
}

void WindowTest::accessibleNames_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QAccessible::Role>("role");

    QTest::newRow("L display") << "systemSizeLCD" << "System size L" << QAccessible::StaticText;
    QTest::newRow("p display") << "probabilityLCD" << "Occupation prob. p"
                               << QAccessible::StaticText;
    QTest::newRow("largest cluster display")
        << "largestClusterLCD" << "Largest cluster size" << QAccessible::StaticText;
    QTest::newRow("entry field") << "p_line_edit" << "p" << QAccessible::EditableText;
}

void WindowTest::accessibleNames()
{
    QFETCH(QString, widget);
    QFETCH(QString, name);
    QFETCH(QAccessible::Role, role);

    Interface window;
    QVERIFY(showAndActivate(window));
    QWidget* target = child(window, widget);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(target);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), role);
    QCOMPARE(accessible->text(QAccessible::Name), name);

    // The name is what sighted users read next to the widget.
    if (auto* group = qobject_cast<QGroupBox*>(target->parentWidget()); !group->title().isEmpty())
        QCOMPARE(group->title(), name);
    else
        QVERIFY(child<QLabel>(window, "pLabel")->text().startsWith(name + u' '));
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
