// Where the program's file dialogs start, what they remember, and the reasons a write fails,
// through the lattice window's "Save picture…" (Ctrl+S) as a user meets them.

#include "app/interface.h"
#include "app/statisticswindow.h"
#include "model/random.h"
#include "stats/curvescsv.h"
#include "stats/runner.h"
#include "view/percolation.h"
#include "view/savedialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <sstream>

class SaveDialogTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Interface> window;
    QTemporaryDir scratch;

    // Runs `trigger`, then answers every dialog it opens: a file dialog gets `answers` one after
    // the other (its start folder noted), a message box is noted and closed.
    struct Seen
    {
        QStringList startFolders;
        QStringList messages;
    };
    static Seen answer(const std::function<void()>& trigger, QStringList answers)
    {
        Seen seen;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            // Answered once, through the event loop, so that boxes it opens are seen too.
            if (modal == nullptr || modal->property("answered").toBool())
                return;
            modal->setProperty("answered", true);
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                seen.startFolders << dialog->directory().absolutePath();
                if (answers.isEmpty())
                    return dialog->reject();
                // Typed into the name field, as a user does.
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                    ->setText(answers.takeFirst());
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                seen.messages << box->text();
                QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
            }
        });
        poll.start();
        trigger();
        return seen;
    }
    void save(Seen& seen, const QString& typed)
    {
        auto* field = window->findChild<QLineEdit*>(QStringLiteral("p_line_edit"));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        field->setFocus();
        const Seen one = answer([&] { QTest::keyClick(field, Qt::Key_S, Qt::ControlModifier); },
                                typed.isEmpty() ? QStringList{} : QStringList{typed});
        seen.startFolders << one.startFolders;
        seen.messages << one.messages;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(scratch.isValid());
        model::rngState = 1;
        window = std::make_unique<Interface>();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    void cleanupTestCase() { window.reset(); }

    // After one save into a folder of its own, the row's name is typed into the next dialog:
    // the dialog after it starts where the last save succeeded, the failure names its cause.
    void startsWhereLastSaved_data()
    {
        QTest::addColumn<QString>("typed"); // %1: a folder of the test's
        QTest::addColumn<QString>("message");
        QTest::newRow("written") << "%1/b.png"
                                 << "";
        QTest::newRow("kernel folder") << "/proc/x.png"
                                       << "Could not write \"/proc/x.png\": /proc belongs to the "
                                          "system's kernel and holds no files.";
        QTest::newRow("kernel subfolder") << "/sys/kernel/x.png"
                                          << "Could not write \"/sys/kernel/x.png\": /sys/kernel "
                                             "belongs to the system's kernel and holds no files.";
        QTest::newRow("no such folder")
            << "%1/missing/x.png"
            << "Could not write \"%1/missing/x.png\": the folder %1/missing does not exist.";
        QTest::newRow("a file for a folder")
            << "%1/a.png/x.png"
            << "Could not write \"%1/a.png/x.png\": %1/a.png is a file, not a folder.";
        QTest::newRow("unknown type") << "%1/x.xyz"
                                      << "Could not write \"%1/x.xyz\": pictures cannot be saved "
                                         "as \"xyz\" files; use one of the types offered, such "
                                         "as PNG.";
    }
    void startsWhereLastSaved()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QTemporaryDir first, second;
        for (QTemporaryDir* folder : {&first, &second}) {
            Seen seen;
            save(seen, folder->filePath(QStringLiteral("a.png")));
            QCOMPARE(seen.messages, QStringList{});
        }
        Seen seen;
        save(seen, typed.arg(second.path()));
        save(seen, first.filePath(QStringLiteral("c.png")));
        save(seen, QString()); // cancelled
        QCOMPARE(seen.startFolders, (QStringList{second.path(), second.path(), first.path()}));
        QCOMPARE(seen.messages,
                 message.isEmpty() ? QStringList{} : QStringList{message.arg(second.path())});
        QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/x.png")));
    }

    // The statistics window's exports: the curves as percolation-stats writes them, from every
    // sample, and the plots in the format their name asks for or refused in the one wording.
    void exports_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("start"); // of the file written, or empty
        QTest::addColumn<QString>("message");
        QTest::newRow("CSV") << "csvButton"
                             << "curves.csv" << QByteArray("p,L,") << "";
        QTest::newRow("PNG") << "plotButton"
                             << "plot.PNG" << QByteArray("\x89PNG") << "";
        QTest::newRow("SVG") << "plotButton"
                             << "plot.svg" << QByteArray("<?xml") << "";
        QTest::newRow("no suffix, PNG chosen") << "plotButton"
                                               << "plot" << QByteArray("\x89PNG") << "";
        QTest::newRow("JPEG") << "plotButton"
                              << "plot.jpg" << QByteArray()
                              << "Could not write \"%1/plot.jpg\": unknown picture format .jpg "
                                 "(use .png or .svg).";
        QTest::newRow("no such folder") << "csvButton"
                                        << "missing/curves.csv" << QByteArray()
                                        << "Could not write \"%1/missing/curves.csv\": the "
                                           "folder %1/missing does not exist.";
    }
    void exports()
    {
        QFETCH(QString, button);
        QFETCH(QString, name);
        QFETCH(QByteArray, start);
        QFETCH(QString, message);
        StatisticsWindow statistics;
        for (QCheckBox* box : statistics.findChildren<QCheckBox*>())
            box->setChecked(false);
        statistics.findChild<QLineEdit*>(QStringLiteral("otherSizesEdit"))
            ->setText(QStringLiteral("6, 10"));
        statistics.findChild<QSpinBox*>(QStringLiteral("samplesBox"))->setValue(30);
        statistics.show();
        QSignalSpy finished(&statistics, &StatisticsWindow::runFinished);
        statistics.start();
        QVERIFY(finished.wait(60000));
        const QString path = scratch.filePath(name);
        const Seen seen = answer(
            [&] { QTest::mouseClick(statistics.findChild<QPushButton*>(button), Qt::LeftButton); },
            {path});
        QCOMPARE(seen.messages,
                 message.isEmpty() ? QStringList{} : QStringList{message.arg(scratch.path())});
        QFile written(start.startsWith("\x89PNG") && !name.contains(u'.') ? path + ".png" : path);
        QCOMPARE(written.open(QIODevice::ReadOnly), !start.isEmpty());
        const QByteArray bytes = written.readAll();
        QVERIFY(bytes.startsWith(start));
        if (!start.isEmpty() && name.endsWith(QStringLiteral(".csv"))) {
            std::vector<stats::Totals> done;
            for (const int L : {6, 10})
                done.push_back(stats::runSamples({L, stats::Boundary::Open, 1, 0, 30}, 1));
            // At the p of the plots, read back from the file's rows of its first size.
            std::vector<double> ps;
            for (const QByteArray& row : bytes.split('\n').mid(1))
                if (row.contains(",6,"))
                    ps.push_back(row.left(row.indexOf(',')).toDouble());
            QVERIFY(ps.size() > 100);
            std::ostringstream expected;
            stats::writeCurvesCsv(expected, done, ps);
            QVERIFY(bytes.toStdString() == expected.str());
        }
        written.remove();
    }

    // Nothing that would read a kernel file to name its type may start there.
    void pseudoFileSystems_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("pseudo");
        QTest::newRow("/proc") << "/proc" << true;
        QTest::newRow("/proc/self") << "/proc/self" << true;
        QTest::newRow("/sys/kernel") << "/sys/kernel" << true;
        QTest::newRow("/dev") << "/dev" << true;
        QTest::newRow("/") << "/" << false;
        QTest::newRow("/procedures") << "/procedures" << false;
        QTest::newRow("temporary") << QDir::tempPath() << false;
    }
    void pseudoFileSystems()
    {
        QFETCH(QString, folder);
        QTEST(save_dialog::isPseudoFileSystem(folder), "pseudo");
    }

    // The dialog's list names a file's type from its name, never by reading it: a PNG file
    // without a suffix is not called a PNG image.
    void typesFromNamesOnly()
    {
        const QString path = scratch.filePath(QStringLiteral("picture"));
        QImage(4, 4, QImage::Format_RGB32).save(path, "PNG");
        const save_dialog::NameOnlyIconProvider icons;
        QVERIFY(!icons.type(QFileInfo(path)).contains(QStringLiteral("PNG")));
        QVERIFY(
            icons.type(QFileInfo(path + QStringLiteral(".png"))).contains(QStringLiteral("PNG")));
    }
};

QTEST_MAIN(SaveDialogTest)
#include "tst_save_dialog.moc"
