// The real program on its own virtual X display: its window on a screenshot, the explorer opened
// and closed from the keyboard, then a mouse click on "Quit", as a user would.

#include "model/random.h"
#include "view/percolation.h"

#include <QApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

constexpr int TimeoutMs = 60000;

class SmokeTest : public QObject
{
    Q_OBJECT

    QProcess xvfb;
    QTemporaryDir scratch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    // Runs a helper on the virtual display to a successful end.
    bool run(const QString& program, const QString& arguments, const QString& last)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments.split(u' ') << last);
        if (process.waitForFinished(TimeoutMs) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            return true;
        qWarning() << program << arguments << last << process.readAllStandardError();
        return false;
    }

private slots:
    void initTestCase()
    {
        for (const QString& tool : {QStringLiteral("Xvfb"), QStringLiteral("xdotool")}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(tool + QStringLiteral(" is missing (scripts/install-deps.sh)")));
        }
        QVERIFY(scratch.isValid());
        // Xvfb picks a free display and prints its number once it accepts clients.
        xvfb.start(QStringLiteral("Xvfb"),
                   QStringLiteral("-displayfd 1 -screen 0 1280x800x24 -dpi 96 -nolisten tcp")
                       .split(u' '));
        QVERIFY(xvfb.waitForStarted(TimeoutMs));
        while (!xvfb.canReadLine())
            QVERIFY2(xvfb.waitForReadyRead(TimeoutMs), xvfb.readAllStandardError().constData());
        const QString number = QString::fromLatin1(xvfb.readLine()).trimmed();
        QVERIFY(!number.isEmpty());

        environment.insert(QStringLiteral("DISPLAY"), u':' + number);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch.path());
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        // Without a session bus libdbus would autolaunch one on the virtual display, leaking a
        // buffer that LeakSanitizer reports. The program needs no bus.
        if (!environment.contains(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")))
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                               QStringLiteral("unix:path=") + scratch.filePath("no-bus"));
    }

    void cleanupTestCase()
    {
        xvfb.terminate();
        xvfb.waitForFinished(TimeoutMs);
    }

    void windowShowsFirstRealisationAndQuits()
    {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(PERCOLATION_PROGRAM), {});
        QVERIFY(program.waitForStarted(TimeoutMs));
        QVERIFY(run(QStringLiteral("xdotool"),
                    QStringLiteral("search --sync --onlyvisible --name"),
                    QStringLiteral("^Percolation on a square lattice$")));

        // Without a window manager the window sits where the program put it.
        const QString file = scratch.filePath(QStringLiteral("window.png"));
        QVERIFY(run(QStringLiteral(GRAB_SCREEN), QStringLiteral("0 50 1000 700"), file));
        const QImage shot = QImage(file).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shot.size(), QSize(1000, 700));
        model::rngState = 1;
        Percolation first;
        QVERIFY(shot.copy(200, 50, 600, 600) ==
                first.composePicture().convertToFormat(QImage::Format_RGB32));

        // Ctrl+E opens the explorer, Escape closes it again.
        // (Arguments are split at blanks: '.' stands for one in the titles.)
        QVERIFY(run(QStringLiteral("xdotool"),
                    QStringLiteral("search --sync --onlyvisible --name "
                                   "^Percolation.on.a.square.lattice$ windowfocus --sync key "
                                   "ctrl+e search --sync --onlyvisible --name"),
                    QStringLiteral("^Percolation explorer$")));
        QVERIFY(run(QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Escape")));
        const auto explorerShown = [this] {
            QProcess search;
            search.setProcessEnvironment(environment);
            search.start(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--name"), QStringLiteral("^Percolation explorer$")});
            return !search.waitForFinished(TimeoutMs) || search.exitCode() == 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(!explorerShown(), 10000);

        // The centre of the "exit" group, where its one button sits.
        QVERIFY(run(QStringLiteral("xdotool"), QStringLiteral("mousemove --sync 900 672 click"),
                    QStringLiteral("1")));
        QVERIFY(program.waitForFinished(TimeoutMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_MAIN(SmokeTest)
#include "tst_smoke.moc"
