// A command cycle allocates nothing once the lattice widget is built: every allocation of the
// process is counted (operator new and delete, and malloc and its relatives where no sanitizer
// owns them) while a few hundred cycles run.

#include "view/percolation.h"

#include <QApplication>
#include <QImage>
#include <QTest>

#include <atomic>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define COUNT_MALLOC 0
#else
#define COUNT_MALLOC 1
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void noteAllocation()
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

#if COUNT_MALLOC
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);

void* malloc(std::size_t size)
{
    noteAllocation();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    noteAllocation();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size)
{
    noteAllocation();
    return __libc_realloc(pointer, size);
}

void free(void* pointer)
{
    __libc_free(pointer);
}
}

namespace {
void* allocate(std::size_t size)
{
    return __libc_malloc(size == 0 ? 1 : size);
}
void* allocateAligned(std::size_t size, std::align_val_t alignment)
{
    return __libc_memalign(static_cast<std::size_t>(alignment), size == 0 ? 1 : size);
}
void release(void* pointer)
{
    __libc_free(pointer);
}
} // namespace
#else
namespace {
void* allocate(std::size_t size)
{
    return std::malloc(size == 0 ? 1 : size);
}
void* allocateAligned(std::size_t size, std::align_val_t alignment)
{
    return std::aligned_alloc(static_cast<std::size_t>(alignment),
                              (size + static_cast<std::size_t>(alignment) - 1) &
                                  ~(static_cast<std::size_t>(alignment) - 1));
}
void release(void* pointer)
{
    std::free(pointer);
}
} // namespace
#endif

void* operator new(std::size_t size)
{
    noteAllocation();
    if (void* pointer = allocate(size))
        return pointer;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    noteAllocation();
    return allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    noteAllocation();
    return allocate(size);
}

void* operator new(std::size_t size, std::align_val_t alignment)
{
    noteAllocation();
    if (void* pointer = allocateAligned(size, alignment))
        return pointer;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return operator new(size, alignment);
}

void operator delete(void* pointer) noexcept
{
    release(pointer);
}

void operator delete[](void* pointer) noexcept
{
    release(pointer);
}

void operator delete(void* pointer, std::size_t) noexcept
{
    release(pointer);
}

void operator delete[](void* pointer, std::size_t) noexcept
{
    release(pointer);
}

void operator delete(void* pointer, std::align_val_t) noexcept
{
    release(pointer);
}

void operator delete[](void* pointer, std::align_val_t) noexcept
{
    release(pointer);
}

void operator delete(void* pointer, std::size_t, std::align_val_t) noexcept
{
    release(pointer);
}

void operator delete[](void* pointer, std::size_t, std::align_val_t) noexcept
{
    release(pointer);
}

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
    void theCounterSeesAllocations()
    {
        long seen = 0;
        {
            Counted counted;
            auto* number = new int(7);
            QCOMPARE(*number, 7);
            std::unique_ptr<int> owner(number);
            QImage image(16, 16, QImage::Format_RGB32);
            QVERIFY(!image.isNull());
            seen = counted.count();
        }
        QVERIFY2(seen >= 2, qPrintable(QStringLiteral("%1 allocations seen").arg(seen)));
#if COUNT_MALLOC
        {
            Counted counted;
            void* block = std::malloc(64);
            QVERIFY(block != nullptr);
            std::free(block);
            QCOMPARE(counted.count(), 1L);
        }
#endif
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
