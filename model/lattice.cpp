// Realisation: site s is occupied when the s-th state of the generator, counted from the state
// before the call, lies below a threshold. This decides "deviate < p" exactly, because the
// deviate never decreases as the state grows; the threshold is found once per call by bisection
// on the exact deviates.
//
// The states are produced in Lanes independent lanes: lane j holds the state of site s + j and
// every lane jumps Lanes steps at once (state · a^Lanes mod m), so the lanes run in SIMD
// registers while the sequence of states stays exactly the serial one. The sites are handled in
// chunks that stay in L1: a first pass writes site[] and a 16-bit occupancy mask per 16 sites
// (straight into the lattice's bits when they are wanted, as the masks are those bits); a second
// pass appends the occupied sites of each 16 to occupied[] with full-width stores, which
// may write up to 16 entries past the count. The chunk's final count is known before the second
// pass, so the entries it could spoil beyond that count are saved first and put back after:
// nothing past occupied[count] ever changes. The last L² mod Lanes sites are done serially.
//
// Kernels: AVX-512 and AVX2 on processors that have them, chosen once at run time, and portable
// scalar code elsewhere; all give the same results.
#include "lattice.h"

#include "random.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__)
#define PERCOLATION_X86_KERNELS 1
// GCC 12's AVX-512 broadcasts start from a deliberately undefined vector, which it then reports
// as possibly uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace model {
namespace {

constexpr int Lanes = 32;
constexpr int Group = 16; // sites per occupancy mask
constexpr int ChunkSites = 2048;
constexpr int ChunkGroups = ChunkSites / Group;
static_assert(ChunkSites % Lanes == 0 && Lanes % Group == 0);

constexpr std::uint32_t Mask31 = 0x7fffffffu;

constexpr std::uint32_t power(int exponent)
{
    std::uint32_t value = 1;
    for (int k = 0; k < exponent; ++k)
        value = mulMod(RandomMultiplier, value);
    return value;
}

constexpr std::uint32_t LaneJump = power(Lanes);

// a^n mod m by squaring.
std::uint32_t powerOfMultiplier(int n)
{
    std::uint32_t result = 1;
    std::uint32_t square = RandomMultiplier;
    for (auto e = static_cast<unsigned>(n); e != 0; e >>= 1) {
        if (e & 1u)
            result = mulMod(square, result);
        square = mulMod(square, square);
    }
    return result;
}

// The smallest state whose deviate is not below p (1 when no state qualifies, 2^31 − 1 when all
// do).
std::uint32_t occupationThreshold(double p)
{
    std::uint32_t low = 1;
    std::uint32_t high = RandomModulus;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (deviateOf(middle) < p)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// First pass over `blocks` blocks of Lanes sites: writes site[0 …] and one mask per Group sites,
// advances the lanes and returns the number of occupied sites.
using FirstPass = int (*)(std::uint32_t* lanes, std::uint32_t threshold, int* site,
                          std::uint16_t* masks, int blocks);
// Second pass: appends the occupied sites of `groups` masks, the first group starting at site s,
// after occupied[count]; returns the new count. May write Group entries past the new count.
using SecondPass = int (*)(const std::uint16_t* masks, int groups, int s, int* occupied,
                           int count);

int firstPassPortable(std::uint32_t* lanes, std::uint32_t threshold, int* site,
                      std::uint16_t* masks, int blocks)
{
    int count = 0;
    for (int block = 0; block < blocks; ++block) {
        for (int g = 0; g < Lanes / Group; ++g) {
            unsigned mask = 0;
            for (int j = 0; j < Group; ++j) {
                const int lane = g * Group + j;
                const unsigned occupied = lanes[lane] < threshold ? 1u : 0u;
                site[block * Lanes + lane] = static_cast<int>(occupied);
                mask |= occupied << j;
            }
            masks[block * (Lanes / Group) + g] = static_cast<std::uint16_t>(mask);
            count += std::popcount(mask);
        }
        for (int j = 0; j < Lanes; ++j)
            lanes[j] = mulMod(LaneJump, lanes[j]);
    }
    return count;
}

int secondPassPortable(const std::uint16_t* masks, int groups, int s, int* occupied, int count)
{
    for (int g = 0; g < groups; ++g, s += Group) {
        const unsigned mask = masks[g];
        for (int j = 0; j < Group; ++j) {
            occupied[count + 1] = s + j;
            count += static_cast<int>((mask >> j) & 1u);
        }
    }
    return count;
}

#ifdef PERCOLATION_X86_KERNELS

// The states of the odd 32-bit lanes are moved down to multiply them as well; each 62-bit
// product folds below 2^32 (2^31 ≡ 1 mod m), and a second fold in 32 bits lands in 1 … m − 1,
// since a product of a state and a power of a is never a multiple of m.
[[gnu::target("avx2")]] inline __m256i jump256(__m256i state)
{
    const __m256i multiplier = _mm256_set1_epi64x(LaneJump);
    const __m256i mask64 = _mm256_set1_epi64x(Mask31);
    const __m256i mask32 = _mm256_set1_epi32(static_cast<int>(Mask31));
    const __m256i even = _mm256_mul_epu32(state, multiplier);
    const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(state, 32), multiplier);
    const __m256i foldedEven =
        _mm256_add_epi64(_mm256_and_si256(even, mask64), _mm256_srli_epi64(even, 31));
    const __m256i foldedOdd =
        _mm256_add_epi64(_mm256_and_si256(odd, mask64), _mm256_srli_epi64(odd, 31));
    const __m256i folded = _mm256_blend_epi32(foldedEven, _mm256_slli_epi64(foldedOdd, 32), 0xaa);
    return _mm256_add_epi32(_mm256_and_si256(folded, mask32), _mm256_srli_epi32(folded, 31));
}

[[gnu::target("avx2,popcnt")]] int firstPassAvx2(std::uint32_t* lanes, std::uint32_t threshold,
                                                 int* site, std::uint16_t* masks, int blocks)
{
    constexpr int Registers = Lanes / 8;
    __m256i state[Registers];
    for (int r = 0; r < Registers; ++r)
        state[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lanes + 8 * r));
    // States and threshold are below 2^31, so the signed comparison is exact.
    const __m256i limit = _mm256_set1_epi32(static_cast<int>(threshold));
    const __m256i one = _mm256_set1_epi32(1);
    int count = 0;
    for (int block = 0; block < blocks; ++block) {
        unsigned bits[Registers];
        for (int r = 0; r < Registers; ++r) {
            const __m256i below = _mm256_cmpgt_epi32(limit, state[r]);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(site + block * Lanes + 8 * r),
                                _mm256_and_si256(below, one));
            bits[r] = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(below)));
        }
        for (int g = 0; g < Registers / 2; ++g) {
            const unsigned mask = bits[2 * g] | (bits[2 * g + 1] << 8);
            masks[block * (Lanes / Group) + g] = static_cast<std::uint16_t>(mask);
            count += std::popcount(mask);
        }
        for (int r = 0; r < Registers; ++r)
            state[r] = jump256(state[r]);
    }
    for (int r = 0; r < Registers; ++r)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes + 8 * r), state[r]);
    return count;
}

// For every 8-bit mask, the positions of its set bits in increasing order.
struct SlotTable
{
    alignas(32) std::array<std::array<std::int32_t, 8>, 256> offsets{};
};

constexpr SlotTable makeSlotTable()
{
    SlotTable table;
    for (std::size_t mask = 0; mask < 256; ++mask) {
        std::size_t n = 0;
        for (int bit = 0; bit < 8; ++bit)
            if ((mask >> bit) & 1u)
                table.offsets[mask][n++] = bit;
    }
    return table;
}

constexpr SlotTable Slots = makeSlotTable();

[[gnu::target("avx2,popcnt")]] int secondPassAvx2(const std::uint16_t* masks, int groups, int s,
                                                  int* occupied, int count)
{
    for (int g = 0; g < groups; ++g) {
        const unsigned mask = masks[g];
        for (int half = 0; half < 2; ++half) {
            const unsigned bits = (mask >> (8 * half)) & 0xffu;
            const __m256i offsets =
                _mm256_load_si256(reinterpret_cast<const __m256i*>(Slots.offsets[bits].data()));
            const __m256i sites =
                _mm256_add_epi32(offsets, _mm256_set1_epi32(s + Group * g + 8 * half));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(occupied + count + 1), sites);
            count += std::popcount(bits);
        }
    }
    return count;
}

[[gnu::target("avx512f")]] inline __m512i jump512(__m512i state)
{
    const __m512i multiplier = _mm512_set1_epi64(LaneJump);
    const __m512i mask64 = _mm512_set1_epi64(Mask31);
    const __m512i mask32 = _mm512_set1_epi32(static_cast<int>(Mask31));
    const __m512i even = _mm512_mul_epu32(state, multiplier);
    const __m512i odd = _mm512_mul_epu32(_mm512_srli_epi64(state, 32), multiplier);
    const __m512i foldedEven =
        _mm512_add_epi64(_mm512_and_si512(even, mask64), _mm512_srli_epi64(even, 31));
    const __m512i foldedOdd =
        _mm512_add_epi64(_mm512_and_si512(odd, mask64), _mm512_srli_epi64(odd, 31));
    const __m512i folded =
        _mm512_mask_blend_epi32(0xaaaa, foldedEven, _mm512_slli_epi64(foldedOdd, 32));
    return _mm512_add_epi32(_mm512_and_si512(folded, mask32), _mm512_srli_epi32(folded, 31));
}

[[gnu::target("avx512f,popcnt")]] int firstPassAvx512(std::uint32_t* lanes,
                                                      std::uint32_t threshold, int* site,
                                                      std::uint16_t* masks, int blocks)
{
    constexpr int Registers = Lanes / 16;
    __m512i state[Registers];
    for (int r = 0; r < Registers; ++r)
        state[r] = _mm512_loadu_si512(lanes + 16 * r);
    const __m512i limit = _mm512_set1_epi32(static_cast<int>(threshold));
    const __m512i one = _mm512_set1_epi32(1);
    int count = 0;
    for (int block = 0; block < blocks; ++block) {
        for (int r = 0; r < Registers; ++r) {
            const __mmask16 below = _mm512_cmplt_epu32_mask(state[r], limit);
            _mm512_storeu_si512(site + block * Lanes + 16 * r, _mm512_maskz_mov_epi32(below, one));
            masks[block * Registers + r] = below;
            count += std::popcount(static_cast<unsigned>(below));
        }
        for (int r = 0; r < Registers; ++r)
            state[r] = jump512(state[r]);
    }
    for (int r = 0; r < Registers; ++r)
        _mm512_storeu_si512(lanes + 16 * r, state[r]);
    return count;
}

[[gnu::target("avx512f,popcnt")]] int secondPassAvx512(const std::uint16_t* masks, int groups,
                                                       int s, int* occupied, int count)
{
    const __m512i step = _mm512_set1_epi32(Group);
    __m512i sites =
        _mm512_add_epi32(_mm512_set1_epi32(s),
                         _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    for (int g = 0; g < groups; ++g) {
        const __mmask16 mask = masks[g];
        // The register form: compressing straight to memory is slow on some processors.
        _mm512_storeu_si512(occupied + count + 1, _mm512_maskz_compress_epi32(mask, sites));
        count += std::popcount(static_cast<unsigned>(mask));
        sites = _mm512_add_epi32(sites, step);
    }
    return count;
}

#endif // PERCOLATION_X86_KERNELS

// The lowest bits of `count` ≤ Group sites from sites[0 …], the first in bit 0.
std::uint16_t packGroup(const int* sites, int count)
{
    unsigned mask = 0;
    for (int j = 0; j < count; ++j)
        mask |= static_cast<unsigned>(sites[j] & 1) << j;
    return static_cast<std::uint16_t>(mask);
}

void packPortable(const int* site, int siteCount, std::uint16_t* bits)
{
    for (int g = 0; Group * g < siteCount; ++g)
        bits[g] = packGroup(site + Group * g + 1, std::min(Group, siteCount - Group * g));
}

#ifdef PERCOLATION_X86_KERNELS
// Eight sites at a time: their lowest bits, shifted into the sign bits, make a byte.
[[gnu::target("avx2")]] void packAvx2(const int* site, int siteCount, std::uint16_t* bits)
{
    const int groups = siteCount / Group;
    for (int g = 0; g < groups; ++g) {
        unsigned mask = 0;
        for (int half = 0; half < 2; ++half) {
            const __m256i sites = _mm256_loadu_si256(
                reinterpret_cast<const __m256i*>(site + Group * g + 8 * half + 1));
            mask |= static_cast<unsigned>(
                        _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_slli_epi32(sites, 31))))
                    << (8 * half);
        }
        bits[g] = static_cast<std::uint16_t>(mask);
    }
    if (siteCount % Group != 0)
        bits[groups] = packGroup(site + Group * groups + 1, siteCount % Group);
}
#endif

struct Kernels
{
    FirstPass first;
    SecondPass second;
};

Kernels kernelsFor(detail::Kernel kernel)
{
    switch (kernel) {
#ifdef PERCOLATION_X86_KERNELS
    case detail::Kernel::Avx512:
        return {firstPassAvx512, secondPassAvx512};
    case detail::Kernel::Avx2:
        return {firstPassAvx2, secondPassAvx2};
#endif
    default:
        return {firstPassPortable, secondPassPortable};
    }
}

// With `bits`, the masks of the first pass are the bits' words, written where they belong.
int realise(const Kernels& kernels, double p, int* site, int* occupied, int L, std::uint16_t* bits)
{
    assert(L >= 1 && L <= MaxLinearSize);
    if (L < 1 || L > MaxLinearSize)
        return 0;

    const int siteCount = L * L;
    const std::uint32_t threshold = occupationThreshold(p);
    const auto initial = static_cast<std::uint32_t>(rngState);
    int count = 0;
    int s = 1;

    const int blockedSites = siteCount - siteCount % Lanes;
    if (blockedSites > 0) {
        alignas(64) std::array<std::uint32_t, Lanes> lanes{};
        std::uint32_t value = initial;
        for (auto& lane : lanes) {
            value = mulMod(RandomMultiplier, value);
            lane = value;
        }
        alignas(64) std::array<std::uint16_t, ChunkGroups> chunkMasks{};
        std::array<int, Group> saved{};
        while (s <= blockedSites) {
            const int chunkSites = std::min(ChunkSites, blockedSites - s + 1);
            std::uint16_t* masks = bits != nullptr ? bits + (s - 1) / Group : chunkMasks.data();
            const int newCount = count + kernels.first(lanes.data(), threshold, site + s, masks,
                                                       chunkSites / Lanes);
            // A store of the second pass covers Group entries from its first free one, so it
            // reaches at most Group entries past the new count, and never past the last site of
            // its group, which bounds the count before it.
            const int guardEnd = std::min(newCount + Group, s + chunkSites - 1);
            std::copy(occupied + newCount + 1, occupied + guardEnd + 1, saved.begin());
            count = kernels.second(masks, chunkSites / Group, s, occupied, count);
            assert(count == newCount);
            std::copy(saved.begin(), saved.begin() + (guardEnd - newCount),
                      occupied + newCount + 1);
            s += chunkSites;
        }
    }
    // The lanes have jumped once past the last block, so the state after it is computed
    // directly.
    std::uint32_t state = mulMod(powerOfMultiplier(blockedSites), initial);
    if (bits != nullptr)
        std::fill(bits + blockedSites / Group, bits + (siteCount + Group - 1) / Group, 0);
    for (; s <= siteCount; ++s) {
        state = mulMod(RandomMultiplier, state);
        if (state < threshold) {
            site[s] = 1;
            occupied[++count] = s;
            if (bits != nullptr)
                bits[(s - 1) / Group] |= static_cast<std::uint16_t>(1u << (s - 1) % Group);
        } else {
            site[s] = 0;
        }
    }
    rngState = static_cast<std::int32_t>(state);
    return count;
}

} // namespace

namespace detail {

bool kernelAvailable(Kernel kernel)
{
    switch (kernel) {
    case Kernel::Portable:
        return true;
#ifdef PERCOLATION_X86_KERNELS
    case Kernel::Avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    case Kernel::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("popcnt");
#endif
    default:
        return false;
    }
}

Kernel bestKernel()
{
    static const Kernel best = kernelAvailable(Kernel::Avx512) ? Kernel::Avx512
                               : kernelAvailable(Kernel::Avx2) ? Kernel::Avx2
                                                               : Kernel::Portable;
    return best;
}

int occupySitesWith(Kernel kernel, double p, int* site, int* occupied, int L, SiteBits* bits)
{
    assert(kernelAvailable(kernel));
    return realise(kernelsFor(kernelAvailable(kernel) ? kernel : Kernel::Portable), p, site,
                   occupied, L, bits != nullptr ? bits->words.data() : nullptr);
}

void packSitesWith(Kernel kernel, const int* site, int L, SiteBits& bits)
{
    assert(kernelAvailable(kernel) && L >= 1 && L <= MaxLinearSize);
#ifdef PERCOLATION_X86_KERNELS
    if (kernel != Kernel::Portable && kernelAvailable(kernel)) {
        packAvx2(site, L * L, bits.words.data());
        return;
    }
#endif
    (void)kernel;
    packPortable(site, L * L, bits.words.data());
}

} // namespace detail

namespace {
const Kernels& bestKernels()
{
    static const Kernels kernels = kernelsFor(detail::bestKernel());
    return kernels;
}
} // namespace

int occupySites(double p, int* site, int* occupied, int L)
{
    return realise(bestKernels(), p, site, occupied, L, nullptr);
}

int occupySites(double p, int* site, int* occupied, int L, SiteBits& bits)
{
    return realise(bestKernels(), p, site, occupied, L, bits.words.data());
}

void packSites(const int* site, int L, SiteBits& bits)
{
    detail::packSitesWith(detail::bestKernel(), site, L, bits);
}

} // namespace model
