// A command cycle allocates nothing once the lattice widget is built: every allocation of the
// process is counted while a few hundred cycles run. AddressSanitizer owns malloc, so under it
// there is nothing to count with.

#include "view/percolation.h"

#include <QApplication>
#include <QImage>
#include <QTest>

#include <atomic>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

} // namespace

#if !defined(__SANITIZE_ADDRESS__)
// Every allocation ends up here: operator new, Qt's containers and images all call malloc.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);

void* malloc(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}
}
#endif

namespace {

// Counts the allocations made while it is alive.
class Counted
{
public:
    Counted()
    {
        allocations = 0;
        counting = true;
    }
    ~Counted() { counting = false; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;

    long count() const { return allocations.load(); }
};

} // namespace

class AllocationTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("allocations cannot be counted under AddressSanitizer");
#endif
    }

    void theCounterSeesAllocations()
    {
        Counted counted;
        auto number = std::make_unique<int>(7);
        QImage image(16, 16, QImage::Format_RGB32);
        void* block = std::malloc(64);
        QVERIFY(block != nullptr && !image.isNull() && *number == 7);
        std::free(block);
        QVERIFY2(counted.count() >= 3, qPrintable(QString::number(counted.count())));
    }

    void commandCyclesAllocateNothing()
    {
        Percolation widget;
        long largestSignals = 0;
        long sizeSignals = 0;
        long lastLargest = -1;
        long lastSize = -1;
        connect(&widget, &Percolation::largestChanged, this, [&](int size) {
            ++largestSignals;
            lastLargest = size;
        });
        connect(&widget, &Percolation::sizeChanged, this, [&](int L) {
            ++sizeSignals;
            lastSize = L;
        });
        // One cycle of every kind first, so that anything made once on first use is made.
        widget.startL150();
        widget.startL300();
        widget.startL600();
        widget.startNew();
        widget.slotIsolate(true);
        widget.slotIsolate(false);
        widget.composePicture();

        const double ps[] = {0.5, 0.5927, 0.3, 0.8, 0.0, 1.0};
        long checksum = 0;
        long allocated = 0;
        {
            Counted counted;
            for (int cycle = 0; cycle < 320; ++cycle) {
                widget.pChanged(ps[static_cast<std::size_t>(cycle / 4) % std::size(ps)]);
                switch (cycle % 4) {
                case 0:
                    widget.startNew();
                    break;
                case 1:
                    widget.startL150();
                    break;
                case 2:
                    widget.startL300();
                    break;
                default:
                    widget.startL600();
                    break;
                }
                if (cycle % 8 == 5)
                    widget.slotIsolate(cycle % 16 == 5);
                const QImage& picture = widget.composePicture();
                checksum += static_cast<long>(picture.pixel(cycle % 600, 599));
                checksum += lastLargest + lastSize;
            }
            allocated = counted.count();
        }
        QCOMPARE(allocated, 0L);
        QCOMPARE(largestSignals, 4L + 320L);
        QCOMPARE(sizeSignals, 4L + 320L);
        QCOMPARE(lastSize, 600L);
        QCOMPARE(lastLargest, static_cast<long>(widget.largestClusterSize()));
        QVERIFY(checksum != 0);
    }
};

QTEST_MAIN(AllocationTest)
#include "tst_allocation.moc"
