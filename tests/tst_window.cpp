#include "app/interface.h"
#include "app/startup.h"
#include "model/random.h"
#include "nextlargest.h"
#include "view/percolation.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLCDNumber>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

class WindowTest : public QObject
{
    Q_OBJECT

    // Each test's window, placed and shown as the program does, on its first realisation.
    std::unique_ptr<Interface> window;

    template <typename T = QWidget> T* child(const QString& name) const
    {
        return window->findChild<T*>(name);
    }
    QWidget* tagged() const { return child(QString::fromLatin1(QTest::currentDataTag())); }
    int largestDisplayed() const { return child<QLCDNumber>("largestClusterLCD")->intValue(); }

private slots:
    void initTestCase() { startup::setApplicationFont(); }
    void init()
    {
        model::rngState = 1;
        window = std::make_unique<Interface>();
        startup::placeMainWindow(*window);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    void cleanup() { window.reset(); }

    void captionGeometryAndFont()
    {
        Interface placed;
        startup::placeMainWindow(placed);
        QCOMPARE(placed.windowTitle(), QStringLiteral("Percolation on a square lattice"));
        QCOMPARE(placed.geometry(), QRect(0, 50, 1000, 700));
        const QFont font = QApplication::font();
        QCOMPARE(font, QFont(QStringLiteral("Helvetica"), 12, QFont::Normal));
        for (const QWidget* widget : window->findChildren<QWidget*>())
            QVERIFY2(widget->font() == font, qPrintable(widget->objectName()));
    }

    // Every child: class, parent, index among its parent's child widgets (the creation order),
    // text or title, and geometry, where -1 stands for the style's width or height. A null
    // geometry marks a button placed by its group: stacked across the group's width, at its
    // centre when alone (scripts click "Quit" there).
    void childTree_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("geometry");
        auto row = [](const char* name, const char* className, const char* parent, int index,
                      const char* text, QRect geometry) {
            QTest::newRow(name) << className << parent << index << text << geometry;
        };
        row("percolation", "Percolation", "", 0, "", {200, 50, 600, 600});
        row("startAgain", "QGroupBox", "", 1, "", {820, 50, 160, 55});
        row("startAgainButton", "QPushButton", "startAgain", 0, "New realisation", {});
        row("isolate", "QGroupBox", "", 2, "", {820, 115, 160, 55});
        row("isolateButton", "QPushButton", "isolate", 0, "Isolate largest", {});
        row("changeSize", "QGroupBox", "", 3, "", {820, 200, 160, 150});
        row("L600Button", "QPushButton", "changeSize", 0, "L = 600", {});
        row("L300Button", "QPushButton", "changeSize", 1, "L = 300", {});
        row("L150Button", "QPushButton", "changeSize", 2, "L = 150", {});
        row("changep", "QGroupBox", "", 4, "", {820, 350, 160, 90});
        row("pLabel", "QLabel", "changep", 0, "p = ", {5, 10, -1, -1});
        row("pcLabel", "QLabel", "changep", 1, "pc = 0.59274...", {5, 50, -1, -1});
        row("p_line_edit", "QLineEdit", "changep", 2, "", {40, 10, 115, -1});
        row("system_size", "QGroupBox", "", 5, "System size L", {20, 100, 160, 100});
        row("systemSizeLCD", "QLCDNumber", "system_size", 0, "", {30, 30, 100, 50});
        row("probability", "QGroupBox", "", 6, "Occupation prob. p", {20, 300, 160, 100});
        row("probabilityLCD", "QLCDNumber", "probability", 0, "", {30, 30, 100, 50});
        row("largest_cluster", "QGroupBox", "", 7, "Largest cluster size", {20, 500, 160, 100});
        row("largestClusterLCD", "QLCDNumber", "largest_cluster", 0, "", {30, 30, 100, 50});
        row("exit", "QGroupBox", "", 8, "", {820, 595, 160, 55});
        row("exitButton", "QPushButton", "exit", 0, "Quit", {});
    }
    void childTree()
    {
        QFETCH(QString, className);
        QFETCH(QString, parent);
        QFETCH(int, index);
        QFETCH(QString, text);
        QFETCH(QRect, geometry);
        const auto matches = window->findChildren<QWidget*>(QTest::currentDataTag());
        QCOMPARE(matches.size(), 1);
        const QWidget* widget = matches.first();
        const QWidget* owner = widget->parentWidget();
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
        QCOMPARE(owner == window.get() ? QString() : owner->objectName(), parent);
        const auto siblings = owner->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        QCOMPARE(siblings.indexOf(widget), index);
        const bool group = qobject_cast<const QGroupBox*>(widget) != nullptr;
        QCOMPARE(widget->property(group ? "title" : "text").toString(), text);

        const QRect r = widget->geometry();
        if (geometry.isNull()) {
            QVERIFY(owner->rect().contains(r));
            QVERIFY(r.width() >= owner->width() - 30);
            if (index > 0)
                QVERIFY(r.top() > siblings[index - 1]->geometry().bottom());
            if (siblings.size() == 1)
                QVERIFY(r.contains(owner->rect().center()));
            return;
        }
        const QSize hint = widget->sizeHint();
        geometry.setSize({geometry.width() < 0 ? hint.width() : geometry.width(),
                          geometry.height() < 0 ? hint.height() : geometry.height()});
        QCOMPARE(r, geometry);
        QVERIFY(r.right() < owner->contentsRect().right());
    }

    // The three displays at start-up, each with room for its largest value, and the accessible
    // names of the displays and the entry field.
    void displays_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("largestToFit");
        QTest::newRow("systemSizeLCD") << "System size L" << 600.0 << 600;
        QTest::newRow("probabilityLCD") << "Occupation prob. p" << 0.5 << 1;
        QTest::newRow("largestClusterLCD") << "Largest cluster size" << 398.0 << 600 * 600;
        QTest::newRow("p_line_edit") << "p" << 0.0 << 0;
    }
    void displays()
    {
        QFETCH(QString, name);
        QFETCH(double, value);
        QFETCH(int, largestToFit);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(tagged());
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        if (const auto* lcd = qobject_cast<QLCDNumber*>(tagged())) {
            QCOMPARE(lcd->value(), value);
            QVERIFY(!lcd->checkOverflow(largestToFit));
            QCOMPARE(lcd->segmentStyle(), QLCDNumber::Filled);
        }
    }

    // Each click realises a lattice at the button's L or the current one and shows its L and
    // largest cluster; p stays. The isolate button starts up and keeps its state.
    void commandsUpdateDisplays_data()
    {
        QTest::addColumn<bool>("isolated");
        QTest::addColumn<QStringList>("clicks");
        QTest::newRow("new realisation") << false << QStringList{"startAgainButton"};
        QTest::newRow("L = 300, L = 600") << false << QStringList{"L300Button", "L600Button"};
        QTest::newRow("L = 150, new realisation")
            << false << QStringList{"L150Button", "startAgainButton"};
        QTest::newRow("isolated") << true
                                  << QStringList{"startAgainButton", "L150Button", "L300Button",
                                                 "L600Button"};
    }
    void commandsUpdateDisplays()
    {
        QFETCH(bool, isolated);
        QFETCH(QStringList, clicks);
        auto* isolate = child<QPushButton>("isolateButton");
        QVERIFY(isolate->isCheckable() && !isolate->isChecked());
        if (isolated)
            QTest::mouseClick(isolate, Qt::LeftButton);
        int L = 600;
        for (const QString& name : std::as_const(clicks)) {
            if (name.startsWith(u'L'))
                L = name.mid(1, 3).toInt();
            const int expected = nextLargest(0.5, L);
            QTest::mouseClick(child(name), Qt::LeftButton);
            QCOMPARE(child<QLCDNumber>("systemSizeLCD")->intValue(), L);
            QCOMPARE(largestDisplayed(), expected);
            QCOMPARE(child<QLCDNumber>("probabilityLCD")->value(), 0.5);
            QCOMPARE(isolate->isChecked(), isolated);
            QCOMPARE(child<Percolation>("percolation")->isIsolated(), isolated);
        }
    }

    // The lattice area shows the lattice widget's picture; the colour legend.
    void pictureAndLegend_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<int>("baseline");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty site") << QColor(Qt::blue) << 500 << "Empty site";
        QTest::newRow("occupied site") << QColor(Qt::yellow) << 520 << "Occupied site";
        QTest::newRow("largest cluster") << QColor(Qt::red) << 540 << "Largest cluster";
    }
    void pictureAndLegend()
    {
        QFETCH(QColor, colour);
        QFETCH(int, baseline);
        QFETCH(QString, text);
        const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRgb background = window->palette().color(QPalette::Window).rgb();
        auto* lattice = child<Percolation>("percolation");
        QVERIFY(shot.copy(200, 50, 600, 600) ==
                lattice->composePicture().convertToFormat(QImage::Format_RGB32));
        for (const QPoint outside :
             {QPoint(199, 300), QPoint(800, 300), QPoint(500, 49), QPoint(500, 650)})
            QCOMPARE(shot.pixel(outside), background);

        // A 10 × 10 square without outline whose bottom edge meets the text's baseline.
        const QRect square(820, baseline - 10, 10, 10);
        for (int y = square.top() - 1; y <= square.bottom() + 1; ++y) {
            for (int x = square.left() - 1; x <= square.right() + 1; ++x)
                QCOMPARE(shot.pixel(x, y), square.contains(x, y) ? colour.rgb() : background);
        }
        // The text, dark on the background, from x 850 across its full advance.
        QRect ink;
        for (int y = baseline - 14; y < baseline; ++y) {
            for (int x = 832; x < 1000; ++x)
                ink |= qGray(shot.pixel(x, y)) < 96 ? QRect(x, y, 1, 1) : QRect();
        }
        const int end = 850 + QFontMetrics(window->font()).horizontalAdvance(text);
        QVERIFY2(ink.left() >= 850 && ink.left() <= 853, qPrintable(QString::number(ink.left())));
        QVERIFY2(std::abs(ink.right() - end) <= 3, qPrintable(QString::number(ink.right())));
    }

    void quitExitsWithZero_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("Quit button") << 0;
        QTest::newRow("closing the window") << 1;
        QTest::newRow("Ctrl+Q") << 2;
    }
    void quitExitsWithZero()
    {
        QFETCH(int, how);
        auto* quit = child<QPushButton>("exitButton");
        QVERIFY(quit->toolTip().contains(
            QKeySequence(Qt::CTRL | Qt::Key_Q).toString(QKeySequence::NativeText)));
        QTimer::singleShot(0, this, [this, quit, how] {
            if (how == 0)
                QTest::mouseClick(quit, Qt::LeftButton);
            else if (how == 1)
                window->close();
            else
                QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
        });
        // Turns a hang into a failure; no time limit on the exit itself.
        QTimer::singleShot(60000, window.get(), [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
    }

    // The shortcut named by the row clicks its button, even while the entry field has the
    // focus, and the button's tooltip names it.
    void shortcuts_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Ctrl+N") << "startAgainButton";
        QTest::newRow("Ctrl+I") << "isolateButton";
    }
    void shortcuts()
    {
        QFETCH(QString, button);
        auto* target = child<QPushButton>(button);
        const auto* isolate = child<QPushButton>("isolateButton");
        const QKeySequence keys(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY2(target->toolTip().contains(keys.toString(QKeySequence::NativeText)),
                 qPrintable(target->toolTip()));
        QWidget* field = child("p_line_edit");
        field->setFocus();
        QVERIFY(field->hasFocus());
        for (int press = 1; press <= 2; ++press) {
            const int expected = target == isolate ? largestDisplayed() : nextLargest(0.5, 600);
            QSignalSpy clicked(target, &QAbstractButton::clicked);
            QTest::keyClick(field, keys[0].key(), keys[0].keyboardModifiers());
            // The button is animated before it is clicked; the wait only guards against a hang.
            QVERIFY(clicked.size() == 1 || clicked.wait(60000));
            QCOMPARE(clicked.size(), 1);
            QCOMPARE(isolate->isChecked(), target == isolate && press == 1);
            QCOMPARE(child<Percolation>("percolation")->isIsolated(), isolate->isChecked());
            QCOMPARE(largestDisplayed(), expected);
        }
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
