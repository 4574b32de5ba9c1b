// Cost of one uniform draw for each generator, and of one exponential sample
// through the program-wide distribution object.
#include <benchmark/benchmark.h>

#include "random/Distributions.h"
#include "random/LaggedFibonacci.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"

namespace {

template <class Generator>
void BM_rnd(benchmark::State& state) {
  Generator generator;
  generator.srnd(31415);
  for (auto _ : state) benchmark::DoNotOptimize(generator.rnd());
  state.SetItemsProcessed(state.iterations());
}

void BM_Exponential(benchmark::State& state) {
  TheDistribution->GetGenerator()->srnd(31415);
  for (auto _ : state) benchmark::DoNotOptimize(TheDistribution->Exponential(0.5));
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK_TEMPLATE(BM_rnd, LaggedFibonacci);
BENCHMARK_TEMPLATE(BM_rnd, Tausworthe);
BENCHMARK_TEMPLATE(BM_rnd, MersenneTwister);
BENCHMARK(BM_Exponential);

BENCHMARK_MAIN();
