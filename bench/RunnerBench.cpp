// SPDX-License-Identifier: GPL-3.0-or-later

// The process runner against `cat` of the same bytes to /dev/null, and its memory.
#include "BenchSupport.h"
#include "engine/adapters/InfoZip.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/tools/ProgressStep.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>

using namespace tarvo;

namespace {

std::filesystem::path g_dir;
std::filesystem::path g_lines;   // 1,000,000 lines, 58 MB
std::filesystem::path g_fewer;   // 10,000 lines of the same kind
std::filesystem::path g_listing; // about 68 MB, the size of a 100,000-entry lsar listing

void writeLines(const std::filesystem::path& path, long long count, const char* pattern)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    for (long long i = 0; i < count; ++i) {
        std::fprintf(file, pattern, i);
    }
    std::fclose(file);
}

void prepare()
{
    g_dir = bench::scratchDirectory();
    g_lines = g_dir / "lines.txt";
    g_fewer = g_dir / "fewer.txt";
    g_listing = g_dir / "listing.json";
    // 58 bytes a line, as unzip names each file it writes.
    const char* inflating = "  inflating: Photos/2024/Holiday/Beach/IMG_%08lld.jpg  \n";
    writeLines(g_lines, 1000000, inflating);
    writeLines(g_fewer, 10000, inflating);
    writeLines(g_listing, 2200000, "      \"XADFileName\": \"f/%010lld\",\n");
}

void BM_Cat(benchmark::State& state)
{
    for (auto _ : state) {
        bench::runToDevNull({"/bin/cat", g_lines.string()});
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(g_lines)));
}

// The cheapest consumer of the same stream through a pipe: cat reading the child's output.
void BM_CatThroughPipe(benchmark::State& state)
{
    for (auto _ : state) {
        bench::runPipelineToDevNull({"/bin/cat", g_lines.string()}, {"/bin/cat"});
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(g_lines)));
}

void runnerOver(benchmark::State& state, const std::filesystem::path& input)
{
    engine::ToolRun run;
    run.executable = "/bin/cat";
    run.arguments = {input.string()};
    run.reading = &engine::InfoZip::unzipReading;
    std::int64_t peakGrowth = 0;
    for (auto _ : state) {
        std::atomic<long long> counted{0};
        const std::int64_t before = bench::residentBytes();
        bench::resetPeakResident();
        std::int64_t reported = 0;
        engine::ProcessRunner::run(run, [&](std::string_view line) {
            counted.fetch_add(run.reading->progress(line, reported).entries, std::memory_order_relaxed);
        });
        peakGrowth = std::max(peakGrowth, bench::peakResidentBytes() - before);
        benchmark::DoNotOptimize(counted.load());
    }
    state.counters["peak_growth_MB"] = static_cast<double>(peakGrowth) / (1 << 20);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(input)));
}

void BM_RunnerMillionLines(benchmark::State& state)
{
    runnerOver(state, g_lines);
}

void BM_RunnerTenThousandLines(benchmark::State& state)
{
    runnerOver(state, g_fewer);
}

void BM_Capture68MB(benchmark::State& state)
{
    engine::ToolRun run;
    run.executable = "/bin/cat";
    run.arguments = {g_listing.string()};
    const auto size = static_cast<double>(std::filesystem::file_size(g_listing));
    double copies = 0;
    for (auto _ : state) {
        const std::int64_t before = bench::residentBytes();
        bench::resetPeakResident();
        {
            const std::string output = engine::ProcessRunner::capture(run);
            benchmark::DoNotOptimize(output.data());
        }
        copies = std::max(copies, static_cast<double>(bench::peakResidentBytes() - before) / size);
    }
    state.counters["peak_copies"] = copies;
}

} // namespace

BENCHMARK(BM_Cat)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_CatThroughPipe)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_RunnerMillionLines)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_RunnerTenThousandLines)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_Capture68MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The machine's load changes from second to second, so the ratio is taken pair by pair: each
// pair runs the two side by side, and the median of the pairs' ratios is reported.
double pairedRatio(int pairs)
{
    engine::ToolRun run;
    run.executable = "/bin/cat";
    run.arguments = {g_lines.string()};
    run.reading = &engine::InfoZip::unzipReading;
    std::vector<double> ratios;
    for (int i = 0; i < pairs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        bench::runPipelineToDevNull({"/bin/cat", g_lines.string()}, {"/bin/cat"});
        const auto t1 = std::chrono::steady_clock::now();
        std::atomic<long long> counted{0};
        std::int64_t reported = 0;
        engine::ProcessRunner::run(run, [&](std::string_view line) {
            counted.fetch_add(run.reading->progress(line, reported).entries, std::memory_order_relaxed);
        });
        const auto t2 = std::chrono::steady_clock::now();
        ratios.push_back(std::chrono::duration<double>(t2 - t1).count() /
                         std::chrono::duration<double>(t1 - t0).count());
    }
    std::sort(ratios.begin(), ratios.end());
    return ratios[ratios.size() / 2];
}

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    prepare();
    bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double cat = reporter.realTime("BM_Cat");
    const double piped = reporter.realTime("BM_CatThroughPipe");
    const double runner = reporter.realTime("BM_RunnerMillionLines");
    if (cat > 0 && piped > 0 && runner > 0) {
        std::printf("\n1,000,000 lines, medians of 7:\n");
        std::printf("  runner / (cat FILE | cat > /dev/null): %.2fx  (target: at most 1.50x)\n", runner / piped);
        std::printf("  runner / (cat FILE > /dev/null):       %.2fx  (no pipe at all)\n", runner / cat);
    }
    std::printf("  runner / (cat FILE | cat > /dev/null), median of 31 side-by-side pairs: %.2fx\n", pairedRatio(31));
    benchmark::Shutdown();
    std::filesystem::remove_all(g_dir);
    return 0;
}
