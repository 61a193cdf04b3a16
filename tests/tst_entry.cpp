#include "app/interface.h"
#include "app/startup.h"
#include "model/random.h"
#include "nextlargest.h"
#include "view/percolation.h"

#include <QApplication>
#include <QLCDNumber>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

namespace {

constexpr double Rejected = -1;

} // namespace

class EntryTest : public QObject
{
    Q_OBJECT

    // Each test's window, its entry field focused as after the user clicked into it.
    std::unique_ptr<Interface> window;
    QLineEdit* field = nullptr;
    QLCDNumber* pDisplay = nullptr;
    Percolation* lattice = nullptr;

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
        field = window->findChild<QLineEdit*>(QStringLiteral("p_line_edit"));
        pDisplay = window->findChild<QLCDNumber*>(QStringLiteral("probabilityLCD"));
        lattice = window->findChild<Percolation*>(QStringLiteral("percolation"));
        startup::placeMainWindow(*window);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        field->setFocus();
        QVERIFY(field->hasFocus());
    }
    void cleanup() { window.reset(); }

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
            {u"1.0000000", 1}, {u"10", 10}, {u"19", 19}, {u"55", 55}, {u"99", 99}, {u"5.5", 5.5},
            {u"9.99999", 9.9999}, {u"1.0000001", Rejected}, {u"1.5", Rejected},
            {u"555", Rejected}, {u"100", Rejected}, {u"00.5", Rejected}, {u"0.5.1", Rejected},
            {u"..", Rejected}, {u"0.12345x", Rejected}, {u"-0.5", Rejected}, {u"0,5", Rejected},
            {u"1e-3", Rejected}, {u" 0.5", Rejected, "blank before"},
            {u"0.5 ", Rejected, "blank after"}, {u"+1", Rejected},
            {u"/", Rejected, "ASCII before 0"}, {u":", Rejected, "ASCII after 9"},
            {u"\uFF10.\uFF15", Rejected, "fullwidth"},
            {u"0.\uFF15", Rejected, "fullwidth after 0."},
            {u"\u0660.\u0665", Rejected, "Arabic-Indic"},
            {u"\u0665", Rejected, "Arabic-Indic 5 alone"},
            {u"1\u0660", Rejected, "Arabic-Indic 0 after 1"},
            {u"\u06F0.\u06F5", Rejected, "extended Arabic-Indic"},
            {u"\u0966.\u096B", Rejected, "Devanagari"},
            {u"\U0001D7CE.\U0001D7D3", Rejected, "mathematical bold"},
            {u"0\u066B5", Rejected, "Arabic decimal separator"}};
        // clang-format on
        for (const auto& row : rows) {
            const QString typed = QString::fromUtf16(row.typed);
            QTest::newRow(row.tag ? row.tag : qPrintable(typed)) << typed << row.value;
        }
    }
    void typedText()
    {
        QFETCH(QString, typed);
        QFETCH(double, value);
        const bool accepted = value != Rejected;
        const std::int32_t generator = model::rngState;
        QSignalSpy sent(window.get(), &Interface::pChanged);
        QSignalSpy overflow(pDisplay, &QLCDNumber::overflow);

        enter(typed);
        QCOMPARE(sent.size(), accepted ? 1 : 0);
        if (accepted)
            QCOMPARE(sent.at(0).at(0).toDouble(), value);
        QCOMPARE(pDisplay->value(), accepted ? value : 0.5);
        QCOMPARE(field->text(), accepted ? typed : QString());
        QCOMPARE(field->hasFocus(), !accepted);
        QCOMPARE(overflow.size(), 0);
        // A new p waits for the next realisation.
        QCOMPARE(model::rngState, generator);
    }

    void returnAgainRepeats()
    {
        QSignalSpy sent(window.get(), &Interface::pChanged);
        enter(QStringLiteral(".25"));
        lattice->pChanged(0.75);
        pDisplay->display(0.75);
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(1).at(0).toDouble(), 0.25);
        QCOMPARE(pDisplay->value(), 0.25);
        QCOMPARE(lattice->p, 0.25);
    }

    void nextRealisationUsesValue_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("L");
        QTest::newRow("1, new realisation") << "1" << "startAgainButton" << 600;
        QTest::newRow("10, L = 300") << "10" << "L300Button" << 300;
        QTest::newRow("0, new realisation") << "0" << "startAgainButton" << 600;
        QTest::newRow("., L = 150") << "." << "L150Button" << 150;
        QTest::newRow("0.7, L = 300") << "0.7" << "L300Button" << 300;
        QTest::newRow("0.59274, L = 600") << "0.59274" << "L600Button" << 600;
    }
    void nextRealisationUsesValue()
    {
        QFETCH(QString, typed);
        QFETCH(QString, button);
        QFETCH(int, L);
        auto* largestDisplay = window->findChild<QLCDNumber*>(QStringLiteral("largestClusterLCD"));
        QSignalSpy overflow(largestDisplay, &QLCDNumber::overflow);
        enter(typed);
        const double p = pDisplay->value();
        const int expected = nextLargest(p, L);
        QTest::mouseClick(window->findChild<QPushButton*>(button), Qt::LeftButton);
        QCOMPARE(largestDisplay->intValue(), expected);
        QCOMPARE(pDisplay->value(), p);
        QCOMPARE(overflow.size(), 0);
    }
};

QTEST_MAIN(EntryTest)
#include "tst_entry.moc"
