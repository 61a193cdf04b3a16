// What a screen reader finds in each of the three windows: every control and display carries a
// name, and every display that shows a value says it in its name.

#include "app/explorerwindow.h"
#include "app/interface.h"
#include "app/statisticswindow.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QChartView>
#include <QLCDNumber>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <functional>
#include <memory>

class AccessibilityTest : public QObject
{
    Q_OBJECT

private slots:
    void everyControlAndDisplayNamed_data()
    {
        QTest::addColumn<std::function<QWidget*()>>("make");
        QTest::newRow("lattice window") << std::function<QWidget*()>([] { return new Interface; });
        QTest::newRow("statistics window")
            << std::function<QWidget*()>([] { return new StatisticsWindow; });
        QTest::newRow("explorer") << std::function<QWidget*()>([] { return new ExplorerWindow; });
    }
    void everyControlAndDisplayNamed()
    {
        QFETCH(std::function<QWidget*()>, make);
        const std::unique_ptr<QWidget> window(make());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        int checked = 0;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            // A plot's drawing area is read as the plot.
            const auto* area = qobject_cast<QAbstractScrollArea*>(widget->parentWidget());
            if (!widget->isVisibleTo(window.get()) || widget->isWindow() ||
                (area != nullptr && area->viewport() == widget))
                continue;
            auto* label = qobject_cast<QLabel*>(widget);
            const bool display = qobject_cast<QLCDNumber*>(widget) ||
                                 qobject_cast<QProgressBar*>(widget) ||
                                 qobject_cast<QChartView*>(widget) ||
                                 (label != nullptr && !label->text().isEmpty()) ||
                                 widget->objectName().endsWith(u"View");
            if (!display && widget->focusPolicy() == Qt::NoFocus)
                continue;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(accessible != nullptr);
            const QString name = accessible->text(QAccessible::Name);
            const QString what = QString::fromLatin1(widget->metaObject()->className()) + u' ' +
                                 widget->objectName();
            QVERIFY2(!name.trimmed().isEmpty(), qPrintable(what));
            // A named display of a value reads its value too.
            if (label != nullptr && !label->accessibleName().isEmpty())
                QVERIFY2(name.endsWith(QStringLiteral(": ") + label->text()),
                         qPrintable(what + u' ' + name));
            if (const auto* lcd = qobject_cast<QLCDNumber*>(widget))
                QVERIFY2(name.endsWith(QStringLiteral(": ") + QString::number(lcd->value())),
                         qPrintable(what + u' ' + name));
            ++checked;
        }
        QVERIFY(checked >= 10);
    }
};

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
