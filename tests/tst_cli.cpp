// percolation-stats as a user runs it: the same samples give the same bytes however they are
// split (threads, separate runs merged, MPI ranks) or interrupted (signals, kills, resumes);
// every bad input is refused with one line and touches no file; the output is checked again at
// the end; plots are written headless; and a small threshold estimate agrees with the known
// value. No test sleeps for a fixed time: each waits for something it can observe.

#include "cli/numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <functional>
#include <map>
#include <sys/stat.h>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QJsonObject json(const QString& path)
{
    return QJsonDocument::fromJson(contents(path)).object();
}

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QTemporaryDir results; // made once: a small run, as input to refusals and plots
    QStringList errors;    // the stderr lines of the last command
    // A run long enough to be interrupted a few times, made whole once in initTestCase(); not
    // of the default lattice and model, which a resume must take from the run's JSON.
    const QString resumable = "run --lattice triangular --model bond --sizes 24,48 --boundary "
                              "torus --samples 2000 --threads 2 --p-step 0.01 ";
    // Two pairs, to be continued under the prefix appended.
    const QString twoPairs = "universality --lattices square --models site,bond --sizes "
                             "8,12,16,24 --samples 64 --seed 3 --threads 2 --output ";

    QString path(const QString& name) const { return dir->filePath(name); }

    // "run …", "merge …", "plot …", "resume …", or "mpirun K run …" for K ranks.
    QProcess* start(const QString& command, const QString& in = {})
    {
        QStringList words = command.split(' ', Qt::SkipEmptyParts);
        auto* process = new QProcess(this); // deleted with the test
        process->setWorkingDirectory(in.isEmpty() ? dir->path() : in);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("XDG_RUNTIME_DIR"); // as on a cluster node: no warnings about it
        QString program = PERCOLATION_STATS;
        if (words.first() == "mpirun") {
#ifdef MPIEXEC
            // Containers and CI run as root; OpenMPI's own allocations are no leaks of ours.
            environment.insert("OMPI_ALLOW_RUN_AS_ROOT", "1");
            environment.insert("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1");
            environment.insert("ASAN_OPTIONS", "detect_leaks=0");
            words = QStringList{"--oversubscribe", "-np", words[1], program} + words.mid(2);
            program = MPIEXEC;
#endif
        }
        process->setProcessEnvironment(environment);
        process->start(program, words);
        process->waitForStarted();
        return process;
    }

    int finish(QProcess* process) // the exit status; −1 for a crash
    {
        process->waitForFinished(300'000);
        errors =
            QString::fromUtf8(process->readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        const bool exited = process->exitStatus() == QProcess::NormalExit;
        return exited ? process->exitCode() : -1;
    }

    void runAll(const QStringList& commands)
    {
        for (const QString& command : commands)
            QVERIFY2(finish(start(command)) == 0, qPrintable(command + ": " + errors.join(' ')));
    }

    // Polls every millisecond, so that short moments (a file being written) are caught; false
    // if `process` ends first.
    static bool waitUntil(const std::function<bool()>& happened, QProcess* process)
    {
        while (!happened())
            if (process->state() != QProcess::Running || process->waitForFinished(1))
                return happened();
        return true;
    }

    // Only to a process still running, never to pid 0 (which would be this test's group).
    // SIGKILL takes the process's children with it (mpirun's ranks), as a lost node would.
    static void signal(QProcess* process, int number)
    {
        if (process->state() != QProcess::Running || process->processId() <= 0)
            return;
        const auto pid = pid_t(process->processId());
        if (number == SIGKILL)
            for (const QByteArray& child :
                 contents(QString("/proc/%1/task/%1/children").arg(pid)).split(' '))
                if (child.toInt() > 0)
                    ::kill(pid_t(child.toInt()), SIGKILL);
        ::kill(pid, number);
    }

    // Every file of the folder with its bytes.
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> all;
        for (const QFileInfo& entry :
             QDir(dir->path()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot))
            all[entry.fileName()] = entry.isDir() ? "folder" : contents(entry.filePath());
        return all;
    }

    QJsonObject withoutTiming(const QString& name, bool request = true)
    {
        QJsonObject object = json(path(name));
        object.remove("timing");
        if (!request)
            object.remove("request"), object.remove("complete");
        return object;
    }

    void copyResult(const QString& name)
    {
        for (const char* suffix : {".csv", ".json", ".totals"})
            QVERIFY(QFile::copy(results.filePath(name + suffix), path(name + suffix)));
    }

    // The identity of PREFIX.totals: each checkpoint renames a new file into place.
    qint64 inode(const QString& name) const
    {
        struct stat status = {};
        return ::stat(qPrintable(path(name)), &status) == 0 ? qint64(status.st_ino) : -1;
    }

private slots:
    void initTestCase()
    {
        for (const QString& run :
             {QString("run --sizes 8,16 --samples 50 --boundary torus --output r"),
              QString("run --sizes 8,16 --samples 50 --boundary torus --model bond --output b"),
              resumable + "--output whole",
              QString("run --sizes 4,6,8,10 --samples 20 --ns-at none --output plain")})
            QCOMPARE(finish(start(run, results.path())), 0);
    }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
    }

    void splitsGiveTheSameBytes_data()
    {
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        QTest::addColumn<bool>("sameRequest");
        const QString run = "run --sizes 12,20 --boundary %1 --samples 90 --output a";
        for (const QString boundary : {"open", "torus"}) {
            // Each split once of another lattice or model than the default.
            const QString other =
                boundary == "open" ? " --lattice cubic" : " --lattice honeycomb --model bond";
            const QString threads = run.arg(boundary) + (boundary == "torus" ? other : "");
            const QString merged = run.arg(boundary) + (boundary == "open" ? other : "");
            QTest::addRow("%s: 1 thread, 2 threads",
                          qPrintable(boundary + (boundary == "torus" ? other : "")))
                << QStringList{threads + " --threads 1"}
                << QStringList{QString(threads).replace("--output a", "--output b --threads 2")}
                << true;
            QTest::addRow("%s: one run, three merged",
                          qPrintable(boundary + (boundary == "open" ? other : "")))
                << QStringList{merged}
                << QStringList{QString(merged).replace("90 --output a", "30 --output h1"),
                               QString(merged).replace("90 --output a",
                                                       "50 --first-sample 30 --output h2"),
                               QString(merged).replace("90 --output a",
                                                       "10 --first-sample 80 --output h3"),
                               "merge h3 h1.totals h2.json --output b"}
                << false;
#ifdef MPIEXEC
            if (boundary == "torus")
                QTest::addRow("%s: 1 rank, 2 ranks", qPrintable(boundary))
                    << QStringList{run.arg(boundary)}
                    << QStringList{"mpirun 2 " +
                                   QString(run.arg(boundary)).replace("--output a", "--output b")}
                    << true;
#endif
        }
    }

    void splitsGiveTheSameBytes()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QFETCH(bool, sameRequest);
        runAll(first + second);
        const QList<QByteArray> csv = contents(path("a.csv")).split('\n');
        QCOMPARE(csv.size(), 2 + 2 * 501); // header, two sizes, final newline
        QVERIFY(contents(path("a.totals")).size() > 12 * 12 + 20 * 20);
        QCOMPARE(contents(path("b.csv")), contents(path("a.csv")));
        QCOMPARE(contents(path("b.totals")), contents(path("a.totals")));
        QCOMPARE(withoutTiming("b.json", sameRequest), withoutTiming("a.json", sameRequest));
        QVERIFY(!QFile::exists(path("a.lock")) && !QFile::exists(path("b.lock")));
    }

    void badInputIsRefused_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("setup");   // files: NAME=CONTENT, NAME/ (a folder), result N
        QTest::addColumn<QString>("because"); // a word of the one-line reason
        const QString run = "run --sizes 8 --samples 10 --output out ";
        const QString bad = "run --sizes %1 --samples 10 --output out";
        // Numbers: decimal only, in range, nothing empty.
        QTest::newRow("octal-looking size") << bad.arg("016 --seed 0042") << ""
                                            << "leading zero";
        QTest::newRow("hexadecimal size") << bad.arg("0x10") << ""
                                          << "--sizes";
        QTest::newRow("seed beyond 2^64") << run + "--seed 99999999999999999999"
                                          << ""
                                          << "18446744073709551615";
        QTest::newRow("samples beyond 2^64")
            << "run --sizes 8 --samples 18446744073709551616 --output out"
            << ""
            << "--samples";
        QTest::newRow("empty size in a list") << bad.arg("64,,128") << ""
                                              << "empty";
        QTest::newRow("empty size at the end") << bad.arg("16,") << ""
                                               << "empty";
        QTest::newRow("seed in accents, cut between letters")
            << run + "--seed " + QString(13, QChar(0xe9)) << ""
            << '"' + QString(10, QChar(0xe9)) + "...\"";
        QTest::newRow("misspelt command") << "Run --sizes 8 --samples 10 --output out"
                                          << ""
                                          << "\"Run\" is not a command";
        QTest::newRow("over an unfinished run") << run << "out.json={\"complete\":false}"
                                                << "percolation-stats resume out runs the rest";
        QTest::newRow("fractional threads") << run + "--threads 1.5"
                                            << ""
                                            << "--threads";
        for (const char* count :
             {"100@1", "100@", "@64", "0@64", "100@64@64", "1@065", "18446744073709551615@9"})
            QTest::addRow("samples %s", count)
                << QString("run --sizes 8 --samples %1 --output out").arg(count) << ""
                << "--samples";
        QTest::newRow("negative samples") << "run --sizes 8 --samples -1 --output out"
                                          << ""
                                          << "--samples";
        QTest::newRow("100000 threads") << run + "--threads 100000"
                                        << ""
                                        << "1024";
        QTest::newRow("infinite p-step") << run + "--p-step inf"
                                         << ""
                                         << "--p-step";
        QTest::newRow("p-max overflowing") << run + "--p-max 1e400"
                                           << ""
                                           << "--p-max";
        QTest::newRow("sample numbers overflowing") << run + "--first-sample 18446744073709551615"
                                                    << ""
                                                    << "--first-sample";
        QTest::newRow("L too large for the events") << bad.arg("46341") << ""
                                                    << "46340";
        QTest::newRow("size twice") << bad.arg("8,8") << ""
                                    << "twice";
        QTest::newRow("p above 1") << run + "--p-max 1.01"
                                   << ""
                                   << "--p-max";
        QTest::newRow("p-min above p-max") << run + "--p-min 0.7 --p-max 0.6"
                                           << ""
                                           << "--p-min";
        // Lattices and models: names as written, each option once, sizes each lattice takes.
        QTest::newRow("unknown lattice") << run + "--lattice hex"
                                         << ""
                                         << "square, triangular, honeycomb, cubic";
        QTest::newRow("lattice in capitals") << run + "--lattice Square"
                                             << ""
                                             << "--lattice";
        QTest::newRow("empty lattice") << run + "--lattice="
                                       << ""
                                       << "--lattice";
        QTest::newRow("unknown model") << run + "--model foo"
                                       << ""
                                       << "site, bond";
        QTest::newRow("model given twice") << run + "--model site --model bond"
                                           << ""
                                           << "--model is given more than once";
        QTest::newRow("output given twice") << run + "--output other"
                                            << ""
                                            << "--output is given more than once";
        QTest::newRow("honeycomb torus of odd L")
            << "run --sizes 8,9 --samples 10 --lattice honeycomb --boundary torus --output out"
            << ""
            << "even L";
        QTest::newRow("cube too large to number its sites")
            << "run --sizes 1100 --samples 10 --lattice cubic --output out"
            << ""
            << "1024";
        QTest::newRow("cube beyond memory")
            << "run --sizes 800 --samples 10 --lattice cubic --model bond --output out"
            << ""
            << "GB";
        QTest::newRow("merge: another model") << "merge r b --output m"
                                              << "result r; result b"
                                              << "cannot be merged";
        QTest::newRow("resume: an unknown lattice")
            << "resume r"
            << "result r; r.json={\"boundary\":\"open\",\"seed\":1,\"lattice\":\"hex\","
               "\"request\":{\"sizes\":[8],\"first_sample\":0,\"samples\":5},"
               "\"p_grid\":{\"min\":0,\"max\":1,\"step\":0.5}}"
            << "\"lattice\" is not one of";
        QTest::newRow("unknown boundary") << run + "--boundary helix"
                                          << ""
                                          << "--boundary";
        // Memory, estimated before any sample.
        QTest::newRow("events beyond memory")
            << "run --sizes 2 --samples 1000000000000 --output out"
            << ""
            << "GB";
        QTest::newRow("sums beyond memory") << bad.arg("40000") << ""
                                            << "GB";
        // Output prefixes.
        QTest::newRow("no such folder") << "run --sizes 8 --samples 10 --output none/out"
                                        << ""
                                        << "no folder";
        QTest::newRow("existing output") << run << "out.json={}"
                                         << "--force";
        QTest::newRow("totals a folder") << run + "--force"
                                         << "out.totals/"
                                         << "folder";
        QTest::newRow("prefix too long for its temporaries")
            << "run --sizes 8 --samples 10 --output " + QString(246, 'x') << ""
            << "too long";
        QTest::newRow("a rank's checkpoint left") << run << "out.rank1.totals={}"
                                                  << "resume";
        // JSON read defensively, and accumulator files checked.
        const QString merge = "merge r --output m";
        QTest::newRow("merge: missing input") << "merge nothing --output m"
                                              << ""
                                              << "nothing";
        QTest::newRow("merge: existing output") << "merge r --output r"
                                                << "result r"
                                                << "--force";
        QTest::newRow("merge: input a folder") << merge << "r.totals/"
                                               << "regular";
        for (const char* broken :
             {"[]", "5", "{\"p_grid\":5}", "{\"p_grid\":{\"min\":0,\"max\":1,\"step\":null}}",
              "{\"p_grid\":{\"min\":\"0\",\"max\":1,\"step\":0.1}}", "{"})
            QTest::addRow("merge: JSON %s", broken)
                << merge << QString("result r; r.json=%1").arg(broken) << "r.json";
        QTest::newRow("merge: JSON a folder") << merge << "result r; r.json/"
                                              << "r.json";
        QTest::newRow("plot: missing input") << "plot nothing --output p.png"
                                             << ""
                                             << "nothing";
        QTest::newRow("plot: unknown extension") << "plot r --output p.jpg"
                                                 << "result r"
                                                 << ".jpg";
        QTest::newRow("plot: over the accumulator") << "plot r --output r.totals --force"
                                                    << "result r"
                                                    << ".totals";
        QTest::newRow("plot: huge picture") << "plot r --output p.png --width 10000"
                                            << "result r"
                                            << "--width";
        QTest::newRow("plot: a chart twice") << "plot r --output p.png --observables chi,chi"
                                             << "result r"
                                             << "chi is given twice";
        const QString header = contents(results.filePath("r.csv")).split('\n').first();
        QTest::newRow("plot: a CSV of its header only") << "plot r --output p.png"
                                                        << "result r; r.csv=" + header + "\n"
                                                        << "no rows";
        QTest::newRow("plot: no p in range")
            << "plot r --output p.png --p-min 0.3001 --p-max 0.3009"
            << "result r"
            << "from 0.3001 to 0.3009";
        QTest::newRow("plot: unknown chart") << "plot r --output p.png --observables chi,,span"
                                             << "result r"
                                             << "--observables";
        for (const char* broken :
             {"[]", "{\"boundary\":5}", "{\"pc\":{\"combined\":{\"estimate\":\"0.59\"}}}"})
            QTest::addRow("plot: JSON %s", broken)
                << "plot r --output p.png" << QString("result r; r.json=%1").arg(broken)
                << "r.json";
        // Snapshots: p strictly inside (0, 1), each once; scaling needs four sizes with them.
        for (const char* list : {"0.5,1", "0", "0.5,,0.6", "Pc", "0.5,nan", "pc,0.59274605079"})
            QTest::addRow("--ns-at %s", list) << run + "--ns-at " + list << ""
                                              << "--ns-at";
        QTest::newRow("ns: no snapshots") << "ns plain"
                                          << "result plain"
                                          << "--ns-at";
        QTest::newRow("ns: missing input") << "ns nothing"
                                           << ""
                                           << "nothing.totals";
        QTest::newRow("scaling: two sizes") << "scaling r"
                                            << "result r"
                                            << "at least 4";
        QTest::newRow("scaling: no snapshots") << "scaling plain"
                                               << "result plain"
                                               << "--ns-at pc";
        QTest::newRow("scaling: missing input") << "scaling nothing.totals"
                                                << ""
                                                << "nothing.totals";
        QTest::newRow("scaling: output a folder") << "scaling plain"
                                                  << "result plain; plain-scaling.json/"
                                                  << "folder";
        QTest::newRow("scaling: omega zero") << "scaling plain --omega 0"
                                             << "result plain"
                                             << "--omega";
        QTest::newRow("resume: snapshots out of (0, 1)")
            << "resume r"
            << "result r; r.json={\"boundary\":\"open\",\"seed\":1,"
               "\"request\":{\"sizes\":[8],\"first_sample\":0,\"samples\":5,\"ns_at\":[1.5]},"
               "\"p_grid\":{\"min\":0,\"max\":1,\"step\":0.5}}"
            << "--ns-at";
        QTest::newRow("resume: nothing there") << "resume nothing"
                                               << ""
                                               << "nothing.json";
        // universality: every option once, in range; the sizes fit every lattice chosen.
        const QString universality = "universality --output u ";
        const std::pair<const char*, const char*> refusals[] = {
            {"--sizes 32,64,128", "--sizes: finite-size scaling needs at least 4"},
            {"--sizes 32,64,64,128", "--sizes: 64 is given twice"},
            {"--cubic-sizes 8,16,32", "--cubic-sizes"},
            {"--sizes 16,33,64,128 --lattices honeycomb", "--sizes"},
            {"--cubic-sizes 8,16,32,2000", "--cubic-sizes"},
            {"--sizes 8,16,0,32", "--sizes"},
            {"--samples 31", "from 32 to 1000000000"},
            {"--samples 2000000000", "--samples"},
            {"--samples 100 --samples 200", "--samples is given more than once"},
            {"--lattices square,hexagonal", "--lattices: \"hexagonal\" is not one of"},
            {"--lattices square,square", "--lattices: square is given twice"},
            {"--lattices square,", "--lattices"},
            {"--models", "--models"},
            {"--models site --models bond", "--models is given more than once"},
            {"--boundary klein", "--boundary"},
            {"--threads 0", "--threads"},
            {"--seed -3", "--seed"},
            {"--output v", "--output is given more than once"},
            {"--force --force", "--force"},
        };
        for (const auto& [options, because] : refusals)
            QTest::newRow(qPrintable("universality " + QString(options)))
                << universality + options << "" << because;
        QTest::newRow("universality: no output") << "universality"
                                                 << ""
                                                 << "--output";
        QTest::newRow("universality: a table there") << universality << "u.md="
                                                     << "u.md exists";
        QTest::newRow("universality: a pair's totals without its JSON")
            << universality + "--lattices square --models site --sizes 8,12,16,24 --samples 32"
            << "u-square-site.totals="
            << "u-square-site.totals exists";
        QTest::newRow("universality: a folder for its JSON") << universality + "--force"
                                                             << "u.json/"
                                                             << "u.json: it is a folder";
        QTest::newRow("resume: a merged result") << "resume r"
                                                 << "result r; r.json={}"
                                                 << "no run";
        QTest::newRow("resume: an unusable request")
            << "resume r"
            << "result r; r.json={\"boundary\":\"open\",\"seed\":1,"
               "\"request\":{\"sizes\":[1],\"first_sample\":0,\"samples\":5},"
               "\"p_grid\":{\"min\":0,\"max\":1,\"step\":0.5}}"
            << "r.json";
    }

    // One line on stderr, exit status 1 (never a crash), and every file as it was.
    void badInputIsRefused()
    {
        QFETCH(QString, command);
        QFETCH(QString, setup);
        QFETCH(QString, because);
        for (const QString& item : setup.split("; ", Qt::SkipEmptyParts)) {
            if (item.startsWith("result "))
                copyResult(item.mid(7));
            else if (item.endsWith('/') && QFile::exists(path(item.chopped(1))))
                QVERIFY(QFile::remove(path(item.chopped(1))) &&
                        QDir(dir->path()).mkdir(item.chopped(1)));
            else if (item.endsWith('/'))
                QVERIFY(QDir(dir->path()).mkdir(item.chopped(1)));
            else
                put(path(item.section('=', 0, 0)), item.section('=', 1).toUtf8());
        }
        const auto before = snapshot();
        QCOMPARE(finish(start(command)), 1);
        QVERIFY2(errors.size() == 1 && errors[0].contains(because), qPrintable(errors.join('\n')));
        QVERIFY(errors[0].size() < 240);
        QCOMPARE(snapshot(), before);
    }

    // A small table of one pair: the Markdown printed is the file's, one row, and the JSON holds
    // every cell of it with the same estimates; two MPI ranks write the same table.
    void universalityTable()
    {
        const QString command = "universality --lattices square --models site --sizes 8,12,16,24 "
                                "--samples 64 --seed 3 --output ";
        QProcess* process = start(command + "u --threads 2");
        QCOMPARE(finish(process), 0);
        const QByteArray printed = process->readAllStandardOutput();
        QCOMPARE(printed, contents(path("u.md")));
#ifdef MPIEXEC
        QCOMPARE(finish(start("mpirun 2 " + command + "v --threads 1")), 0);
        QCOMPARE(contents(path("v.md")), printed);
#endif
        const QStringList lines = QString::fromUtf8(printed).split('\n');
        QVERIFY(lines[0].startsWith("| lattice | model | boundary | sizes | pc | 1/ν"));
        QVERIFY(lines[2].startsWith("| square | site | torus | 8, 12, 16, 24 | "));
        QVERIFY(lines[3].isEmpty());
        QVERIFY(errors.join(' ').contains("square site done (1 of 1)"));
        const QJsonObject table = json(path("u.json"))["table"].toObject();
        const QJsonArray rows = table["rows"].toArray();
        QCOMPARE(rows.size(), 1);
        const QJsonObject row = rows[0].toObject();
        QCOMPARE(row["samples"].toArray(), QJsonArray({192, 128, 96, 64}));
        // τ needs clusters far larger than these sizes hold, and says so.
        const QJsonObject cells = row["cells"].toObject();
        QCOMPARE(cells.keys().size(), 6);
        QVERIFY(cells["tau"].toObject()["estimate"].isNull());
        QVERIFY(lines.contains("- square site: n_s: fewer than 3 bins in the scaling range"));
        for (const char* name : {"pc", "1/nu", "beta/nu", "gamma/nu", "D"}) {
            const QJsonObject cell = cells[QString::fromLatin1(name)].toObject();
            QVERIFY2(std::abs(cell["sigmas"].toDouble()) < 3 && cell["error"].toDouble() > 0,
                     name);
            QVERIFY(lines[2].contains(QString::number(cell["known"].toDouble(), 'g', 7)));
        }
    }

    void versionIsPrinted_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("option");
        QTest::newRow("--version") << "percolation-stats"
                                   << "--version";
        QTest::newRow("-V") << "percolation-stats"
                            << "-V";
        QTest::newRow("the plot's helper") << "percolation-stats-plot"
                                           << "--version";
    }

    // One line, the program's name and the project's version, and exit status 0; to a full
    // disk, exit status 1 and a line that says so.
    void versionIsPrinted()
    {
        QFETCH(QString, program);
        QFETCH(QString, option);
        QProcess process;
        process.start(QFileInfo(PERCOLATION_STATS).dir().filePath(program), {option});
        QVERIFY(process.waitForFinished(60'000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAllStandardOutput(),
                 (program + " " PERCOLATION_VERSION "\n").toUtf8());
        QCOMPARE(process.readAllStandardError(), QByteArray());
        process.setStandardOutputFile("/dev/full");
        process.start(QFileInfo(PERCOLATION_STATS).dir().filePath(program), {option});
        QVERIFY(process.waitForFinished(60'000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(process.readAllStandardError().startsWith(
            "percolation-stats: cannot write the standard output"));
    }

    // What is already under the prefix before the same command runs again: commands, "remove
    // PREFIX" (a pair's files) or "partial PREFIX" (its JSON asks for 64@24, as an interrupted
    // run would have); and the refusal, if any, that --force overrides.
    void universalityContinues_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("refusal");
        const QString bond = "run --lattice square --model bond --boundary torus --seed 3 ";
        QTest::newRow("a table, a pair missing, a pair partial")
            << QStringList{twoPairs + "c", "remove c-square-site",
                           bond + "--sizes 8,12,16,24 --samples 32@24 --output c-square-bond "
                                  "--force",
                           "partial c-square-bond"}
            << "";
        QTest::newRow("a pair of another seed")
            << QStringList{QString(twoPairs).replace("--seed 3", "--seed 4") + "c"}
            << "c-square-site.json was made with --seed 4, not 3";
        QTest::newRow("a pair of other sizes")
            << QStringList{bond + "--sizes 8,12,16,32 --samples 64@32 --output c-square-bond"}
            << "c-square-bond.json was made with --sizes 8,12,16,32, not 8,12,16,24";
    }

    // Goes on from whatever a stop left, and ends with the bytes of one uninterrupted start.
    void universalityContinues()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, refusal);
        runAll({twoPairs + "u"});
        for (const QString& step : before) {
            const QString name = step.section(' ', 1);
            if (step.startsWith("remove "))
                for (const char* suffix : {".csv", ".json", ".totals"})
                    QVERIFY(QFile::remove(path(name + suffix)));
            else if (step.startsWith("partial ")) {
                QJsonObject result = json(path(name + ".json"));
                QJsonObject request = result["request"].toObject();
                request["samples"] = 64;
                result["request"] = request;
                put(path(name + ".json"), QJsonDocument(result).toJson());
            } else
                runAll({step});
        }
        if (!refusal.isEmpty()) {
            const auto files = snapshot();
            QCOMPARE(finish(start(twoPairs + "c")), 1);
            QVERIFY2(errors.size() == 1 && errors[0].contains(refusal),
                     qPrintable(errors.join('\n')));
            QCOMPARE(snapshot(), files);
        }
        runAll({twoPairs + "c" + (refusal.isEmpty() ? "" : " --force")});
        QCOMPARE(contents(path("c.md")), contents(path("u.md")));
        QJsonObject table = json(path("u.json"));
        table.remove("timing");
        QCOMPARE(withoutTiming("c.json"), table);
        for (const char* pair : {"-square-site", "-square-bond"})
            QCOMPARE(contents(path(QString("c") + pair + ".totals")),
                     contents(path(QString("u") + pair + ".totals")));
    }

    void numbersAreReadStrictly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("whole");   // or decimal
        QTest::addColumn<double>("value"); // NaN: refused
        const double no = std::nan("");
        for (const char* refused : {"", " 5", "5 ", "+5", "-5", "05", "00", "5.0", "1e3", "0x5",
                                    "٥", "18446744073709551616"})
            QTest::addRow("whole \"%s\"", refused) << refused << true << no;
        QTest::newRow("whole 0") << "0" << true << 0.0;
        QTest::newRow("whole 2^64 - 1")
            << "18446744073709551615" << true << 18446744073709551615.0;
        for (const char* refused : {"", ".", "-", "e5", "1e", "1.5.", "inf", "nan", "0x1p-3",
                                    "00.5", "+0.5", "0,5", "1e-400", "2"})
            QTest::addRow("decimal \"%s\"", refused) << refused << false << no;
        QTest::newRow("decimal .5") << ".5" << false << 0.5;
        QTest::newRow("decimal 5e-1") << "5e-1" << false << 0.5;
        QTest::newRow("decimal 0.593") << "0.593" << false << 0.593;
        QTest::newRow("decimal -0") << "-0" << false << 0.0;
    }

    // In whole numbers from 0 to 2^64 − 1, or decimals from 0 to 1.
    void numbersAreReadStrictly()
    {
        QFETCH(QString, text);
        QFETCH(bool, whole);
        QFETCH(double, value);
        std::uint64_t wholeValue = 7;
        double decimalValue = 7;
        const std::string reason =
            whole ? cli::readWhole("--n", text.toStdString(), {}, wholeValue)
                  : cli::readDecimal("--x", text.toStdString(), {0, 1}, decimalValue);
        const double read = whole ? double(wholeValue) : decimalValue;
        if (std::isnan(value)) {
            QVERIFY(reason.starts_with(whole ? "--n: " : "--x: ") && read == 7);
        } else {
            QVERIFY2(reason.empty(), reason.c_str());
            QCOMPARE(read, value);
            QVERIFY(!std::signbit(read));
        }
    }

    // Interrupted by SIGINT, then killed while resuming, each at a random moment (after a random
    // number of checkpoints, each observed as a new PREFIX.totals), then resumed to the end:
    // the same CSV and totals as one run, and the same JSON but for the timing.
    void interruptedAndKilledRunsResume_data()
    {
        QTest::addColumn<QString>("launcher");
        QTest::addColumn<quint32>("seed"); // of the moments chosen
        QTest::newRow("threads") << "" << 1u;
#ifdef MPIEXEC
        QTest::newRow("MPI ranks") << "mpirun 2 " << 3u;
#endif
    }

    void interruptedAndKilledRunsResume()
    {
        QFETCH(QString, launcher);
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const QString fast = " --checkpoint 0.0005";
        const QStringList steps = {launcher + resumable + "--output cut" + fast,
                                   launcher + "resume cut --threads 2" + fast};
        for (int step = 0; step < steps.size(); ++step) {
            QProcess* process = start(steps[step]);
            const qint64 before = inode("cut.totals");
            const int checkpoints = random.bounded(1, 4);
            int seen = 0;
            qint64 last = before;
            waitUntil(
                [&] {
                    const qint64 now = inode("cut.totals");
                    seen += now != last && now >= 0;
                    last = now;
                    return seen >= checkpoints;
                },
                process);
            const int status = step == 0 ? SIGINT : SIGKILL;
            signal(process, status);
            const int exit = finish(process);
            if (step == 0 && launcher.isEmpty() && exit != 0) {
                QCOMPARE(exit, 128 + SIGINT);
                QVERIFY2(errors.join(' ').contains("resume cut"), qPrintable(errors.join(' ')));
            }
        }
        runAll({"resume cut"}); // without MPI, whatever the run had
        const QString whole = results.filePath("whole");
        QCOMPARE(contents(path("cut.csv")), contents(whole + ".csv"));
        QCOMPARE(contents(path("cut.totals")), contents(whole + ".totals"));
        QJsonObject expected = json(whole + ".json");
        expected.remove("timing");
        QCOMPARE(withoutTiming("cut.json"), expected);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), 3); // no temporary, no lock
        const QByteArray finished = contents(path("cut.json"));       // with the resume's timing
        runAll({"resume cut"});
        QVERIFY2(errors.join(' ').contains("nothing to resume"), qPrintable(errors.join(' ')));
        QCOMPARE(contents(path("cut.json")), finished);
    }

    // Signals once every sample is done, while the result is written: exit 0 and no
    // "interrupted", every sample kept and no temporary left.
    void signalsWhileWritingLoseNothing()
    {
        QProcess* process = start("run --sizes 48 --samples 40 --checkpoint 0 --p-step 0.00005 "
                                  "--output w");
        if (!waitUntil([&] { return QFile::exists(path("w.csv.tmp")); }, process))
            QSKIP("the result was written before the test could see it");
        for (int number : {SIGINT, SIGINT, SIGHUP, SIGTERM})
            signal(process, number);
        QCOMPARE(finish(process), 0);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(' ')));
        QVERIFY(json(path("w.json"))["complete"].toBool());
        QCOMPARE(json(path("w.json"))["sizes"][0]["samples"].toInt(), 40);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), 3);
    }

    void outputIsCheckedAgainAtTheEnd_data()
    {
        QTest::addColumn<QString>("during"); // what happens while the run goes
        QTest::addColumn<QString>("because");
        QTest::newRow("a folder made at the totals") << "mkdir"
                                                     << "saved in";
        QTest::newRow("a second run on the prefix") << "run"
                                                    << "another live process";
    }

    // What scaling and ns made of the replaced samples goes with them.
    void forceTakesTheDerivedFilesAway()
    {
        runAll({"run --sizes 8 --samples 10 --output a"});
        put(path("a-scaling.json"), "{}");
        put(path("a-ns.csv"), "p,L\n");
        runAll({"run --sizes 8 --samples 20 --output a --force"});
        QVERIFY(!QFile::exists(path("a-scaling.json")) && !QFile::exists(path("a-ns.csv")));
    }

    void outputIsCheckedAgainAtTheEnd()
    {
        QFETCH(QString, during);
        QFETCH(QString, because);
        const QString run = "run --sizes 16 --samples 10000000 --checkpoint 0 --output a";
        QProcess* first = start(run);
        QVERIFY(waitUntil([&] { return QFile::exists(path("a.json")); }, first));
        if (during == "mkdir") {
            QVERIFY(QDir(dir->path()).mkdir("a.totals"));
        } else {
            QCOMPARE(finish(start("run --sizes 8 --samples 10 --output a --force")), 1);
            QVERIFY(errors.size() == 1 && errors[0].contains(because));
        }
        signal(first, SIGINT);
        const int exit = finish(first);
        if (during == "run") {
            QCOMPARE(exit, 128 + SIGINT); // and the first run's result is its own
            QCOMPARE(json(path("a.json"))["timing"].toObject()["interrupted_by"],
                     QJsonValue("SIGINT"));
            return;
        }
        QCOMPARE(exit, 1);
        QVERIFY2(errors.join(' ').contains(because), qPrintable(errors.join(' ')));
        QVERIFY(!QFile::exists(path("a.csv")));
        const QString saved = QDir(dir->path()).entryList({"a.rescued-*.totals"}).value(0);
        QVERIFY(!saved.isEmpty());
        runAll({"merge " + saved + " --output m --p-step 0.1"});
    }

    void plotsWithoutDisplay_data()
    {
        QTest::addColumn<QString>("run");
        QTest::addColumn<QString>("plot");
        QTest::addColumn<QSize>("pixels"); // of a PNG, at twice the size of its charts
        const QString run = "run --sizes 8,16 --samples 50 --boundary torus --output r";
        QTest::newRow("PNG, one chart")
            << run << "c.png --observables chi --width 300 --height 200" << QSize(600, 400);
        QTest::newRow("SVG, the estimate marked")
            << run << "c.svg --p-min 0.5 --p-max 0.7" << QSize();
        QTest::newRow("one sample, no errors")
            << "run --sizes 8 --samples 1 --p-min 0.59 --p-max 0.6 --p-step 0.001 --output r"
            << "c.png --observables p-inf" << QSize(2 * 560, 2 * 420);
        QTest::newRow("SVG of the cube, its known pc marked")
            << "run --sizes 4,8 --samples 50 --lattice cubic --output r"
            << "c.svg --observables spanning" << QSize();
    }

    void plotsWithoutDisplay()
    {
        QFETCH(QString, run);
        QFETCH(QString, plot);
        QFETCH(QSize, pixels);
        runAll({run, "plot r --output " + plot});
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n'))); // success is silent
        const QByteArray svg = contents(path("c.svg"));
        if (pixels.isValid())
            QCOMPARE(QImage(path("c.png")).size(), pixels);
        else if (run.contains("cubic"))
            QVERIFY(svg.contains("L = 8") && svg.contains("pc 0.311608") &&
                    svg.contains("mean of the three directions") &&
                    svg.contains("crossing-intersection 0."));
        else
            QVERIFY(svg.startsWith("<?xml") && svg.contains("L = 16") &&
                    svg.contains("pc 0.592746") && svg.contains("wrap-mean 0.") &&
                    svg.contains(" ± "));
        // The grid's values as typed, and with one sample the values without errors.
        const QList<QByteArray> rows = contents(path("r.csv")).split('\n');
        QVERIFY(rows.size() > 2);
        if (run.contains("--samples 1 "))
            QVERIFY(rows[4].startsWith("0.593,8,open,1,1,") && rows[4].endsWith(",,square,site"));
    }

    void thresholdEstimateIsRecorded_data()
    {
        QTest::addColumn<QString>("run");
        QTest::addColumn<QString>("estimator");
        QTest::addColumn<QString>("target"); // how well R at pc is known
        QTest::newRow("square site torus") << "--sizes 32 --boundary torus"
                                           << "wrap-mean"
                                           << "known";
        QTest::newRow("triangular site rhombus") << "--sizes 12,24 --lattice triangular"
                                                 << "crossing"
                                                 << "exact";
        QTest::newRow("cubic bond open") << "--sizes 4,8,16 --lattice cubic --model bond"
                                         << "crossing-intersection"
                                         << "estimated";
    }

    // The JSON names the estimator and how well its target is known, gives the known threshold,
    // and the estimate is within 3 of its errors of it (fixed seeds; the finite-size shifts here
    // are far below the errors).
    void thresholdEstimateIsRecorded()
    {
        QFETCH(QString, run);
        QFETCH(QString, estimator);
        QFETCH(QString, target);
        runAll({"run " + run + " --samples 3000 --seed 7 --p-step 0.01 --output t"});
        const QJsonObject pc = json(path("t.json"))["pc"].toObject();
        const QJsonObject combined = pc["combined"].toObject();
        QCOMPARE(combined["estimator"].toString(), estimator);
        QCOMPARE(combined["target_is"].toString(), target);
        QCOMPARE(combined.contains("target"), target != "estimated");
        const double estimate = combined["estimate"].toDouble();
        const double error = combined["error"].toDouble();
        const double known = pc["known"].toDouble();
        const QString text =
            QStringLiteral("%1 ± %2, known %3").arg(estimate).arg(error).arg(known);
        QVERIFY2(error > 1e-5 && error < 2e-3, qPrintable(text));
        QVERIFY2(std::abs(estimate - known) < 3 * error, qPrintable(text));
        QCOMPARE(combined["sigmas_from_known"].toDouble(), (estimate - known) / error);
    }

    // n_s per site: at p = 0.1 on the square lattice a site is alone with probability
    // p(1 − p)^4 and one of a pair with 2p²(1 − p)^6 times 2, within 5 of the stated errors; every
    // p asked for has its rows.
    void clusterSizesAreWritten()
    {
        runAll(
            {"run --sizes 32 --boundary torus --samples 4000 --ns-at pc,0.1 --output n", "ns n"});
        const QList<QByteArray> lines = contents(path("n-ns.csv")).trimmed().split('\n');
        QCOMPARE(lines.front(), QByteArray("p,L,samples,s_first,s_last,s,n_s,n_s_error"));
        QMap<QString, int> rows;
        const double p = 0.1, q = 1 - p;
        const std::map<int, double> exact = {{1, p * std::pow(q, 4)},
                                             {2, 2 * p * p * std::pow(q, 6)}};
        for (const QByteArray& line : lines.mid(1)) {
            const QList<QByteArray> cells = line.split(',');
            rows[cells[0]] += 1;
            const int s = cells[3].toInt();
            if (cells[0] == "0.1" && exact.count(s)) {
                const double error = cells[7].toDouble();
                QVERIFY2(error > 0 && std::abs(cells[6].toDouble() - exact.at(s)) < 5 * error,
                         line.constData());
            }
        }
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.value("0.1"), rows.value("0.59274605079"));
    }

    // Samples in proportion to 1/L, rounded up. Four sizes recorded by default at pc give every
    // exponent with an error, and one preferred estimate each; a second scaling of the same
    // result needs --force.
    void scalingWritesEveryExponent()
    {
        runAll({"run --sizes 64,96,128,200 --boundary torus --samples 150@128 --output s",
                "scaling s"});
        QList<int> counts;
        for (const QJsonValue size : json(path("s.json"))["sizes"].toArray())
            counts.push_back(size.toObject()["samples"].toInt());
        QCOMPARE(counts, (QList<int>{300, 200, 150, 96}));
        QMap<QString, int> preferred;
        for (const QJsonValue e : json(path("s-scaling.json"))["estimates"].toArray()) {
            const QJsonObject estimate = e.toObject();
            const double error = estimate["error"].toDouble();
            QVERIFY2(error > 0 && error < 0.5, qPrintable(estimate["observable"].toString()));
            const bool chosen = estimate["preferred"].toBool();
            QVERIFY(!chosen || estimate["points"].toArray().size() >= 4);
            preferred[estimate["exponent"].toString()] += chosen;
        }
        for (const char* exponent : {"1/nu", "gamma/nu", "beta/nu", "D", "tau"})
            QCOMPARE(preferred.value(exponent), 1);
        const QByteArray first = contents(path("s-scaling.json"));
        QCOMPARE(finish(start("scaling s")), 1);
        // A picture of another format is refused before the JSON is replaced.
        QCOMPARE(finish(start("scaling s --force --omega 1 --plot s.jpg")), 1);
        QVERIFY(errors.size() == 1 && errors[0].contains(".jpg"));
        QCOMPARE(contents(path("s-scaling.json")), first);
        runAll({"scaling s.totals --force --omega 1 --plot s.svg"});
        QVERIFY(contents(path("s-scaling.json")) != first);
        QCOMPARE(contents(path("s.svg")).count("<svg"), 1);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
