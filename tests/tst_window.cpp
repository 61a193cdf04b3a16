// The main window as its user meets it: where everything sits, what the displays show, the
// commands with their shortcuts, the legend, and the rules of the probability entry.

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
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

namespace {

constexpr double Rejected = -1;

// The size of the largest cluster of the next realisation at p and L, as the model alone finds
// it. The generator is left where it was, so the window makes the same realisation.
int nextLargest(double p, int L)
{
    const std::int32_t state = model::rngState;
    std::vector<int> site(model::SiteCapacity), occupied(site), largest(site);
    const int n = model::occupySites(p, site.data(), occupied.data(), L);
    const int size = model::findLargestCluster(site.data(), occupied.data(), largest.data(), n, L);
    model::rngState = state;
    return size;
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

    // Each test's window, placed and shown as the program does, on its first realisation, with
    // the entry field focused as after the user clicked into it.
    std::unique_ptr<Interface> window;
    QLineEdit* field = nullptr;

    template <typename T = QWidget> T* child(const QString& name) const
    {
        return window->findChild<T*>(name);
    }
    QLCDNumber* display(const char* name) const { return child<QLCDNumber>(name); }

    // Types the text as one key press, so that characters beyond Latin-1 arrive too; then Return.
    void enter(const QString& text)
    {
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, text, Qt::NoModifier);
        QTest::keyClick(field, Qt::Key_Return);
    }

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
        field = child<QLineEdit>("p_line_edit");
        field->setFocus();
        QVERIFY(field->hasFocus());
    }
    void cleanup() { window.reset(); }

    void titlePlacementFontAndLabel()
    {
        Interface placed(nullptr, "main");
        startup::placeMainWindow(placed);
        QCOMPARE(placed.objectName(), QStringLiteral("main"));
        QCOMPARE(placed.windowTitle(), QStringLiteral("Percolation on a square lattice"));
        QCOMPARE(placed.geometry(), QRect(0, 50, 1000, 700));
        const QFont font = QApplication::font();
        QCOMPARE(font, QFont(QStringLiteral("Helvetica"), 12, QFont::Normal));
        for (const QWidget* widget : window->findChildren<QWidget*>())
            QVERIFY2(widget->font() == font, qPrintable(widget->objectName()));
        // For screen readers, the entry field is the one that "p = " names.
        QCOMPARE(child<QLabel>("pLabel")->buddy(), field);
        // Shrunk, the window still shows all it holds.
        const QRect least(QPoint(), placed.minimumSize());
        QVERIFY(placed.minimumSize().width() <= 1000 && placed.minimumSize().height() <= 700);
        for (const QWidget* widget : placed.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(least.contains(widget->geometry()), qPrintable(widget->objectName()));
    }

    // Where each placed child sits in its parent; -1 stands for the style's width or height.
    // Buttons are laid out by their groups.
    void geometry_data()
    {
        QTest::addColumn<QRect>("geometry");
        const std::pair<const char*, QRect> rows[] = {// clang-format off
            {"percolation", {200, 50, 600, 600}}, {"startAgain", {820, 50, 160, 55}},
            {"isolate", {820, 115, 160, 55}}, {"changeSize", {820, 200, 160, 150}},
            {"changep", {820, 350, 160, 90}}, {"exit", {820, 595, 160, 55}},
            {"pLabel", {5, 10, -1, -1}}, {"pcLabel", {5, 50, -1, -1}},
            {"p_line_edit", {40, 10, 115, -1}}, {"system_size", {20, 100, 160, 100}},
            {"probability", {20, 300, 160, 100}}, {"largest_cluster", {20, 500, 160, 100}},
            {"systemSizeLCD", {30, 30, 100, 50}}, {"probabilityLCD", {30, 30, 100, 50}},
            {"largestClusterLCD", {30, 30, 100, 50}}};
        // clang-format on
        for (const auto& [name, geometry] : rows)
            QTest::newRow(name) << geometry;
    }
    void geometry()
    {
        QFETCH(QRect, geometry);
        const QWidget* widget = child(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(widget);
        const QSize hint = widget->sizeHint();
        geometry.setSize({geometry.width() < 0 ? hint.width() : geometry.width(),
                          geometry.height() < 0 ? hint.height() : geometry.height()});
        QCOMPARE(widget->geometry(), geometry);
    }

    // The displays at start-up, and the accessible names of the displays, with their values,
    // and of the entry field.
    void displays_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("value");
        QTest::newRow("systemSizeLCD") << "System size L: 600" << 600.0;
        QTest::newRow("probabilityLCD") << "Occupation prob. p: 0.5" << 0.5;
        QTest::newRow("largestClusterLCD") << "Largest cluster size: 398" << 398.0;
        QTest::newRow("p_line_edit") << "p" << 0.0;
    }
    void displays()
    {
        QFETCH(QString, name);
        QFETCH(double, value);
        QWidget* widget = child(QString::fromLatin1(QTest::currentDataTag()));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        if (const auto* lcd = qobject_cast<QLCDNumber*>(widget))
            QCOMPARE(lcd->value(), value);
    }

    // After a p is entered, each click realises a lattice at that p and at the button's L or the
    // current one, and shows L, p and the largest cluster. The isolate button starts up and
    // keeps its state.
    void commands_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("isolated");
        QTest::addColumn<QStringList>("clicks");
        QTest::newRow("1, new realisation") << "1" << false << QStringList{"startAgainButton"};
        QTest::newRow("10, L = 300, L = 600")
            << "10" << false << QStringList{"L300Button", "L600Button"};
        QTest::newRow("0, L = 150, new realisation")
            << "0" << false << QStringList{"L150Button", "startAgainButton"};
        QTest::newRow("0.59274, isolated")
            << "0.59274" << true
            << QStringList{"startAgainButton", "L150Button", "L300Button", "L600Button"};
        QTest::newRow(".7, L = 300") << ".7" << false << QStringList{"L300Button"};
    }
    void commands()
    {
        QFETCH(QString, typed);
        QFETCH(bool, isolated);
        QFETCH(QStringList, clicks);
        auto* isolate = child<QPushButton>("isolateButton");
        QVERIFY(isolate->isCheckable() && !isolate->isChecked());
        enter(typed);
        const double p = display("probabilityLCD")->value();
        if (isolated)
            QTest::mouseClick(isolate, Qt::LeftButton);
        int L = 600;
        for (const QString& name : std::as_const(clicks)) {
            if (name.startsWith(u'L'))
                L = name.mid(1, 3).toInt();
            const int expected = nextLargest(p, L);
            QTest::mouseClick(child(name), Qt::LeftButton);
            QCOMPARE(display("systemSizeLCD")->intValue(), L);
            QCOMPARE(display("largestClusterLCD")->intValue(), expected);
            QCOMPARE(display("probabilityLCD")->value(), p);
            QCOMPARE(isolate->isChecked(), isolated);
            QCOMPARE(child<Percolation>("percolation")->isIsolated(), isolated);
            for (const char* lcd : {"systemSizeLCD", "probabilityLCD", "largestClusterLCD"}) {
                QVERIFY(!display(lcd)->checkOverflow(display(lcd)->value()));
                QCOMPARE(display(lcd)->segmentStyle(), QLCDNumber::Filled);
                // What a screen reader reads: the display's group title and its value.
                QCOMPARE(
                    QAccessible::queryAccessibleInterface(display(lcd))->text(QAccessible::Name),
                    QStringLiteral("%1: %2").arg(
                        qobject_cast<QGroupBox*>(display(lcd)->parentWidget())->title(),
                        QString::number(display(lcd)->value())));
            }
        }
    }

    // The lattice area shows the lattice widget's picture; the legend is three 10 × 10 squares
    // without outline, each with the bottom edge on its text's baseline.
    void pictureAndLegend()
    {
        const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(shot.copy(200, 50, 600, 600) ==
                child<Percolation>("percolation")->composePicture());
        const QRect area(820, 480, 180, 70);
        QImage legend(area.size(), QImage::Format_RGB32);
        legend.fill(window->palette().color(QPalette::Window));
        QPainter painter(&legend);
        painter.translate(-area.topLeft());
        painter.setFont(window->font());
        painter.setPen(window->palette().color(QPalette::WindowText));
        for (const auto& [baseline, colour, text] : {std::tuple{500, Qt::blue, "Empty site"},
                                                     {520, Qt::yellow, "Occupied site"},
                                                     {540, Qt::red, "Largest cluster"}}) {
            painter.fillRect(820, baseline - 10, 10, 10, colour);
            painter.drawText(850, baseline, QString::fromLatin1(text));
        }
        painter.end();
        QVERIFY(shot.copy(area) == legend);
    }

    // The shortcut named by the row clicks its button, even while the entry field has the
    // focus, and the button's tooltip names it.
    void shortcuts_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Ctrl+N") << "startAgainButton";
        QTest::newRow("Ctrl+I") << "isolateButton";
        QTest::newRow("Ctrl+Q") << "exitButton";
    }
    void shortcuts()
    {
        QFETCH(QString, button);
        auto* target = child<QPushButton>(button);
        const QKeySequence keys(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY2(target->toolTip().contains(keys.toString(QKeySequence::NativeText)),
                 qPrintable(target->toolTip()));
        QSignalSpy clicked(target, &QAbstractButton::clicked);
        QTest::keyClick(field, keys[0].key(), keys[0].keyboardModifiers());
        // The button is animated before it is clicked; the wait only guards against a hang.
        QVERIFY(clicked.size() == 1 || clicked.wait(60000));
        QCOMPARE(clicked.size(), 1);
    }

    // The typed text and the value it sets, or Rejected. The named rows after "ASCII after 9"
    // hold digits that QChar::isDigit accepts but that are not ASCII.
    void typedText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("value");
        const struct
        {
            const char16_t* typed;
            double value;
            const char* tag = nullptr;
        } rows[] = {// clang-format off
            {u"", 0, "empty"}, {u".", 0}, {u".25", 0.25}, {u"0.59274", 0.5927},
            {u"0.123456789", 0.1234}, {u".12345678", 0.1234}, {u"0", 0}, {u"1", 1}, {u"1.", 1},
            {u"1.0000000", 1}, {u"10", 10}, {u"99", 99}, {u"5.5", 5.5}, {u"9.99999", 9.9999},
            {u"1.0000001", Rejected}, {u"1.5", Rejected}, {u"555", Rejected}, {u"100", Rejected},
            {u"00.5", Rejected}, {u"0.5.1", Rejected}, {u"..", Rejected}, {u"0.12345x", Rejected},
            {u"-0.5", Rejected}, {u"0,5", Rejected}, {u"1e-3", Rejected}, {u"+1", Rejected},
            {u" 0.5", Rejected, "blank before"}, {u"0.5 ", Rejected, "blank after"},
            {u"/", Rejected, "ASCII before 0"}, {u":", Rejected, "ASCII after 9"},
            {u"\uFF10.\uFF15", Rejected, "fullwidth"}, {u"\u0966.\u096B", Rejected, "Devanagari"},
            {u"\u0660.\u0665", Rejected, "Arabic-Indic"},
            {u"1\u0660", Rejected, "Arabic-Indic 0 after 1"},
            {u"\U0001D7CE.\U0001D7D3", Rejected, "mathematical bold"},
            {u"0\u066B5", Rejected, "Arabic decimal separator"}};
        // clang-format on
        for (const auto& row : rows) {
            const QString typed = QString::fromUtf16(row.typed);
            QTest::newRow(row.tag ? row.tag : qPrintable(typed)) << typed << row.value;
        }
        // Past the length at which a line edit cuts its text by default.
        QTest::newRow("long, bad at its end")
            << QStringLiteral("0.") + QString(32765, u'3') + u'x' << Rejected;
        QTest::newRow("long") << QStringLiteral("0.") + QString(40000, u'3') << 0.3333;
    }
    // An accepted text stays in the field, which gives up the focus; a rejected one is cleared
    // and the field keeps the focus. A new p waits for the next realisation.
    void typedText()
    {
        QFETCH(QString, typed);
        QFETCH(double, value);
        const bool accepted = value != Rejected;
        const std::int32_t generator = model::rngState;
        QSignalSpy sent(window.get(), &Interface::pChanged);
        QSignalSpy overflow(display("probabilityLCD"), &QLCDNumber::overflow);
        enter(typed);
        QCOMPARE(sent.size(), accepted ? 1 : 0);
        if (accepted)
            QCOMPARE(sent.at(0).at(0).toDouble(), value);
        QCOMPARE(display("probabilityLCD")->value(), accepted ? value : 0.5);
        QCOMPARE(field->text(), accepted ? typed : QString());
        QCOMPARE(field->hasFocus(), !accepted);
        QCOMPARE(overflow.size(), 0);
        QCOMPARE(model::rngState, generator);
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
