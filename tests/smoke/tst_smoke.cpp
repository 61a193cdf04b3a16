// Starts the real program on a virtual X display, checks its window on a screenshot and quits it
// with a mouse click on "Quit", as a user would.

#include "model/random.h"
#include "view/percolation.h"

#include <QApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int timeoutMs = 60000;
const QString title = QStringLiteral("Percolation on a square lattice");

// Runs a helper to its end and returns what it printed.
QByteArray run(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment, bool* ok)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    *ok = process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit
          && process.exitCode() == 0;
    if (!*ok)
        qWarning() << program << arguments << process.readAllStandardError();
    return process.readAllStandardOutput();
}

int countPixels(const QImage& image, QColor colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == colour.rgb() ? 1 : 0;
    }
    return count;
}

} // namespace

class SmokeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void windowShowsFirstRealisationAndQuits();

private:
    QProcess xvfb;
    QTemporaryDir scratch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

void SmokeTest::initTestCase()
{
    for (const char* tool : {"Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh)")
                                 .arg(QLatin1String(tool))));
    }
    QVERIFY(scratch.isValid());

    // Xvfb picks a free display and prints its number once it accepts clients.
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-dpi"),
                QStringLiteral("96"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QVERIFY(xvfb.waitForStarted(timeoutMs));
    while (!xvfb.canReadLine())
        QVERIFY2(xvfb.waitForReadyRead(timeoutMs), xvfb.readAllStandardError().constData());
    const QString number = QString::fromLatin1(xvfb.readLine()).trimmed();
    QVERIFY(!number.isEmpty());

    environment.insert(QStringLiteral("DISPLAY"), u':' + number);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch.path());
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // Without a session bus libdbus would try to autolaunch one on the virtual display, and
    // that attempt leaks a read buffer that LeakSanitizer reports. The program needs no bus.
    if (!environment.contains(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"))) {
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=") + scratch.filePath("no-bus"));
    }
}

void SmokeTest::cleanupTestCase()
{
    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        xvfb.waitForFinished(timeoutMs);
    }
}

void SmokeTest::windowShowsFirstRealisationAndQuits()
{
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(PERCOLATION_PROGRAM), {});
    QVERIFY(program.waitForStarted(timeoutMs));

    bool ok = false;
    const QString window =
        QString::fromLatin1(run(QStringLiteral("xdotool"),
                                {QStringLiteral("search"), QStringLiteral("--sync"),
                                 QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                 u'^' + title + u'$'},
                                environment, &ok))
            .section(u'\n', 0, 0);
    QVERIFY(ok);
    QVERIFY(!window.isEmpty());

    // Without a window manager the window sits exactly where the program put it.
    const QByteArray geometry =
        run(QStringLiteral("xdotool"),
            {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window},
            environment, &ok);
    QVERIFY(ok);
    QVERIFY2(geometry.contains("X=0\nY=50\nWIDTH=1000\nHEIGHT=700\n"), geometry.constData());

    const QString file = scratch.filePath(QStringLiteral("window.png"));
    run(QStringLiteral(GRAB_SCREEN),
        {QStringLiteral("0"), QStringLiteral("50"), QStringLiteral("1000"),
         QStringLiteral("700"), file},
        environment, &ok);
    QVERIFY(ok);
    const QImage shot = QImage(file).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(1000, 700));

    // The lattice view: every site is blue, yellow or red, and the picture is the first
    // realisation's, pixel for pixel.
    const QImage view = shot.copy(200, 50, 600, 600);
    const int blue = countPixels(view, Qt::blue);
    const int yellow = countPixels(view, Qt::yellow);
    const int red = countPixels(view, Qt::red);
    QVERIFY(blue > 0);
    QVERIFY(yellow > 0);
    QCOMPARE(red, 398);
    QCOMPARE(blue + yellow + red, 600 * 600);
    model::rngState = 1;
    Percolation first;
    QVERIFY(view == first.composePicture().convertToFormat(QImage::Format_RGB32));

    // The legend's squares.
    const struct
    {
        int top;
        QColor colour;
    } squares[] = {{490, Qt::blue}, {510, Qt::yellow}, {530, Qt::red}};
    for (const auto& square : squares) {
        QCOMPARE(countPixels(shot.copy(820, square.top, 10, 10), square.colour), 100);
        QVERIFY(shot.pixel(819, square.top + 5) != square.colour.rgb());
        QVERIFY(shot.pixel(830, square.top + 5) != square.colour.rgb());
    }

    // The centre of the "exit" group, where its one button sits.
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("--sync"), QStringLiteral("900"),
         QStringLiteral("672"), QStringLiteral("click"), QStringLiteral("1")},
        environment, &ok);
    QVERIFY(ok);
    QVERIFY(program.waitForFinished(timeoutMs));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_MAIN(SmokeTest)
#include "tst_smoke.moc"
