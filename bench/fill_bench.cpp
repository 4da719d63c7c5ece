// Fill benchmarks (filled circles at 1920 x 1080), vokri against Cairo.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
