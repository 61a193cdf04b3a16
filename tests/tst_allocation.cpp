// A command cycle allocates nothing once the lattice widget is built. Every allocation of the
// process passes through malloc (operator new, Qt's containers and images), which is counted
// here; AddressSanitizer owns malloc, so under it the test is skipped.

#include "view/percolation.h"

#include <QImage>
#include <QTest>

#include <cstdlib>

namespace {
bool counting = false;
long allocations = 0;
} // namespace

#if !defined(__SANITIZE_ADDRESS__)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);

void* malloc(std::size_t size)
{
    allocations += counting;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size)
{
    allocations += counting;
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size)
{
    allocations += counting;
    return __libc_realloc(pointer, size);
}
}
#endif

class AllocationTest : public QObject
{
    Q_OBJECT

    template <typename Work> static long allocationsDuring(Work work)
    {
        allocations = 0;
        counting = true;
        work();
        counting = false;
        return allocations;
    }

private slots:
    void commandCyclesAllocateNothing()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("allocations cannot be counted under AddressSanitizer");
#endif
        QVERIFY(allocationsDuring([] { QImage(16, 16, QImage::Format_RGB32).fill(0); }) > 0);
        Percolation widget;
        long announced = 0;
        connect(&widget, &Percolation::largestChanged, this, [&](int) { ++announced; });
        connect(&widget, &Percolation::sizeChanged, this, [&](int) { ++announced; });
        void (Percolation::*commands[])() = {&Percolation::startNew, &Percolation::startL150,
                                             &Percolation::startL300, &Percolation::startL600};
        // Every kind of cycle once first, so that anything made on first use is made.
        for (auto command : commands)
            (widget.*command)();
        widget.composePicture();

        const double ps[] = {0.5, 0.5927, 0.3, 0.8, 0.0, 1.0};
        const long allocated = allocationsDuring([&] {
            for (int cycle = 0; cycle < 96; ++cycle) {
                widget.pChanged(ps[cycle / 4 % 6]);
                (widget.*commands[cycle % 4])();
                if (cycle % 8 == 5)
                    widget.slotIsolate(cycle % 16 == 5);
                widget.composePicture();
            }
        });
        QCOMPARE(allocated, 0L);
        QCOMPARE(announced, 2 * (4 + 96L));
        QCOMPARE(widget.systemSize(), 600);
    }
};

QTEST_MAIN(AllocationTest)
#include "tst_allocation.moc"
