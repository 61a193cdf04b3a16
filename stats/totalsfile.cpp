#include "totalsfile.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>

namespace stats {

namespace {

constexpr char Magic[8] = {'P', 'E', 'R', 'C', 'S', 'T', 'A', 'T'};
constexpr std::uint32_t Version = 1;
constexpr std::uint64_t HeaderBytes = sizeof(Magic) + 4 + 4;
constexpr std::uint64_t SizeHeaderBytes = 4 + 1 + 8 + 8;
constexpr std::uint64_t BytesPerN = 8 + 16 + 16 + 16 + 8 + 16;
constexpr std::uint64_t BytesPerSample = 8 + 4 * EventCount;
constexpr std::uint64_t ChecksumBytes = 8;
constexpr std::size_t BufferBytes = std::size_t{1} << 20;

class Fnv1a
{
public:
    void add(const unsigned char* data, std::size_t size)
    {
        for (std::size_t i = 0; i < size; ++i)
            hash = (hash ^ data[i]) * 0x100000001b3ULL;
    }
    std::uint64_t value() const { return hash; }

private:
    std::uint64_t hash = 0xcbf29ce484222325ULL;
};

// Little-endian integers into a buffer that goes out, checksummed, whenever it fills.
class Writer
{
public:
    explicit Writer(std::ostream& stream) : out(stream) { buffer.reserve(BufferBytes); }
    template <typename T> void put(T value)
    {
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            buffer.push_back(static_cast<unsigned char>(value & 0xffu));
            value = static_cast<T>(value >> 8);
        }
        if (buffer.size() >= BufferBytes)
            flush();
    }
    void finish()
    {
        flush();
        std::uint64_t sum = checksum.value();
        for (std::size_t i = 0; i < sizeof sum; ++i, sum >>= 8)
            buffer.push_back(static_cast<unsigned char>(sum & 0xffu));
        out.write(reinterpret_cast<const char*>(buffer.data()),
                  static_cast<std::streamsize>(buffer.size()));
    }

private:
    void flush()
    {
        checksum.add(buffer.data(), buffer.size());
        out.write(reinterpret_cast<const char*>(buffer.data()),
                  static_cast<std::streamsize>(buffer.size()));
        buffer.clear();
    }
    std::ostream& out;
    std::vector<unsigned char> buffer;
    Fnv1a checksum;
};

// Little-endian integers from a stream, a buffer at a time; `ok` turns false at its end.
class Reader
{
public:
    explicit Reader(std::istream& stream) : in(stream), buffer(BufferBytes) {}
    template <typename T> T get()
    {
        unsigned char bytes[sizeof(T)];
        for (unsigned char& b : bytes) {
            if (at == filled && !refill())
                return 0;
            b = buffer[at++];
        }
        T value = 0;
        for (std::size_t i = sizeof(T); i-- > 0;)
            value = static_cast<T>(static_cast<T>(value << 8) | bytes[i]);
        return value;
    }
    bool ok = true;

private:
    bool refill()
    {
        in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(BufferBytes));
        filled = static_cast<std::size_t>(in.gcount());
        at = 0;
        ok = ok && filled > 0;
        return filled > 0;
    }
    std::istream& in;
    std::vector<unsigned char> buffer;
    std::size_t at = 0;
    std::size_t filled = 0;
};

template <typename T> T readAt(std::istream& in, std::uint64_t offset)
{
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    Reader r(in);
    return r.get<T>();
}

struct SizeHeader
{
    std::int32_t L = 0;
    std::uint8_t boundary = 0;
    std::uint64_t seed = 0;
    std::uint64_t samples = 0;
};

// Whether the sums of one n are possible for `S` samples: S_max, χ·N and the cluster count each
// lie between 0 (1 for S_max and clusters once a site is occupied) and n, n² and n, and a
// sum of squares lies between the sum and the largest value times the sum.
bool possibleAt(const Totals& t, std::size_t n, std::uint64_t S)
{
    const UInt128 N = static_cast<UInt128>(t.siteCount());
    const UInt128 most = n;
    const UInt128 least = n > 0 ? S : 0;
    const auto within = [](UInt128 sum, UInt128 squares, UInt128 low, UInt128 high,
                           UInt128 largest) {
        const bool squaresFit =
            largest == 0 || sum <= ~UInt128{0} / largest ? squares <= largest * sum : true;
        return sum >= low && sum <= high && squares >= sum && squaresFit;
    };
    if (!within(t.sumLargest[n], t.sumLargestSquared[n], least, most * S, most) ||
        !within(t.sumChi[n], t.sumChiSquared[n], 0, most * most * S, most * most) ||
        !within(t.sumClusters[n], t.sumClustersSquared[n], least, most * S, most))
        return false;
    if (n > 0 && t.sumLargest[n] < t.sumLargest[n - 1])
        return false;
    // Once every site is occupied they form one cluster.
    return n != N || (t.sumLargest[n] == N * S && t.sumLargestSquared[n] == N * N * S &&
                      t.sumChi[n] == 0 && t.sumClusters[n] == S && t.sumClustersSquared[n] == S);
}

} // namespace

void writeTotals(std::ostream& out, const std::vector<Totals>& sizes)
{
    Writer w(out);
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
    w.finish();
}

double totalsFileBytes(const std::vector<int>& Ls, double samples)
{
    double bytes = double(HeaderBytes + ChecksumBytes);
    for (int L : Ls)
        bytes += double(SizeHeaderBytes) + (double(L) * double(L) + 1) * double(BytesPerN) +
                 samples * double(BytesPerSample);
    return bytes;
}

bool readTotals(std::istream& in, std::vector<Totals>& sizes, std::string& error)
{
    auto fail = [&](const std::string& reason) {
        error = reason;
        return false;
    };
    auto inconsistent = [&](const std::string& what) {
        return fail("accumulator file is inconsistent: " + what);
    };
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (!in || end < 0)
        return fail("cannot read the accumulator file");
    const auto length = static_cast<std::uint64_t>(end);
    char magic[sizeof(Magic)] = {};
    in.seekg(0);
    in.read(magic, static_cast<std::streamsize>(std::min<std::uint64_t>(length, sizeof magic)));
    if (length < sizeof(Magic) || std::memcmp(magic, Magic, sizeof(Magic)) != 0)
        return fail("not an accumulator file (no PERCSTAT header)");
    if (length < HeaderBytes + ChecksumBytes)
        return fail("truncated accumulator file");
    const auto version = readAt<std::uint32_t>(in, sizeof(Magic));
    if (version != Version)
        return fail("unsupported accumulator file version " + std::to_string(version));

    // The checksum first, so that no damaged field is ever trusted.
    const std::uint64_t body = length - ChecksumBytes;
    {
        in.clear();
        in.seekg(0);
        Fnv1a sum;
        std::vector<unsigned char> chunk(BufferBytes);
        for (std::uint64_t done = 0; done < body;) {
            const auto piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(BufferBytes, body - done));
            in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(piece));
            if (static_cast<std::size_t>(in.gcount()) != piece)
                return fail("cannot read the accumulator file");
            sum.add(chunk.data(), piece);
            done += piece;
        }
        if (readAt<std::uint64_t>(in, body) != sum.value())
            return fail("accumulator file is corrupt (checksum mismatch)");
    }

    // Every size's extent against the length, before anything is allocated.
    const auto count = readAt<std::uint32_t>(in, sizeof(Magic) + 4);
    std::vector<std::pair<SizeHeader, std::uint64_t>> headers; // and where each begins
    std::uint64_t offset = HeaderBytes;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (body - offset < SizeHeaderBytes)
            return fail("truncated accumulator file");
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        Reader r(in);
        SizeHeader h{static_cast<std::int32_t>(r.get<std::uint32_t>()), r.get<std::uint8_t>(),
                     r.get<std::uint64_t>(), r.get<std::uint64_t>()};
        if (h.L < 2 || h.L > LargestL)
            return inconsistent("impossible lattice size " + std::to_string(h.L));
        if (h.boundary > 1)
            return inconsistent("unknown boundary code");
        if (!headers.empty() && (h.L <= headers.back().first.L))
            return inconsistent("sizes not in ascending order");
        if (!headers.empty() &&
            (h.boundary != headers.front().first.boundary || h.seed != headers.front().first.seed))
            return inconsistent("sizes of different boundaries or seeds");
        const std::uint64_t N = std::uint64_t(h.L) * std::uint64_t(h.L);
        const std::uint64_t left = body - offset - SizeHeaderBytes;
        if ((N + 1) > left / BytesPerN ||
            h.samples > (left - (N + 1) * BytesPerN) / BytesPerSample)
            return fail("truncated accumulator file (L = " + std::to_string(h.L) + ")");
        headers.push_back({h, offset + SizeHeaderBytes});
        offset += SizeHeaderBytes + (N + 1) * BytesPerN + h.samples * BytesPerSample;
    }
    if (offset != body)
        return fail("accumulator file has unexpected data after its last size");

    std::vector<Totals> read;
    for (const auto& [h, start] : headers) {
        const std::string where = "L = " + std::to_string(h.L);
        in.clear();
        in.seekg(static_cast<std::streamoff>(start));
        Reader r(in);
        Totals t(h.L, h.boundary == 1 ? Boundary::Torus : Boundary::Open, h.seed);
        for (std::size_t n = 0; n < t.sumLargest.size(); ++n) {
            t.sumLargest[n] = r.get<std::uint64_t>();
            t.sumLargestSquared[n] = r.get<UInt128>();
            t.sumChi[n] = r.get<UInt128>();
            t.sumChiSquared[n] = r.get<UInt128>();
            t.sumClusters[n] = r.get<std::uint64_t>();
            t.sumClustersSquared[n] = r.get<UInt128>();
            if (!possibleAt(t, n, h.samples))
                return inconsistent(where + ", n = " + std::to_string(n) + ": impossible sums");
        }
        t.events.resize(h.samples);
        const auto lowest = static_cast<std::int32_t>(h.L);
        const auto highest = static_cast<std::int32_t>(t.siteCount());
        for (std::uint64_t k = 0; k < h.samples; ++k) {
            SampleEvents& s = t.events[k];
            s.sample = r.get<std::uint64_t>();
            for (auto& first : s.firstN)
                first = static_cast<std::int32_t>(r.get<std::uint32_t>());
            if (k > 0 && s.sample <= t.events[k - 1].sample)
                return inconsistent(where + ": samples out of order or twice");
            const auto [vertical, horizontal, either, both] = s.firstN;
            if (vertical < lowest || vertical > highest || horizontal < lowest ||
                horizontal > highest || either != std::min(vertical, horizontal) ||
                both != std::max(vertical, horizontal))
                return inconsistent(where + ": impossible events in sample " +
                                    std::to_string(s.sample));
        }
        if (!r.ok)
            return fail("cannot read the accumulator file");
        read.push_back(std::move(t));
    }
    sizes = std::move(read);
    return true;
}

} // namespace stats
