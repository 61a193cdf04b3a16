// The lattice view's tooltip, saved and copied picture, menu and keys, at a device pixel ratio
// of 2. None of them may move the generator.

#include "app/interface.h"
#include "model/clusters.h"
#include "model/random.h"
#include "view/clustertooltip.h"
#include "view/percolation.h"
#include "view/picturefile.h"
#include "view/savedialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <algorithm>
#include <memory>

// The tooltip of the site marked '@' (occupied) or 'o' (empty) in a lattice laid as rows
// separated by '/', '#' occupied, with the largest cluster as the model finds it.
static QString tooltipOf(QString rows, bool isolated)
{
    const int L = int(rows.indexOf(u'/'));
    rows.remove(u'/');
    const int s = int(rows.indexOf(QRegularExpression(QStringLiteral("[@o]")))) + 1;
    std::vector<int> site{0}, occupied{0}, largest(std::size_t(rows.size() + 1));
    for (const QChar c : std::as_const(rows)) {
        site.push_back(c == u'#' || c == u'@');
        if (site.back() != 0)
            occupied.push_back(int(site.size()) - 1);
    }
    const int n = model::findLargestCluster(site.data(), occupied.data(), largest.data(),
                                            int(occupied.size()) - 1, L);
    model::ClusterQuery query;
    const model::SiteCluster& cluster = query.clusterOf(site.data(), L, s, largest.data(), n);
    return cluster_tooltip::text((s - 1) / L, (s - 1) % L, cluster, isolated);
}

class LatticeToolsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Interface> window;
    Percolation* lattice = nullptr;
    std::int32_t generator = 0;
    const QImage& shown() { return lattice->composePicture(); }

private slots:
    void init()
    {
        model::rngState = 1;
        window = std::make_unique<Interface>();
        lattice = window->findChild<Percolation*>(QStringLiteral("percolation"));
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        generator = model::rngState;
    }
    void cleanup()
    {
        window.reset();
        QCOMPARE(model::rngState, generator);
    }

    // The 5 × 5 lattice holds clusters of 2, 3 and 1 sites.
    void tooltipText_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<bool>("isolated");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "##.../..o../..###/...../#...." << false
                               << "Row 2, column 3: empty";
        QTest::newRow("largest") << "##.../...../..#@#/...../#...." << true
                                 << "Row 3, column 4: occupied\nCluster of 3 sites (the largest)";
        QTest::newRow("hidden") << "#@.../...../..###/...../#...." << true
                                << "Row 1, column 2: occupied\nCluster of 2 sites\n"
                                   "Not shown while the largest cluster is isolated";
        QTest::newRow("tie") << "##./.../.#@" << false
                             << "Row 3, column 3: occupied\n"
                                "Cluster of 2 sites (as large as the largest)";
        QTest::newRow("no wrap-around")
            << "..@/#../..." << false
            << "Row 1, column 3: occupied\nCluster of 1 site (the largest)";
        QTest::newRow("top to bottom") << "##.#/.#.#/.#../@#.#" << false
                                       << "Row 4, column 1: occupied\n"
                                          "Cluster of 6 sites (the largest)\nSpans top to bottom";
        QTest::newRow("left to right") << "#.../####/..../#@##" << false
                                       << "Row 4, column 2: occupied\n"
                                          "Cluster of 4 sites\nSpans left to right";
        QTest::newRow("both") << ".#./#@#/.#." << false
                              << "Row 2, column 2: occupied\nCluster of 5 sites (the largest)\n"
                                 "Spans top to bottom and left to right";
    }
    void tooltipText()
    {
        QFETCH(QString, rows);
        QFETCH(bool, isolated);
        QTEST(tooltipOf(rows, isolated), "text");
    }

    // The answer is kept within the cluster found last and over empty sites (sites cleared
    // behind its back show whether it searched again); another cluster or forget() searches.
    void clusterKeptUntilForgotten()
    {
        std::vector<int> site{0, 1, 1, 1, 0, 0, 0, 1, 1, 1};
        model::ClusterQuery query;
        auto size = [&](int s) { return query.clusterOf(site.data(), 3, s, nullptr, 0).size; };
        const QList<int> sizes{size(1), (site[2] = 0, size(5)), size(3),
                               size(7), (site[8] = 0, size(9)), (query.forget(), size(9)),
                               size(3)};
        QCOMPARE(sizes, (QList<int>{3, 0, 3, 3, 3, 1, 1}));
    }

    // The real tooltip at L = 150, at the far corner of a site's 4 × 4 block in logical
    // coordinates, agrees with the lists of occupied and largest-cluster sites: on the first
    // realisation's first site of the largest cluster and first empty site, then on the next.
    void tooltipOnTheView()
    {
        lattice->startL150();
        const int* occupied = lattice->occupiedList();
        const int* largest = lattice->largestList();
        int empty = 1;
        while (occupied[empty] == empty)
            ++empty;
        for (const int s : {largest[1], empty, -1, largest[1], empty}) {
            if (s < 0) {
                lattice->startNew();
                continue;
            }
            generator = model::rngState;
            const QPoint at(4 * ((s - 1) % 150) + 3, 4 * ((s - 1) / 150) + 3);
            QHelpEvent help(QEvent::ToolTip, at, lattice->mapToGlobal(at));
            QApplication::sendEvent(lattice, &help);
            const bool isOccupied =
                std::binary_search(occupied + 1, occupied + 1 + lattice->occupiedCount(), s);
            const int* end = largest + 1 + lattice->largestClusterSize();
            const QString text = QToolTip::text();
            QCOMPARE(text.section(u'\n', 0, 0), QStringLiteral("Row %1, column %2: %3")
                                                    .arg(at.y() / 4 + 1)
                                                    .arg(at.x() / 4 + 1)
                                                    .arg(isOccupied ? "occupied" : "empty"));
            const bool inLargest = std::find(largest + 1, end, s) != end;
            QCOMPARE(text.contains(QStringLiteral("(the largest)")), inLargest);
            QVERIFY(!inLargest ||
                    text.contains(QStringLiteral("of %1 sites").arg(end - largest - 1)));
        }
    }

    // Written in the suffix's format, PNG without one, as shown; a failure leaves nothing.
    void savedPicture_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("written");
        QTest::newRow("no suffix") << "lattice" << true;
        QTest::newRow("PPM in capitals") << "lattice.PPM" << true;
        QTest::newRow("no such folder") << "missing/lattice.png" << false;
        QTest::newRow("unknown type") << "lattice.xyz" << false;
    }
    void savedPicture()
    {
        QFETCH(QString, name);
        QFETCH(bool, written);
        lattice->startL150();
        lattice->slotIsolate(true);
        generator = model::rngState;
        QTemporaryDir folder;
        const QString path =
            save_dialog::withSuffix(folder.filePath(name), picture_file::nameFilters().first());
        const QString error = picture_file::save(shown(), path);
        QVERIFY2(error.isEmpty() == written, qPrintable(error));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files),
                 written ? QStringList{QFileInfo(path).fileName()} : QStringList{});
        QVERIFY(!written || QImage(path).convertToFormat(QImage::Format_RGB32) == shown());
    }

    // The keys of the row's name pressed twice in the named widget: the entry field keeps its
    // own keys and the Menu key, and one statistics window opens. (Ctrl+S opens a dialog.)
    void keys_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("effect");
        QTest::newRow("Ctrl+C") << "p_line_edit"
                                << "text";
        QTest::newRow("Ctrl+Shift+C") << "p_line_edit"
                                      << "picture";
        QTest::newRow("Ctrl+T") << "p_line_edit"
                                << "statistics";
        QTest::newRow("Menu") << "p_line_edit"
                              << "";
        QTest::newRow("Menu ") << "L300Button"
                               << "menu";
    }
    void keys()
    {
        QFETCH(QString, focus);
        QFETCH(QString, effect);
        const QKeySequence keys(QString::fromLatin1(QTest::currentDataTag()).trimmed());
        auto* field = window->findChild<QLineEdit*>(QStringLiteral("p_line_edit"));
        field->setText(QStringLiteral("0.6"));
        field->selectAll();
        QWidget* target = window->findChild<QWidget*>(focus);
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        for (int press = 0; press < 2; ++press) {
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window.get()));
            target->setFocus();
            const uchar* pixels = shown().constBits();
            QTest::keyClick(target, keys[0].key(), keys[0].keyboardModifiers());
            // Shared, the picture would be copied on write by the next command cycle.
            QVERIFY(clipboard->image().constBits() != pixels);
        }
        const auto statistics = window->findChildren<QDialog*>(QStringLiteral("statisticsWindow"));
        const auto* menu = lattice->findChild<QMenu*>();
        const QString seen =
            QStringList{clipboard->text() == field->text() ? "text" : "",
                        clipboard->image().convertToFormat(shown().format()) == shown() ? "picture"
                                                                                        : "",
                        statistics.size() == 1 && !statistics[0]->isModal() ? "statistics" : "",
                        menu != nullptr && menu->isVisible() ? "menu" : ""}
                .join(u' ')
                .simplified();
        QCOMPARE(seen, effect);
        QCOMPARE(field->text(), QStringLiteral("0.6"));
    }
};

QTEST_MAIN(LatticeToolsTest)
#include "tst_lattice_tools.moc"
