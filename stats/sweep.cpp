#include "sweep.h"

#include "hugearray.h"
#include "streams.h"
#include "sweepkernel.h"

#include <algorithm>
#include <cassert>

namespace stats {

namespace {

using namespace kernel;

// Below this size the union–find entries stay cached (a core's L2 holds 1–2 MiB) and the
// prefetching only costs instructions.
constexpr std::size_t PrefetchFromBytes = std::size_t{1} << 20;

TorusEncoding automaticEncoding(int L)
{
    return Packed::exact(L)                 ? TorusEncoding::Packed
           : Split<std::uint16_t>::exact(L) ? TorusEncoding::Split16
                                            : TorusEncoding::Split32;
}

} // namespace

bool encodingIsExact(TorusEncoding encoding, int L)
{
    switch (encoding) {
    case TorusEncoding::Packed:
        return Packed::exact(L);
    case TorusEncoding::Split16:
        return Split<std::uint16_t>::exact(L);
    default:
        return true;
    }
}

struct Sweep::State
{
    std::uint32_t L = 0;
    Boundary boundary = Boundary::Open;
    TorusEncoding encoding = TorusEncoding::Automatic;
    bool portable = false;
    HugeArray<std::uint32_t> order; // packed y << 16 | x, in the order of occupation
    // Indexed by the lattices' node numbers.
    HugeArray<OpenNode> parent;
    HugeArray<TorusNode<Packed>> packedTorus;
    HugeArray<TorusNode<Split<std::uint16_t>>> smallTorus;
    HugeArray<TorusNode<Split<std::uint32_t>>> torus;
    HugeArray<std::uint8_t> faces;
    HugeArray<std::uint32_t> sizes; // of the packed torus
    bool prefetching = false;
    Batch batch{0};
    const Totals* pending = nullptr; // the totals the batch belongs to

    void shuffle(std::uint64_t seed, std::uint64_t sample)
    {
        std::size_t k = 0;
        for (std::uint32_t y = 0; y < L; ++y)
            for (std::uint32_t x = 0; x < L; ++x)
                order[k++] = y << 16 | x;
        SampleStream stream(seed, sample);
        for (k = order.size(); k > 1; --k)
            std::swap(order[k - 1], order[stream.below(static_cast<std::uint32_t>(k))]);
    }

    Arrays arrays() { return {order.data(), order.size(), prefetching}; }

    template <typename Lattice, typename Frame>
    Running<2> sweep(const Lattice& lattice, Frame frame, Totals& totals)
    {
        if (portable)
            return Sweeper<Lattice, Frame, true>{lattice, frame, arrays()}.run(batch, totals);
        return Sweeper<Lattice, Frame, false>{lattice, frame, arrays()}.run(batch, totals);
    }

    template <typename Position>
    Running<2> torusSweep(HugeArray<TorusNode<Position>>& nodes, Totals& totals)
    {
        const SquareTorus lattice(L);
        return sweep(lattice,
                     TorusFrame<SquareTorus, Position>(nodes.data(), sizes.data(), lattice.none),
                     totals);
    }

    Running<2> sweep(Totals& totals)
    {
        if (boundary == Boundary::Open) {
            const SquareOpen lattice(L);
            return sweep(lattice, OpenFrame<SquareOpen>{parent.data(), faces.data(), lattice.none},
                         totals);
        }
        switch (encoding) {
        case TorusEncoding::Packed:
            return torusSweep(packedTorus, totals);
        case TorusEncoding::Split16:
            return torusSweep(smallTorus, totals);
        default:
            return torusSweep(torus, totals);
        }
    }
};

Sweep::Sweep(int L, Boundary boundary, SweepOptions options) : state(std::make_unique<State>())
{
    State& s = *state;
    const auto side = static_cast<std::uint32_t>(L);
    s.L = side;
    s.boundary = boundary;
    s.portable = options.portable;
    const std::size_t sites = std::size_t{side} * side;
    s.order.resize(sites);
    std::size_t nodeBytes = sizeof(OpenNode);
    const std::size_t nodes = SquareTorus(side).nodeCount();
    if (boundary == Boundary::Open) {
        const std::size_t cells = SquareOpen(side).nodeCount();
        s.parent.resize(cells), s.faces.resize(cells);
    } else {
        s.encoding =
            encodingIsExact(options.encoding, L) && options.encoding != TorusEncoding::Automatic
                ? options.encoding
                : automaticEncoding(L);
        if (s.encoding == TorusEncoding::Packed)
            s.packedTorus.resize(nodes), s.sizes.resize(nodes),
                nodeBytes = sizeof(TorusNode<Packed>) + sizeof(std::uint32_t);
        else if (s.encoding == TorusEncoding::Split16)
            s.smallTorus.resize(nodes), nodeBytes = sizeof(TorusNode<Split<std::uint16_t>>);
        else
            s.torus.resize(nodes), nodeBytes = sizeof(TorusNode<Split<std::uint32_t>>);
    }
    s.prefetching = sites * nodeBytes >= PrefetchFromBytes;
    s.batch = Batch(L);
}

Sweep::~Sweep() = default;

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
    State& s = *state;
    assert(totals.L == static_cast<int>(s.L) && totals.boundary == s.boundary);
    assert(s.pending == nullptr || s.pending == &totals);
    if (s.batch.full())
        s.batch.flushInto(totals);
    s.pending = &totals;
    s.batch.started();
    s.shuffle(seed, sample);
    const Running<2> r = s.sweep(totals);
    // Dimension 0 runs left to right, 1 top to bottom.
    std::int64_t horizontal = r.first[0];
    std::int64_t vertical = r.first[1];
    // On a 1 × 1 torus the lone site is its own neighbour both ways: it wraps at once.
    if (s.boundary == Boundary::Torus && s.L == 1)
        vertical = horizontal = 1;
    SampleEvents record;
    record.sample = sample;
    record.firstN = {static_cast<std::int32_t>(vertical), static_cast<std::int32_t>(horizontal),
                     static_cast<std::int32_t>(std::min(vertical, horizontal)),
                     static_cast<std::int32_t>(std::max(vertical, horizontal))};
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
