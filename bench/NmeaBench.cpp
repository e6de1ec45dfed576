// The NMEA parser's throughput on what real receivers send: every log of
// tests/data/nmea without its "#" comment lines, one after another, in the
// reader's 512-byte reads. The yardstick is memchr finding every "$" in the
// same reads, the least any scan of the bytes must do.
//
// Both run in the same process, repetitions interleaved at random; the ratio
// at the end is of the medians of this one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gps/Nmea.h"

namespace {

constexpr size_t kReadSize = 512;

std::string LogBytes()
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(TAMSEL_NMEA_DATA)) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::string bytes;
    for (const std::string& name : names) {
        std::ifstream in(std::string(TAMSEL_NMEA_DATA) + "/" + name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        const std::string log = text.str();
        size_t at = 0;
        while (at < log.size()) {
            size_t end = log.find('\n', at);
            end = end == std::string::npos ? log.size() : end + 1;
            if (log[at] != '#')
                bytes.append(log, at, end - at);
            at = end;
        }
    }
    return bytes;
}

const std::string& Bytes()
{
    static const std::string bytes = LogBytes();
    return bytes;
}

void BM_Tamsel_ParseNmeaBuffer(benchmark::State& state)
{
    const std::string& bytes = Bytes();
    tamsel::SGpsInfo info;
    int32_t count = 0;
    uint32_t tick = 0;
    for (auto _ : state) {
        for (size_t at = 0; at < bytes.size(); at += kReadSize) {
            const size_t n = std::min(kReadSize, bytes.size() - at);
            benchmark::DoNotOptimize(tamsel::ParseNmeaBuffer(info, bytes.data() + at, n, ++tick, count));
        }
        benchmark::DoNotOptimize(info);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_Memchr_Dollar(benchmark::State& state)
{
    const std::string& bytes = Bytes();
    for (auto _ : state) {
        size_t found = 0;
        for (size_t at = 0; at < bytes.size(); at += kReadSize) {
            const char* p = bytes.data() + at;
            const char* end = p + std::min(kReadSize, bytes.size() - at);
            while ((p = static_cast<const char*>(std::memchr(p, '$', static_cast<size_t>(end - p))))) {
                ++found;
                ++p;
            }
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_Tamsel_ParseNmeaBuffer)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Memchr_Dollar)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Shows every result as usual and keeps the medians for the ratio.
class MedianKeeper : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                medians[r.run_name.function_name] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

} // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args(argv, argv + argc);
    char reps[] = "--benchmark_repetitions=15";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    char minTime[] = "--benchmark_min_time=0.2";
    args.insert(args.begin() + 1, {reps, interleave, aggregates, minTime});
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data()))
        return 1;

    const std::string& bytes = Bytes();
    if (bytes.empty()) {
        std::printf("no logs in %s\n", TAMSEL_NMEA_DATA);
        return 1;
    }
    // What the parser makes of the bytes, so the timing is of real work.
    tamsel::SGpsInfo info;
    int32_t count = 0;
    size_t reads = 0, dollars = 0, fixes = 0;
    const auto onSentence = [](void* fixCount, const tamsel::SGpsInfo&, const tamsel::SNmeaVerdict& v) {
        *static_cast<size_t*>(fixCount) += v.bPositionTaken;
    };
    for (size_t at = 0; at < bytes.size(); at += kReadSize, ++reads)
        tamsel::ParseNmeaBuffer(info, bytes.data() + at, std::min(kReadSize, bytes.size() - at), 1, count, onSentence,
                                &fixes);
    for (char c : bytes)
        dollars += c == '$';
    std::printf("%zu bytes of receiver logs in %zu reads: %zu \"$\", %zu positions taken\n", bytes.size(), reads,
                dollars, fixes);

    MedianKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double ours = reporter.medians["BM_Tamsel_ParseNmeaBuffer"];
    const double yardstick = reporter.medians["BM_Memchr_Dollar"];
    if (ours > 0 && yardstick > 0)
        std::printf("\nRatio of medians (parser time / memchr time): %.2f (%.2f us / %.2f us, %.0f MB/s / %.0f MB/s)\n",
                    ours / yardstick, ours, yardstick, bytes.size() / ours, bytes.size() / yardstick);
    return 0;
}
