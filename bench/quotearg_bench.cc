// Throughput of the quoting engine in the locale style.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "quotearg.h"

namespace
{

constexpr std::size_t k_arg_size = 4096;

// k_arg_size bytes drawn uniformly from lo to hi.
std::string random_string(unsigned seed, int lo, int hi)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> byte(lo, hi);
    std::string s(k_arg_size, ' ');
    for (char& c : s)
        c = static_cast<char>(byte(gen));
    return s;
}

void render(benchmark::State& state, const std::string& arg)
{
    quote_options o{};
    o.style = quote_style::locale;
    std::vector<char> buf(4 * k_arg_size + 3);
    for (auto _ : state) {
        std::size_t n = quotearg_buffer(buf.data(), buf.size(), arg.data(), arg.size(), &o);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * arg.size()));
}

void BM_LocalePrintableAscii(benchmark::State& state)
{
    render(state, random_string(1, 0x20, 0x7e));
}

void BM_LocaleRandomBytes(benchmark::State& state)
{
    render(state, random_string(2, 0, 255));
}

BENCHMARK(BM_LocalePrintableAscii);
BENCHMARK(BM_LocaleRandomBytes);

} // namespace

BENCHMARK_MAIN();
