// Times an operation against a peer or floor in the same benchmark run:
// both run once per iteration, the benchmark's time is the operation's, and
// the counters give the peer's time and the ratio.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>

namespace vbench {

template <class Op, class Peer>
void run_pair(benchmark::State& state, Op&& op, Peer&& peer) {
    using clock = std::chrono::steady_clock;
    double op_total = 0, peer_total = 0;
    int64_t n = 0;
    for (auto _ : state) {
        auto t0 = clock::now();
        op();
        auto t1 = clock::now();
        peer();
        auto t2 = clock::now();
        double a = std::chrono::duration<double>(t1 - t0).count();
        op_total += a;
        peer_total += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(a);
        ++n;
    }
    if (n > 0) {
        state.counters["vokri_ms"] = op_total / n * 1e3;
        state.counters["peer_ms"] = peer_total / n * 1e3;
        state.counters["ratio"] = op_total / peer_total;
    }
}

// The operation against Cairo in both of its anti-aliasing modes, all three
// once per iteration: the default mode (more samples than vokri) and
// CAIRO_ANTIALIAS_FAST (4 x 4 samples, like vokri: the like-for-like peer).
template <class Op, class Cairo, class CairoFast>
void run_vs_cairo(benchmark::State& state, Op&& op, Cairo&& cairo, CairoFast&& cairo_fast) {
    using clock = std::chrono::steady_clock;
    double total[3] = {0, 0, 0};
    int64_t n = 0;
    for (auto _ : state) {
        auto t0 = clock::now();
        op();
        auto t1 = clock::now();
        cairo();
        auto t2 = clock::now();
        cairo_fast();
        auto t3 = clock::now();
        const double a = std::chrono::duration<double>(t1 - t0).count();
        total[0] += a;
        total[1] += std::chrono::duration<double>(t2 - t1).count();
        total[2] += std::chrono::duration<double>(t3 - t2).count();
        state.SetIterationTime(a);
        ++n;
    }
    if (n > 0) {
        state.counters["vokri_ms"] = total[0] / n * 1e3;
        state.counters["cairo_ms"] = total[1] / n * 1e3;
        state.counters["cairo_fast_ms"] = total[2] / n * 1e3;
        state.counters["vs_cairo"] = total[0] / total[1];
        state.counters["vs_cairo_fast"] = total[0] / total[2];
    }
}

}  // namespace vbench
