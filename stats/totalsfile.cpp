#include "totalsfile.h"

#include "clustersizes.h"
#include "threshold.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <istream>
#include <ostream>

namespace stats {

namespace {

constexpr char Magic[8] = {'P', 'E', 'R', 'C', 'S', 'T', 'A', 'T'};
constexpr std::uint32_t Version = 2;
constexpr std::uint64_t HeaderBytes = sizeof(Magic) + 4 + 4;
constexpr std::uint64_t SizeHeaderBytes[3] = {0, 4 + 1 + 8 + 8, 4 + 1 + 1 + 1 + 1 + 8 + 8};
constexpr std::uint64_t BytesPerN = 8 + 16 + 16 + 16 + 8 + 16;
constexpr std::uint64_t SectionHeaderBytes = 4 + 8;
constexpr std::uint64_t ChecksumBytes = 8;
constexpr std::size_t BufferBytes = std::size_t{1} << 20;

// The codes of the file are the enumerations' values.
static_assert(int(Boundary::Open) == 0 && int(Boundary::Torus) == 1);
static_assert(int(Lattice::Square) == 0 && int(Lattice::Triangular) == 1 &&
              int(Lattice::Honeycomb) == 2 && int(Lattice::Cubic) == 3);
static_assert(int(Model::Site) == 0 && int(Model::Bond) == 1);

std::uint64_t bytesPerSample(int events)
{
    return 8 + 4 * static_cast<std::uint64_t>(events);
}

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

// An optional part of a size's record (see totalsfile.h).
struct SectionFormat
{
    std::array<char, 4> tag;
    bool (*present)(const Totals&);
    void (*write)(const Totals&, std::vector<unsigned char>& bytes);
    // Reads `length` bytes into the totals; "" or the reason they are impossible.
    std::string (*read)(Reader& in, std::uint64_t length, Totals& totals);
};

template <typename T> void putInto(std::vector<unsigned char>& bytes, T value)
{
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bytes.push_back(static_cast<unsigned char>(value & 0xffu));
        value = static_cast<T>(value >> 8);
    }
}

// "SNAP": u32 points, u32 groups, u32 size bins, i64 first n and u64 length of χ's window; per
// point: f64 p (its bits as u64), then per group u64 samples, u64 ΣS_max, u128 ΣS_max², u128
// ΣΣs², u64 clusters per size bin; then per group the window's u128 Σχ·N.
constexpr std::uint64_t SnapshotHeaderBytes = 4 + 4 + 4 + 8 + 8;

std::uint64_t snapshotBytes(std::uint64_t points, std::uint64_t bins, std::uint64_t chiLength)
{
    const std::uint64_t perPoint = 8 + JackknifeGroups * (8 + 8 + 16 + 16 + 8 * bins);
    return SnapshotHeaderBytes + points * perPoint + JackknifeGroups * chiLength * 16;
}

void writeSnapshots(const Totals& t, std::vector<unsigned char>& bytes)
{
    const Snapshots& s = t.snapshots;
    putInto(bytes, static_cast<std::uint32_t>(s.points.size()));
    putInto(bytes, static_cast<std::uint32_t>(JackknifeGroups));
    putInto(bytes, static_cast<std::uint32_t>(s.points.front().groups.front().sizeCounts.size()));
    putInto(bytes, static_cast<std::uint64_t>(s.chiFirst));
    putInto(bytes, static_cast<std::uint64_t>(s.chiLength()));
    for (const SnapshotPoint& point : s.points) {
        putInto(bytes, std::bit_cast<std::uint64_t>(point.p));
        for (const SnapshotSums& g : point.groups) {
            putInto(bytes, g.samples);
            putInto(bytes, g.largest);
            putInto(bytes, g.largestSquared);
            putInto(bytes, g.squares);
            for (const std::uint64_t c : g.sizeCounts)
                putInto(bytes, c);
        }
    }
    for (const std::vector<UInt128>& group : s.chi)
        for (const UInt128 c : group)
            putInto(bytes, c);
}

std::string readSnapshots(Reader& in, std::uint64_t length, Totals& t)
{
    const auto points = in.get<std::uint32_t>();
    const auto groups = in.get<std::uint32_t>();
    const auto bins = in.get<std::uint32_t>();
    const auto chiFirst = static_cast<std::int64_t>(in.get<std::uint64_t>());
    const auto chiLength = in.get<std::uint64_t>();
    const std::int64_t N = t.sites(), E = t.elements();
    if (points == 0 || points > MaxSnapshotPoints)
        return "impossible number of snapshot probabilities";
    if (groups != JackknifeGroups)
        return std::to_string(groups) + " jackknife groups, not " +
               std::to_string(JackknifeGroups);
    if (bins != static_cast<std::uint32_t>(binsUpTo(N)))
        return "size bins that do not fit the lattice";
    if (chiLength > 0 &&
        (chiFirst < 0 || chiFirst > E || chiLength > std::uint64_t(E - chiFirst) + 1))
        return "a window of chi outside 0 … E";
    if (length != snapshotBytes(points, bins, chiLength))
        return "a length that does not fit its contents";
    std::vector<std::uint64_t> inGroup(JackknifeGroups, 0);
    for (const SampleEvents& e : t.events)
        ++inGroup[e.sample % JackknifeGroups];
    std::vector<double> ps;
    Snapshots& s = t.snapshots;
    s = Snapshots{};
    for (std::uint32_t i = 0; i < points; ++i) {
        const double p = std::bit_cast<double>(in.get<std::uint64_t>());
        if (!(p > 0 && p < 1) || (!ps.empty() && !(p > ps.back())))
            return "snapshot probabilities outside (0, 1) or not ascending";
        ps.push_back(p);
        SnapshotPoint point{p, std::vector<SnapshotSums>(groups)};
        for (std::size_t g = 0; g < groups; ++g) {
            SnapshotSums& sums = point.groups[g];
            sums.samples = in.get<std::uint64_t>();
            sums.largest = in.get<std::uint64_t>();
            sums.largestSquared = in.get<UInt128>();
            sums.squares = in.get<UInt128>();
            sums.sizeCounts.resize(bins);
            UInt128 clusters = 0;
            for (std::uint64_t& c : sums.sizeCounts)
                clusters += c = in.get<std::uint64_t>();
            const UInt128 S = sums.samples;
            if (sums.samples != inGroup[g] || sums.largest > S * UInt128(N) ||
                sums.largestSquared > UInt128(sums.largest) * UInt128(N) ||
                sums.largestSquared < sums.largest || sums.squares < sums.largestSquared ||
                sums.squares > S * UInt128(N) * UInt128(N) || clusters > S * UInt128(N))
                return "impossible sums at p = " + std::to_string(p);
        }
        s.points.push_back(std::move(point));
    }
    if (chiLength > 0 &&
        std::find(ps.begin(), ps.end(), knownThreshold(t.lattice, t.model)) == ps.end())
        return "a window of chi without the known threshold";
    s.chiFirst = chiFirst;
    if (chiLength > 0)
        s.chi.assign(groups, std::vector<UInt128>(chiLength));
    for (std::size_t g = 0; g < s.chi.size(); ++g)
        for (UInt128& c : s.chi[g]) {
            c = in.get<UInt128>();
            if (c > UInt128(inGroup[g]) * UInt128(N) * UInt128(N))
                return "impossible sums of chi";
        }
    if (!in.ok)
        return "truncated";
    const Snapshots layout = snapshotLayout(t.geometry(), ps);
    if (!layout.sameLayout(s))
        return "a window of chi of another extent than this version records";
    return {};
}

constexpr std::array<SectionFormat, 1> Sections{
    SectionFormat{{'S', 'N', 'A', 'P'},
                  [](const Totals& t) { return !t.snapshots.empty(); },
                  &writeSnapshots,
                  &readSnapshots}};

std::string tagText(const std::array<char, 4>& tag)
{
    std::string text;
    for (const char c : tag)
        text += c >= 0x20 && c < 0x7f ? std::string(1, c) : "?";
    return '"' + text + '"';
}

struct SizeHeader
{
    std::int32_t L = 0;
    std::uint8_t boundary = 0;
    std::uint8_t lattice = 0;
    std::uint8_t model = 0;
    std::uint8_t events = EventCount;
    std::uint64_t seed = 0;
    std::uint64_t samples = 0;

    Geometry geometry() const
    {
        return {static_cast<Lattice>(lattice), static_cast<Model>(model), L,
                static_cast<Boundary>(boundary)};
    }
};

struct Section
{
    std::array<char, 4> tag{};
    std::uint64_t start = 0; // of its bytes
    std::uint64_t length = 0;
};

// What each size's values may be: per sample, S_max, the cluster count and χ·N lie between the
// bounds of their occupation number n. With sites, n sites form between one cluster (none
// when n = 0) and n; with bonds, the N sites form between N − n clusters (at least one) and N.
struct Bounds
{
    UInt128 largestLow, largestHigh, clustersLow, clustersHigh, chiHigh;
};

Bounds boundsAt(const Totals& t, std::uint64_t n)
{
    const UInt128 N = static_cast<UInt128>(t.sites());
    if (t.model == Model::Site)
        return {n > 0 ? 1u : 0u, n, n > 0 ? 1u : 0u, n, UInt128{n} * n};
    return {1, std::min<UInt128>(N, UInt128{n} + 1), n + 1 < N ? N - n : 1, N, N * N};
}

// Whether the sums of one n are possible for `S` samples: each within S times its bounds, and a
// sum of squares between the sum and the largest value times the sum. Once every element is
// occupied the sites form one cluster.
bool possibleAt(const Totals& t, std::size_t n, std::uint64_t S)
{
    const Bounds b = boundsAt(t, n);
    const auto within = [S](UInt128 sum, UInt128 squares, UInt128 low, UInt128 high) {
        const bool squaresFit =
            high == 0 || sum <= ~UInt128{0} / high ? squares <= high * sum : true;
        return sum >= low * S && sum <= high * S && squares >= sum && squaresFit;
    };
    if (!within(t.sumLargest[n], t.sumLargestSquared[n], b.largestLow, b.largestHigh) ||
        !within(t.sumChi[n], t.sumChiSquared[n], 0, b.chiHigh) ||
        !within(t.sumClusters[n], t.sumClustersSquared[n], b.clustersLow, b.clustersHigh))
        return false;
    if (n > 0 && t.sumLargest[n] < t.sumLargest[n - 1])
        return false;
    const UInt128 N = static_cast<UInt128>(t.sites());
    return n != static_cast<std::size_t>(t.elements()) ||
           (t.sumLargest[n] == N * S && t.sumLargestSquared[n] == N * N * S && t.sumChi[n] == 0 &&
            t.sumClusters[n] == S && t.sumClustersSquared[n] == S);
}

// The fewest elements that can span: a crossing or a winding passes L sites, joined by L − 1
// bonds between open faces and by L bonds around a torus.
std::int64_t fewestToSpan(const Geometry& g)
{
    return g.model == Model::Bond && g.boundary == Boundary::Open ? g.L - 1 : g.L;
}

// The first n of each direction between the fewest that can span and E; "any" their least and
// "all" their greatest.
bool possibleEvents(const SampleEvents& s, const Geometry& g)
{
    const int d = g.dimensions();
    std::int64_t least = g.elements() + 1, most = -1;
    for (int k = 0; k < d; ++k) {
        const std::int64_t first = s.firstN[static_cast<std::size_t>(k)];
        if (first < fewestToSpan(g) || first > g.elements())
            return false;
        least = std::min(least, first);
        most = std::max(most, first);
    }
    return s.firstN[static_cast<std::size_t>(d)] == least &&
           s.firstN[static_cast<std::size_t>(d + 1)] == most;
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
        const int events = t.geometry().eventCount();
        w.put(static_cast<std::uint32_t>(t.L));
        w.put(static_cast<std::uint8_t>(t.boundary));
        w.put(static_cast<std::uint8_t>(t.lattice));
        w.put(static_cast<std::uint8_t>(t.model));
        w.put(static_cast<std::uint8_t>(events));
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
            for (int k = 0; k < events; ++k)
                w.put(static_cast<std::uint32_t>(s.firstN[static_cast<std::size_t>(k)]));
        }
        std::uint32_t present = 0;
        for (const SectionFormat& f : Sections)
            present += f.present(t) ? 1u : 0u;
        w.put(present);
        for (const SectionFormat& f : Sections) {
            if (!f.present(t))
                continue;
            std::vector<unsigned char> bytes;
            f.write(t, bytes);
            for (char c : f.tag)
                w.put(static_cast<unsigned char>(c));
            w.put(static_cast<std::uint64_t>(bytes.size()));
            for (unsigned char b : bytes)
                w.put(b);
        }
    }
    w.finish();
}

double snapshotFileBytes(const Geometry& g, const std::vector<double>& snapshotAt)
{
    if (snapshotAt.empty())
        return 0;
    return double(SectionHeaderBytes +
                  snapshotBytes(snapshotAt.size(), static_cast<std::uint64_t>(binsUpTo(g.sites())),
                                static_cast<std::uint64_t>(chiExtent(g, snapshotAt).length)));
}

double totalsFileBytes(const std::vector<Geometry>& sizes, double samples,
                       const std::vector<double>& snapshotAt)
{
    double bytes = double(HeaderBytes + ChecksumBytes);
    for (const Geometry& g : sizes)
        bytes +=
            double(SizeHeaderBytes[Version]) + 4 + (double(g.elements()) + 1) * double(BytesPerN) +
            samples * double(bytesPerSample(g.eventCount())) + snapshotFileBytes(g, snapshotAt);
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
    if (version != 1 && version != 2)
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
            return fail("accumulator file is damaged or truncated (checksum mismatch)");
    }

    // Every size's header and extent against the length, before anything is allocated.
    const auto count = readAt<std::uint32_t>(in, sizeof(Magic) + 4);
    struct Extent
    {
        SizeHeader header;
        std::uint64_t start = 0; // of its sums
        std::vector<Section> sections;
    };
    std::vector<Extent> extents;
    std::uint64_t offset = HeaderBytes;
    const std::uint64_t headerBytes = SizeHeaderBytes[version];
    for (std::uint32_t i = 0; i < count; ++i) {
        if (body - offset < headerBytes)
            return fail("truncated accumulator file");
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        Reader r(in);
        SizeHeader h;
        h.L = static_cast<std::int32_t>(r.get<std::uint32_t>());
        h.boundary = r.get<std::uint8_t>();
        if (version == 2) {
            h.lattice = r.get<std::uint8_t>();
            h.model = r.get<std::uint8_t>();
            h.events = r.get<std::uint8_t>();
        }
        h.seed = r.get<std::uint64_t>();
        h.samples = r.get<std::uint64_t>();
        if (h.boundary > 1)
            return inconsistent("unknown boundary code");
        if (h.lattice >= Lattices.size() || h.model >= Models.size())
            return inconsistent("unknown lattice or model code");
        const Geometry g = h.geometry();
        if (h.L < 2 || h.L > g.largestL())
            return inconsistent("impossible lattice size " + std::to_string(h.L));
        if (const std::string reason = g.check(); !reason.empty())
            return inconsistent(reason);
        if (h.events != g.eventCount())
            return inconsistent("L = " + std::to_string(h.L) + " has " + std::to_string(h.events) +
                                " events per sample, not " + std::to_string(g.eventCount()));
        if (!extents.empty() && (h.L <= extents.back().header.L))
            return inconsistent("sizes not in ascending order");
        const SizeHeader& front = extents.empty() ? h : extents.front().header;
        if (h.lattice != front.lattice || h.model != front.model)
            return inconsistent("sizes of different lattices or models");
        if (h.boundary != front.boundary || h.seed != front.seed)
            return inconsistent("sizes of different boundaries or seeds");
        const auto E = static_cast<std::uint64_t>(g.elements());
        const std::uint64_t perSample = bytesPerSample(h.events);
        const std::string truncated =
            "truncated accumulator file (L = " + std::to_string(h.L) + ")";
        std::uint64_t left = body - offset - headerBytes;
        if ((E + 1) > left / BytesPerN || h.samples > (left - (E + 1) * BytesPerN) / perSample)
            return fail(truncated);
        Extent extent{h, offset + headerBytes, {}};
        offset += headerBytes + (E + 1) * BytesPerN + h.samples * perSample;
        if (version == 2) {
            if (body - offset < 4)
                return fail(truncated);
            const auto sections = readAt<std::uint32_t>(in, offset);
            offset += 4;
            for (std::uint32_t k = 0; k < sections; ++k) {
                if (body - offset < SectionHeaderBytes)
                    return fail(truncated);
                in.clear();
                in.seekg(static_cast<std::streamoff>(offset));
                Reader s(in);
                Section section;
                for (char& c : section.tag)
                    c = static_cast<char>(s.get<std::uint8_t>());
                section.length = s.get<std::uint64_t>();
                section.start = offset + SectionHeaderBytes;
                if (section.length > body - section.start)
                    return fail(truncated);
                const bool known =
                    std::any_of(Sections.begin(), Sections.end(),
                                [&](const SectionFormat& f) { return f.tag == section.tag; });
                if (!known)
                    return fail("L = " + std::to_string(h.L) + " has a section " +
                                tagText(section.tag) +
                                " that this version does not know (a newer one wrote it)");
                offset = section.start + section.length;
                extent.sections.push_back(section);
            }
        }
        extents.push_back(std::move(extent));
    }
    if (offset != body)
        return fail("accumulator file has unexpected data after its last size");

    std::vector<Totals> read;
    for (const Extent& extent : extents) {
        const SizeHeader& h = extent.header;
        const Geometry g = h.geometry();
        const std::string where = "L = " + std::to_string(h.L);
        in.clear();
        in.seekg(static_cast<std::streamoff>(extent.start));
        Reader r(in);
        Totals t(g, h.seed);
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
        for (std::uint64_t k = 0; k < h.samples; ++k) {
            SampleEvents& s = t.events[k];
            s.sample = r.get<std::uint64_t>();
            for (std::size_t e = 0; e < h.events; ++e)
                s.firstN[e] = static_cast<std::int32_t>(r.get<std::uint32_t>());
            if (k > 0 && s.sample <= t.events[k - 1].sample)
                return inconsistent(where + ": samples out of order or twice");
            if (!possibleEvents(s, g))
                return inconsistent(where + ": impossible events in sample " +
                                    std::to_string(s.sample));
        }
        if (!r.ok)
            return fail("cannot read the accumulator file");
        for (const Section& section : extent.sections) {
            in.clear();
            in.seekg(static_cast<std::streamoff>(section.start));
            Reader bytes(in);
            for (const SectionFormat& f : Sections)
                if (f.tag == section.tag)
                    if (std::string reason = f.read(bytes, section.length, t); !reason.empty())
                        return inconsistent(where + ", section " + tagText(section.tag) + ": " +
                                            reason);
        }
        read.push_back(std::move(t));
    }
    sizes = std::move(read);
    return true;
}

} // namespace stats
