#include "totalsfile.h"

#include <cstring>
#include <istream>
#include <iterator>
#include <ostream>
#include <set>

namespace stats {

namespace {

constexpr char Magic[8] = {'P', 'E', 'R', 'C', 'S', 'T', 'A', 'T'};
constexpr std::uint32_t Version = 1;
// The largest lattice whose N + 1 occupation numbers fit the file's 32-bit first-n fields.
constexpr int MaxL = 46340;
constexpr std::uint64_t BytesPerN = 8 + 16 + 16 + 16 + 8 + 16;
constexpr std::uint64_t BytesPerSample = 8 + 4 * EventCount;

std::uint64_t fnv1a(const unsigned char* data, std::size_t size)
{
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x100000001b3ULL;
    }
    return h;
}

class Writer
{
public:
    template <typename T> void put(T value, int bytes = sizeof(T))
    {
        for (int i = 0; i < bytes; ++i) {
            buffer.push_back(static_cast<unsigned char>(value & 0xffu));
            value = static_cast<T>(value >> 8);
        }
    }
    std::vector<unsigned char> buffer;
};

class Reader
{
public:
    Reader(const unsigned char* begin, std::size_t size) : data(begin), left(size) {}
    std::size_t remaining() const { return left; }
    template <typename T> T get()
    {
        T value = 0;
        for (std::size_t i = sizeof(T); i-- > 0;)
            value = static_cast<T>(static_cast<T>(value << 8) | data[i]);
        data += sizeof(T);
        left -= sizeof(T);
        return value;
    }

private:
    const unsigned char* data;
    std::size_t left;
};

} // namespace

void writeTotals(std::ostream& out, const std::vector<Totals>& sizes)
{
    Writer w;
    for (char c : Magic)
        w.put(static_cast<unsigned char>(c));
    w.put(Version);
    w.put(static_cast<std::uint32_t>(sizes.size()));
    for (const Totals& t : sizes) {
        w.put(static_cast<std::uint32_t>(t.L));
        w.put(static_cast<std::uint8_t>(t.boundary == Boundary::Torus ? 1 : 0));
        w.put(t.seed);
        w.put(t.samples());
        for (std::size_t n = 0; n < t.sumLargest.size(); ++n) {
            w.put(t.sumLargest[n]);
            w.put(t.sumLargestSquared[n]);
            w.put(t.sumChi[n]);
            w.put(t.sumChiSquared[n]);
            w.put(t.sumClusters[n]);
            w.put(t.sumClustersSquared[n]);
        }
        for (const SampleEvents& s : t.events) {
            w.put(s.sample);
            for (std::int32_t first : s.firstN)
                w.put(static_cast<std::uint32_t>(first));
        }
    }
    w.put(fnv1a(w.buffer.data(), w.buffer.size()));
    out.write(reinterpret_cast<const char*>(w.buffer.data()),
              static_cast<std::streamsize>(w.buffer.size()));
}

bool readTotals(std::istream& in, std::vector<Totals>& sizes, std::string& error)
{
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in),
                                           std::istreambuf_iterator<char>()};
    auto fail = [&](const std::string& reason) {
        error = reason;
        return false;
    };
    if (bytes.size() < sizeof(Magic) || std::memcmp(bytes.data(), Magic, sizeof(Magic)) != 0)
        return fail("not an accumulator file (no PERCSTAT header)");
    if (bytes.size() < sizeof(Magic) + 8 + 8)
        return fail("truncated accumulator file");
    Reader r(bytes.data() + sizeof(Magic), bytes.size() - sizeof(Magic) - 8);
    const auto version = r.get<std::uint32_t>();
    if (version != Version)
        return fail("unsupported accumulator file version " + std::to_string(version));
    const auto count = r.get<std::uint32_t>();

    std::vector<Totals> read;
    std::set<std::pair<int, int>> seen;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (r.remaining() < 4 + 1 + 8 + 8)
            return fail("truncated accumulator file");
        const auto L = static_cast<std::int32_t>(r.get<std::uint32_t>());
        const auto boundary = r.get<std::uint8_t>();
        const auto seed = r.get<std::uint64_t>();
        const auto samples = r.get<std::uint64_t>();
        if (L < 1 || L > MaxL)
            return fail("accumulator file has an impossible lattice size " + std::to_string(L));
        if (boundary > 1)
            return fail("accumulator file has an unknown boundary code");
        if (!seen.insert({L, boundary}).second)
            return fail("accumulator file holds L = " + std::to_string(L) + " twice");
        const auto N = static_cast<std::uint64_t>(L) * static_cast<std::uint64_t>(L);
        // Sizes are checked against the bytes present before anything is allocated.
        if ((N + 1) > r.remaining() / BytesPerN ||
            samples > (r.remaining() - (N + 1) * BytesPerN) / BytesPerSample)
            return fail("truncated accumulator file (L = " + std::to_string(L) + ")");
        Totals t(L, boundary == 1 ? Boundary::Torus : Boundary::Open, seed);
        for (std::size_t n = 0; n <= N; ++n) {
            t.sumLargest[n] = r.get<std::uint64_t>();
            t.sumLargestSquared[n] = r.get<UInt128>();
            t.sumChi[n] = r.get<UInt128>();
            t.sumChiSquared[n] = r.get<UInt128>();
            t.sumClusters[n] = r.get<std::uint64_t>();
            t.sumClustersSquared[n] = r.get<UInt128>();
        }
        t.events.resize(samples);
        for (std::uint64_t k = 0; k < samples; ++k) {
            SampleEvents& s = t.events[k];
            s.sample = r.get<std::uint64_t>();
            for (auto& first : s.firstN)
                first = static_cast<std::int32_t>(r.get<std::uint32_t>());
            if (k > 0 && s.sample <= t.events[k - 1].sample)
                return fail("accumulator file lists samples out of order or twice (L = " +
                            std::to_string(L) + ")");
            const auto [vertical, horizontal, either, both] = s.firstN;
            const auto never = static_cast<std::int32_t>(N + 1);
            if (vertical < 1 || vertical > never || horizontal < 1 || horizontal > never ||
                either != std::min(vertical, horizontal) || both != std::max(vertical, horizontal))
                return fail("accumulator file has inconsistent events in sample " +
                            std::to_string(s.sample));
        }
        read.push_back(std::move(t));
    }
    if (r.remaining() != 0)
        return fail("accumulator file has unexpected data after its last size");
    const std::size_t body = bytes.size() - 8;
    Reader tail(bytes.data() + body, 8);
    if (tail.get<std::uint64_t>() != fnv1a(bytes.data(), body))
        return fail("accumulator file is corrupt (checksum mismatch)");
    sizes = std::move(read);
    return true;
}

} // namespace stats
