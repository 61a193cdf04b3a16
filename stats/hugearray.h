#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// An array of trivial values that asks the kernel for huge pages when it spans several of them:
// the sweep's random reads into arrays of megabytes then miss the address translation caches
// far less often. Elements start as T{}.
namespace stats {

template <typename T> class HugeArray
{
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    HugeArray() = default;
    explicit HugeArray(std::size_t count) { resize(count); }

    void resize(std::size_t count)
    {
        std::size_t bytes = count * sizeof(T);
        void* memory = nullptr;
        if (bytes >= 2 * HugePage) {
            bytes = (bytes + HugePage - 1) / HugePage * HugePage;
            memory = std::aligned_alloc(HugePage, bytes);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
            if (memory != nullptr)
                madvise(memory, bytes, MADV_HUGEPAGE);
#endif
        } else {
            memory = std::malloc(bytes == 0 ? 1 : bytes);
        }
        if (memory == nullptr)
            throw std::bad_alloc();
        values.reset(static_cast<T*>(memory));
        length = count;
        for (std::size_t i = 0; i < count; ++i)
            new (values.get() + i) T{};
    }

    T* data()
    {
        return values.get();
    }
    const T* data() const
    {
        return values.get();
    }
    std::size_t size() const
    {
        return length;
    }
    T* begin()
    {
        return data();
    }
    T* end()
    {
        return data() + length;
    }
    T& operator[](std::size_t i)
    {
        return values[i];
    }
    const T& operator[](std::size_t i) const
    {
        return values[i];
    }

private:
    static constexpr std::size_t HugePage = std::size_t{2} << 20;
    struct Free
    {
        void operator()(T* p) const { std::free(p); }
    };
    std::unique_ptr<T[], Free> values;
    std::size_t length = 0;
};

} // namespace stats
