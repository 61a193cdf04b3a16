#include "sweep.h"

#include "clustersizes.h"
#include "hugearray.h"
#include "streams.h"
#include "sweepkernel.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace stats {

namespace {

using namespace kernel;

// Below this size the union–find entries stay cached (a core's L2 holds 1–2 MiB) and the
// prefetching only costs instructions.
constexpr std::size_t PrefetchFromBytes = std::size_t{1} << 20;

template <int D> using Split16 = Split<std::uint16_t, D>;
template <int D> using Split32 = Split<std::uint32_t, D>;

TorusEncoding automaticEncoding(const Geometry& g)
{
    const bool plane = g.dimensions() == 2;
    if (plane && Packed::exact(g.L))
        return TorusEncoding::Packed;
    if (plane ? Split16<2>::exact(g.L) : Split16<3>::exact(g.L))
        return TorusEncoding::Split16;
    return TorusEncoding::Split32;
}

// The bytes of one union–find record, and of the records kept beside it.
std::size_t nodeBytes(const Geometry& g, TorusEncoding encoding)
{
    const bool plane = g.dimensions() == 2;
    if (g.boundary == Boundary::Open)
        return sizeof(OpenNode) + 1; // and its faces
    switch (encoding) {
    case TorusEncoding::Packed:
        return sizeof(TorusNode<Packed>) + sizeof(std::uint32_t);
    case TorusEncoding::Split16:
        return plane ? sizeof(TorusNode<Split16<2>>) : sizeof(TorusNode<Split16<3>>);
    default:
        return plane ? sizeof(TorusNode<Split32<2>>) : sizeof(TorusNode<Split32<3>>);
    }
}

std::size_t nodeCount(const Geometry& g)
{
    const auto L = static_cast<std::uint32_t>(g.L);
    if (g.dimensions() == 2)
        return g.boundary == Boundary::Open ? OpenGrid<2>(L).nodeCount()
                                            : TorusGrid<2>(L).nodeCount();
    return g.boundary == Boundary::Open ? OpenGrid<3>(L).nodeCount() : TorusGrid<3>(L).nodeCount();
}

using Outcome = std::array<std::int64_t, MaxDimensions>; // the first n of each dimension

} // namespace

bool encodingIsExact(TorusEncoding encoding, const Geometry& g)
{
    const bool plane = g.dimensions() == 2;
    switch (encoding) {
    case TorusEncoding::Packed:
        return plane && Packed::exact(g.L);
    case TorusEncoding::Split16:
        return plane ? Split16<2>::exact(g.L) : Split16<3>::exact(g.L);
    default:
        return true;
    }
}

struct Sweep::State
{
    using Run = Outcome (*)(State&, std::uint64_t seed, std::uint64_t sample, Totals&,
                            std::span<Snapshot>, ChiWindow);

    Geometry geometry;
    TorusEncoding encoding = TorusEncoding::Automatic;
    HugeArray<std::uint32_t> order; // the elements' codes, in the order of occupation
    // Indexed by the lattices' node numbers.
    HugeArray<OpenNode> open;
    HugeArray<std::uint8_t> faces;
    HugeArray<TorusNode<Packed>> packed;
    HugeArray<std::uint32_t> sizes; // of the packed torus
    HugeArray<TorusNode<Split16<2>>> split16;
    HugeArray<TorusNode<Split32<2>>> split32;
    HugeArray<TorusNode<Split16<3>>> split16Space;
    HugeArray<TorusNode<Split32<3>>> split32Space;
    bool prefetching = false;
    Batch batch{Geometry{}};
    const Totals* pending = nullptr; // the totals the batch belongs to
    Run run = nullptr;

    template <typename Lattice>
    void shuffle(const Lattice& lattice, std::uint64_t seed, std::uint64_t sample)
    {
        std::size_t k = 0;
        lattice.forEachElement([&](std::uint32_t code) { order[k++] = code; });
        assert(k == order.size());
        SampleStream stream(seed, sample);
        for (k = order.size(); k > 1; --k)
            std::swap(order[k - 1], order[stream.below(static_cast<std::uint32_t>(k))]);
    }

    auto& nodes(Packed*) { return packed; }
    auto& nodes(Split16<2>*) { return split16; }
    auto& nodes(Split32<2>*) { return split32; }
    auto& nodes(Split16<3>*) { return split16Space; }
    auto& nodes(Split32<3>*) { return split32Space; }

    template <typename Lattice> OpenFrame<Lattice> frame(const Lattice& l, OpenFrame<Lattice>*)
    {
        return {open.data(), faces.data(), l.none};
    }
    template <typename Lattice, typename Position>
    TorusFrame<Lattice, Position> frame(const Lattice& l, TorusFrame<Lattice, Position>*)
    {
        return {nodes(static_cast<Position*>(nullptr)).data(), sizes.data(), l.none};
    }
};

namespace {

using State = Sweep::State;

// The sweep's pauses for snapshots: the running values, and the clusters counted per size bin;
// and at each n of a window of χ, χ·N alone. The two lists are walked together in order of n.
struct SnapshotPauses
{
    std::span<Snapshot> snapshots;
    int bins;
    ChiWindow window;
    std::size_t nextSnapshot = 0;
    std::size_t nextWindow = 0;

    std::size_t count() const { return snapshots.size() + window.values.size(); }
    bool snapshotNext() const
    {
        return nextSnapshot < snapshots.size() &&
               (nextWindow == window.values.size() ||
                snapshots[nextSnapshot].n <= window.first + std::int64_t(nextWindow));
    }
    std::int64_t at(std::size_t) const
    {
        return snapshotNext() ? snapshots[nextSnapshot].n
                              : window.first + static_cast<std::int64_t>(nextWindow);
    }
    template <typename Running, typename Sweeper>
    void look(std::size_t, const Running& r, const Sweeper& sweeper)
    {
        if (!snapshotNext()) {
            window.values[nextWindow++] =
                r.squares - std::uint64_t{r.maxSize} * std::uint64_t{r.maxSize};
            return;
        }
        Snapshot& s = snapshots[nextSnapshot++];
        s.largest = r.maxSize;
        s.squares = r.squares;
        s.clusters = r.count;
        s.sizeCounts.assign(static_cast<std::size_t>(bins), 0);
        sweeper.forEachCluster(
            [&](std::uint32_t size) { ++s.sizeCounts[static_cast<std::size_t>(sizeBin(size))]; });
    }
};

template <typename Lattice, typename Frame, bool Portable>
Outcome sweepOn(State& s, std::uint64_t seed, std::uint64_t sample, Totals& totals,
                std::span<Snapshot> snapshots, ChiWindow window)
{
    const Lattice lattice(static_cast<std::uint32_t>(s.geometry.L));
    s.shuffle(lattice, seed, sample);
    Sweeper<Lattice, Frame, Portable> sweeper{lattice,
                                              s.frame(lattice, static_cast<Frame*>(nullptr)),
                                              {s.order.data(), s.order.size(), s.prefetching}};
    Outcome first{};
    auto keep = [&](const auto& r) {
        std::copy(r.first, r.first + Lattice::Dimensions, first.begin());
    };
    if (snapshots.empty() && window.values.empty()) {
        NoPauses none;
        keep(sweeper.run(s.batch, totals, none));
    } else {
        SnapshotPauses pauses{snapshots, binsUpTo(s.geometry.sites()), window};
        keep(sweeper.run(s.batch, totals, pauses));
    }
    return first;
}

template <typename Lattice, bool Portable> State::Run onTorus(TorusEncoding encoding)
{
    constexpr int D = Lattice::Dimensions;
    switch (encoding) {
    case TorusEncoding::Packed:
        if constexpr (D == 2)
            return &sweepOn<Lattice, TorusFrame<Lattice, Packed>, Portable>;
        else
            return nullptr;
    case TorusEncoding::Split16:
        return &sweepOn<Lattice, TorusFrame<Lattice, Split16<D>>, Portable>;
    default:
        return &sweepOn<Lattice, TorusFrame<Lattice, Split32<D>>, Portable>;
    }
}

template <template <typename, template <int> class> class Model, typename Shape, bool Portable>
State::Run forModel(Boundary boundary, TorusEncoding encoding)
{
    using Open = Model<Shape, OpenGrid>;
    if (boundary == Boundary::Open)
        return &sweepOn<Open, OpenFrame<Open>, Portable>;
    return onTorus<Model<Shape, TorusGrid>, Portable>(encoding);
}

template <typename Shape, bool Portable>
State::Run forShape(Model model, Boundary boundary, TorusEncoding encoding)
{
    return model == Model::Site ? forModel<Sites, Shape, Portable>(boundary, encoding)
                                : forModel<Bonds, Shape, Portable>(boundary, encoding);
}

template <bool Portable> State::Run chosen(const Geometry& g, TorusEncoding encoding)
{
    switch (g.lattice) {
    case Lattice::Square:
        return forShape<SquareShape, Portable>(g.model, g.boundary, encoding);
    case Lattice::Triangular:
        return forShape<TriangularShape, Portable>(g.model, g.boundary, encoding);
    case Lattice::Honeycomb:
        return forShape<HoneycombShape, Portable>(g.model, g.boundary, encoding);
    case Lattice::Cubic:
        return forShape<CubicShape, Portable>(g.model, g.boundary, encoding);
    }
    return nullptr;
}

} // namespace

Sweep::Sweep(const Geometry& geometry, SweepOptions options) : state(std::make_unique<State>())
{
    assert(geometry.check().empty());
    State& s = *state;
    s.geometry = geometry;
    if (geometry.boundary == Boundary::Torus)
        s.encoding = encodingIsExact(options.encoding, geometry) &&
                             options.encoding != TorusEncoding::Automatic
                         ? options.encoding
                         : automaticEncoding(geometry);
    s.run = options.portable ? chosen<true>(geometry, s.encoding)
                             : chosen<false>(geometry, s.encoding);
    s.order.resize(static_cast<std::size_t>(geometry.elements()));
    const std::size_t nodes = nodeCount(geometry);
    if (geometry.boundary == Boundary::Open) {
        s.open.resize(nodes), s.faces.resize(nodes);
    } else {
        const bool plane = geometry.dimensions() == 2;
        switch (s.encoding) {
        case TorusEncoding::Packed:
            s.packed.resize(nodes), s.sizes.resize(nodes);
            break;
        case TorusEncoding::Split16:
            plane ? s.split16.resize(nodes) : s.split16Space.resize(nodes);
            break;
        default:
            plane ? s.split32.resize(nodes) : s.split32Space.resize(nodes);
        }
    }
    const std::size_t recordBytes =
        geometry.boundary == Boundary::Open ? sizeof(OpenNode) : nodeBytes(geometry, s.encoding);
    s.prefetching = static_cast<std::size_t>(geometry.sites()) * recordBytes >= PrefetchFromBytes;
    s.batch = Batch(geometry);
}

Sweep::Sweep(int L, Boundary boundary, SweepOptions options)
    : Sweep(Geometry{Lattice::Square, Model::Site, L, boundary}, options)
{
}

Sweep::~Sweep() = default;

double Sweep::bytes(const Geometry& g)
{
    const double elements = double(g.elements());
    // The order, the batch's 40 bytes per n, and the union–find records.
    return 4 * elements + double(sizeof(Batch::Slot)) * (elements + 1) +
           double(nodeCount(g)) * double(nodeBytes(g, automaticEncoding(g)));
}

void Sweep::flush(Totals& totals)
{
    assert(state->pending == nullptr || state->pending == &totals);
    state->batch.flushInto(totals);
    state->pending = nullptr;
}

TorusEncoding Sweep::encoding() const
{
    return state->encoding;
}

void Sweep::run(std::uint64_t seed, std::uint64_t sample, Totals& totals)
{
    run(seed, sample, totals, {});
}

void Sweep::run(std::uint64_t seed, std::uint64_t sample, Totals& totals,
                std::span<Snapshot> snapshots, ChiWindow window)
{
    State& s = *state;
    const Geometry& g = s.geometry;
    assert(totals.geometry() == g);
    assert(s.pending == nullptr || s.pending == &totals);
    assert(std::is_sorted(snapshots.begin(), snapshots.end(),
                          [](const Snapshot& a, const Snapshot& b) { return a.n < b.n; }));
    if (s.batch.full())
        s.batch.flushInto(totals);
    s.pending = &totals;
    s.batch.started();
    assert(window.first >= 0 &&
           window.first + std::int64_t(window.values.size()) <= g.elements() + 1);
    Outcome first = s.run(s, seed, sample, totals, snapshots, window);
    const int D = g.dimensions();
    // On a torus of one site its sites are their own neighbours in every dimension, empty
    // until they are occupied: the first wraps at once. With open faces the lone site of a
    // bond lattice, which has no bonds, spans every dimension before anything is added.
    if (g.L == 1 && g.model == Model::Site && g.boundary == Boundary::Torus)
        first.fill(1);
    if (g.L == 1 && g.model == Model::Bond && g.boundary == Boundary::Open)
        first.fill(0);
    SampleEvents record;
    record.sample = sample;
    for (int k = 0; k < D; ++k)
        record.firstN[static_cast<std::size_t>(k)] =
            static_cast<std::int32_t>(first[static_cast<std::size_t>(D - 1 - k)]);
    const auto begin = first.begin(), end = first.begin() + D;
    record.firstN[static_cast<std::size_t>(D)] =
        static_cast<std::int32_t>(*std::min_element(begin, end));
    record.firstN[static_cast<std::size_t>(D + 1)] =
        static_cast<std::int32_t>(*std::max_element(begin, end));
    // Runs normally come in increasing sample order; anything else is put in its place.
    if (totals.events.empty() || totals.events.back().sample < sample)
        totals.events.push_back(record);
    else
        totals.events.insert(
            std::lower_bound(totals.events.begin(), totals.events.end(), sample,
                             [](const SampleEvents& e, std::uint64_t k) { return e.sample < k; }),
            record);
}

} // namespace stats
