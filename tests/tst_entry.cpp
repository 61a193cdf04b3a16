#include "app/interface.h"
#include "app/probabilitytext.h"
#include "app/startup.h"
#include "model/clusters.h"
#include "model/lattice.h"
#include "model/random.h"
#include "view/percolation.h"

#include <QApplication>
#include <QLCDNumber>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// The window with its entry field focused, as after the user clicked into it.
struct Window
{
    Interface window;
    QLineEdit* field = window.findChild<QLineEdit*>(QStringLiteral("p_line_edit"));
    QLCDNumber* pDisplay = window.findChild<QLCDNumber*>(QStringLiteral("probabilityLCD"));
    QLCDNumber* largestDisplay =
        window.findChild<QLCDNumber*>(QStringLiteral("largestClusterLCD"));
    Percolation* lattice = window.findChild<Percolation*>(QStringLiteral("percolation"));

    bool open()
    {
        startup::placeMainWindow(window);
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        field->setFocus();
        return field->hasFocus();
    }
};

// The size of the largest cluster of the next realisation, as the model alone finds it; the
// generator is left where it was.
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

QString utf16(const char16_t* text)
{
    return QString::fromUtf16(text);
}

// Digits that QChar::isDigit accepts but that are not ASCII.
void addForeignDigitRows()
{
    QTest::newRow("fullwidth") << utf16(u"\uFF10.\uFF15") << false << 0.0;
    QTest::newRow("fullwidth after 0.") << utf16(u"0.\uFF15") << false << 0.0;
    QTest::newRow("Arabic-Indic") << utf16(u"\u0660.\u0665") << false << 0.0;
    QTest::newRow("Arabic-Indic 5 alone") << utf16(u"\u0665") << false << 0.0;
    QTest::newRow("Arabic-Indic 0 after 1") << utf16(u"1\u0660") << false << 0.0;
    QTest::newRow("extended Arabic-Indic") << utf16(u"\u06F0.\u06F5") << false << 0.0;
    QTest::newRow("Devanagari") << utf16(u"\u0966.\u096B") << false << 0.0;
    QTest::newRow("mathematical bold") << utf16(u"\U0001D7CE.\U0001D7D3") << false << 0.0;
    QTest::newRow("Arabic decimal separator") << utf16(u"0\u066B5") << false << 0.0;
}

} // namespace

class EntryTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void typedText_data();
    void typedText();
    void returnAgainRepeats();
    void typingKeyByKey();
    void nextRealisationUsesValue_data();
    void nextRealisationUsesValue();
    void check_data();
    void check();
};

void EntryTest::initTestCase()
{
    startup::setApplicationFont();
}

void EntryTest::init()
{
    model::rngState = 1;
}

void EntryTest::typedText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");

    QTest::newRow("empty") << "" << true << 0.0;
    QTest::newRow(".") << "." << true << 0.0;
    QTest::newRow(".25") << ".25" << true << 0.25;
    QTest::newRow("0.59274") << "0.59274" << true << 0.5927;
    QTest::newRow("0.123456789") << "0.123456789" << true << 0.1234;
    QTest::newRow("0") << "0" << true << 0.0;
    QTest::newRow("1") << "1" << true << 1.0;
    QTest::newRow("1.") << "1." << true << 1.0;
    QTest::newRow("1.0000000") << "1.0000000" << true << 1.0;
    QTest::newRow("1.0000001") << "1.0000001" << false << 0.0;
    QTest::newRow("1.5") << "1.5" << false << 0.0;
    QTest::newRow("10") << "10" << true << 10.0;
    QTest::newRow("19") << "19" << true << 19.0;
    QTest::newRow("55") << "55" << true << 55.0;
    QTest::newRow("99") << "99" << true << 99.0;
    QTest::newRow("5.5") << "5.5" << true << 5.5;
    QTest::newRow("9.99999") << "9.99999" << true << 9.9999;
    QTest::newRow("555") << "555" << false << 0.0;
    QTest::newRow("100") << "100" << false << 0.0;
    QTest::newRow("00.5") << "00.5" << false << 0.0;
    QTest::newRow("0.5.1") << "0.5.1" << false << 0.0;
    QTest::newRow("..") << ".." << false << 0.0;
    QTest::newRow("0.12345x") << "0.12345x" << false << 0.0;
    QTest::newRow("-0.5") << "-0.5" << false << 0.0;
    QTest::newRow("0,5") << "0,5" << false << 0.0;
    QTest::newRow("1e-3") << "1e-3" << false << 0.0;
    QTest::newRow("blank before") << " 0.5" << false << 0.0;
    QTest::newRow("blank after") << "0.5 " << false << 0.0;
    QTest::newRow("+1") << "+1" << false << 0.0;
    addForeignDigitRows();
}

void EntryTest::typedText()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(double, value);

    Window w;
    QVERIFY(w.open());
    const int occupiedBefore = w.lattice->occupiedCount();
    const int largestBefore = w.largestDisplay->intValue();
    const std::int32_t generatorBefore = model::rngState;
    QSignalSpy sent(&w.window, &Interface::pChanged);
    QSignalSpy overflow(w.pDisplay, &QLCDNumber::overflow);

    w.field->setText(typed);
    QTest::keyClick(w.field, Qt::Key_Return);

    if (accepted) {
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).at(0).toDouble(), value);
        QCOMPARE(w.pDisplay->value(), value);
        QCOMPARE(w.lattice->p, value);
        QCOMPARE(w.field->text(), typed);
        QVERIFY(!w.field->hasFocus());
        QVERIFY(QApplication::focusWidget() != w.field);
    } else {
        QCOMPARE(sent.size(), 0);
        QCOMPARE(w.pDisplay->value(), 0.5);
        QCOMPARE(w.lattice->p, 0.5);
        QCOMPARE(w.field->text(), QString());
        QVERIFY(w.field->hasFocus());
    }
    QCOMPARE(overflow.size(), 0);
    // A new p waits for the next realisation.
    QCOMPARE(w.lattice->occupiedCount(), occupiedBefore);
    QCOMPARE(w.largestDisplay->intValue(), largestBefore);
    QCOMPARE(model::rngState, generatorBefore);
}

void EntryTest::returnAgainRepeats()
{
    Window w;
    QVERIFY(w.open());
    QSignalSpy sent(&w.window, &Interface::pChanged);
    w.field->setText(QStringLiteral(".25"));
    QTest::keyClick(w.field, Qt::Key_Return);
    w.lattice->pChanged(0.75);
    w.pDisplay->display(0.75);
    QTest::keyClick(w.field, Qt::Key_Return);

    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent.at(1).at(0).toDouble(), 0.25);
    QCOMPARE(w.pDisplay->value(), 0.25);
    QCOMPARE(w.lattice->p, 0.25);
    QCOMPARE(w.field->text(), QStringLiteral(".25"));
}

void EntryTest::typingKeyByKey()
{
    Window w;
    QVERIFY(w.open());
    QSignalSpy sent(&w.window, &Interface::pChanged);

    QTest::keyClicks(w.field, QStringLiteral("0.5x"));
    QTest::keyClick(w.field, Qt::Key_Return);
    QCOMPARE(sent.size(), 0);
    QCOMPARE(w.field->text(), QString());
    QVERIFY(w.field->hasFocus());

    // The field is ready for another try straight away.
    QTest::keyClicks(w.field, QStringLiteral(".7"));
    QTest::keyClick(w.field, Qt::Key_Return);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.at(0).at(0).toDouble(), 0.7);
    QCOMPARE(w.pDisplay->value(), 0.7);
    QCOMPARE(w.field->text(), QStringLiteral(".7"));
    QVERIFY(!w.field->hasFocus());
}

void EntryTest::nextRealisationUsesValue_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("L");
    // -1 where only the model can tell.
    QTest::addColumn<int>("largest");

    QTest::newRow("1, new realisation") << "1" << "startAgainButton" << 600 << 600 * 600;
    QTest::newRow("1, L = 150") << "1" << "L150Button" << 150 << 150 * 150;
    QTest::newRow("10, L = 300") << "10" << "L300Button" << 300 << 300 * 300;
    QTest::newRow("0, new realisation") << "0" << "startAgainButton" << 600 << 0;
    QTest::newRow("., L = 150") << "." << "L150Button" << 150 << 0;
    QTest::newRow("0.7, L = 300") << "0.7" << "L300Button" << 300 << -1;
    QTest::newRow("0.59274, L = 600") << "0.59274" << "L600Button" << 600 << -1;
}

void EntryTest::nextRealisationUsesValue()
{
    QFETCH(QString, typed);
    QFETCH(QString, button);
    QFETCH(int, L);
    QFETCH(int, largest);

    Window w;
    QVERIFY(w.open());
    QSignalSpy overflow(w.largestDisplay, &QLCDNumber::overflow);
    w.field->setText(typed);
    QTest::keyClick(w.field, Qt::Key_Return);
    const double p = w.pDisplay->value();

    const int expected = nextLargest(p, L);
    if (largest >= 0)
        QCOMPARE(expected, largest);
    QTest::mouseClick(w.window.findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(w.largestDisplay->intValue(), expected);
    QCOMPARE(w.pDisplay->value(), p);
    QCOMPARE(overflow.size(), 0);
}

void EntryTest::check_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("prepared");

    QTest::newRow("empty") << "" << true << "";
    QTest::newRow(".") << "." << true << "0.";
    QTest::newRow(".25") << ".25" << true << "0.25";
    QTest::newRow("0.59274 is cut") << "0.59274" << true << "0.5927";
    QTest::newRow("1.0000000 is cut") << "1.0000000" << true << "1.0000";
    QTest::newRow(".12345678 is cut after the 0") << ".12345678" << true << "0.1234";
    QTest::newRow("10") << "10" << true << "10";
    QTest::newRow("1.") << "1." << true << "1.";
    QTest::newRow("rejected keeps the 0") << ".5x" << false << "0.5x";
    QTest::newRow("rejected is not cut") << "0.123456789x" << false << "0.123456789x";
    QTest::newRow("1.0000001") << "1.0000001" << false << "1.0000001";
    QTest::newRow("..5") << "..5" << false << "0..5";
    QTest::newRow("fullwidth") << utf16(u"\uFF10.\uFF15") << false << utf16(u"\uFF10.\uFF15");
    QTest::newRow("Arabic-Indic after .") << utf16(u".\u0665") << false << utf16(u"0.\u0665");
    QTest::newRow("ASCII before 0") << "/" << false << "/";
    QTest::newRow("ASCII after 9") << ":" << false << ":";
}

void EntryTest::check()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(QString, prepared);

    QCOMPARE(probability_text::accept(text), accepted);
    QCOMPARE(text, prepared);
}

QTEST_MAIN(EntryTest)
#include "tst_entry.moc"
