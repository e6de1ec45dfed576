// YUY2 to 24-bit BGR of a 2592 x 1944 frame: Tamsel's Yuy2ToBgrRow, row by
// row as the still image is built, against libyuv (which has no direct
// YUY2 to RGB24 and goes through ARGB: YUY2ToARGB then ARGBToRGB24, libyuv's
// RGB24 being B, G, R in memory like a 24-bit DIB).
//
// libyuv is here as a yardstick only; it uses its own coefficients, so its
// bytes differ from ours. Before timing, this program checks that our output
// is the double formula's, byte for byte, on both frames.
//
// Every benchmark runs in the same process, repetitions interleaved at
// random; the ratios at the end are of the medians of this one run.
#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "capture/FrameRules.h"

namespace {

constexpr int kWidth = 2592;
constexpr int kHeight = 1944;
constexpr size_t kSrcStride = kWidth * 2;
constexpr size_t kDstStride = kWidth * 3; // already a multiple of four

// Arbitrary bytes: every value equally likely, the hardest case for our
// conversion (about one pixel in 250 needs the formula's own rounding).
std::vector<uint8_t> RandomFrame()
{
    std::vector<uint8_t> f(kSrcStride * kHeight);
    std::mt19937 rng(20240501);
    for (auto& b : f)
        b = static_cast<uint8_t>(rng());
    return f;
}

// A document page as a camera sees it: white paper, lines of dark text,
// a little sensor noise on every value.
std::vector<uint8_t> PageFrame()
{
    std::vector<uint8_t> f(kSrcStride * kHeight);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-2, 2);
    auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    for (int row = 0; row < kHeight; ++row) {
        const bool textLine = row > 120 && row < kHeight - 120 && (row / 24) % 2 == 0;
        for (int x = 0; x < kWidth; x += 2) {
            const bool ink = textLine && x > 150 && x < kWidth - 150 && (x / 40 + row / 48) % 7 != 0;
            uint8_t* p = &f[row * kSrcStride + static_cast<size_t>(x) * 2];
            const int y = ink ? 50 : 228;
            p[0] = clamp(y + noise(rng));
            p[1] = clamp(128 + noise(rng) / 2);
            p[2] = clamp(y + noise(rng));
            p[3] = clamp(128 + noise(rng) / 2);
        }
    }
    return f;
}

const std::vector<uint8_t>& Frame(int which)
{
    static const std::vector<uint8_t> random = RandomFrame();
    static const std::vector<uint8_t> page = PageFrame();
    return which == 0 ? random : page;
}

const char* FrameName(int which) { return which == 0 ? "random" : "page"; }

void TamselFrame(const uint8_t* src, uint8_t* dst)
{
    for (int row = 0; row < kHeight; ++row)
        tamsel::Yuy2ToBgrRow(kWidth, dst + kDstStride * row, src + kSrcStride * row);
}

// The conversion written out plainly, for the check.
uint8_t Formula(double v)
{
    double t = std::trunc(v);
    return static_cast<uint8_t>(t < 0 ? 0 : t > 255 ? 255 : t);
}

bool MatchesFormula(const std::vector<uint8_t>& src)
{
    std::vector<uint8_t> dst(kDstStride * kHeight);
    TamselFrame(src.data(), dst.data());
    for (size_t i = 0; i < src.size() / 2; ++i) {
        const uint8_t* pair = &src[(i / 2) * 4];
        const double c = 1.164 * (src[2 * i] - 16);
        const double u = pair[1] - 128, v = pair[3] - 128;
        const uint8_t* bgr = &dst[3 * i];
        if (bgr[0] != Formula(c + 2.018 * u) || bgr[1] != Formula(c - 0.391 * u - 0.813 * v) ||
            bgr[2] != Formula(c + 1.596 * v))
            return false;
    }
    return true;
}

void BM_Tamsel_Yuy2ToBgrRow(benchmark::State& state)
{
    const auto& src = Frame(static_cast<int>(state.range(0)));
    std::vector<uint8_t> dst(kDstStride * kHeight);
    for (auto _ : state) {
        TamselFrame(src.data(), dst.data());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetLabel(FrameName(static_cast<int>(state.range(0))));
}

// The frame through libyuv's two calls, each over the whole frame.
void BM_Libyuv_Frame_YUY2ToARGB_ARGBToRGB24(benchmark::State& state)
{
    const auto& src = Frame(static_cast<int>(state.range(0)));
    std::vector<uint8_t> argb(static_cast<size_t>(kWidth) * 4 * kHeight);
    std::vector<uint8_t> dst(kDstStride * kHeight);
    for (auto _ : state) {
        libyuv::YUY2ToARGB(src.data(), kSrcStride, argb.data(), kWidth * 4, kWidth, kHeight);
        libyuv::ARGBToRGB24(argb.data(), kWidth * 4, dst.data(), kDstStride, kWidth, kHeight);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetLabel(FrameName(static_cast<int>(state.range(0))));
}

// The same two calls a row at a time through one ARGB row that stays in
// the cache, as libyuv's own composite conversions do: the stronger rival.
void BM_Libyuv_Rows_YUY2ToARGB_ARGBToRGB24(benchmark::State& state)
{
    const auto& src = Frame(static_cast<int>(state.range(0)));
    std::vector<uint8_t> argb(static_cast<size_t>(kWidth) * 4);
    std::vector<uint8_t> dst(kDstStride * kHeight);
    for (auto _ : state) {
        for (int row = 0; row < kHeight; ++row) {
            libyuv::YUY2ToARGB(src.data() + kSrcStride * row, kSrcStride, argb.data(), kWidth * 4,
                               kWidth, 1);
            libyuv::ARGBToRGB24(argb.data(), kWidth * 4, dst.data() + kDstStride * row, kDstStride,
                                kWidth, 1);
        }
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetLabel(FrameName(static_cast<int>(state.range(0))));
}

// What a still capture of such a frame costs in all: the BMP buffer, its
// header and the bottom-up conversion.
void BM_Tamsel_BuildStillImage(benchmark::State& state)
{
    const auto& src = Frame(static_cast<int>(state.range(0)));
    const tamsel::FrameDesc desc{kWidth, kHeight, true, 2, false};
    std::vector<uint8_t> out;
    for (auto _ : state) {
        std::vector<uint8_t>().swap(out);
        benchmark::DoNotOptimize(tamsel::BuildStillImage(desc, src.data(), src.size(), out));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetLabel(FrameName(static_cast<int>(state.range(0))));
}

BENCHMARK(BM_Tamsel_Yuy2ToBgrRow)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Libyuv_Frame_YUY2ToARGB_ARGBToRGB24)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Libyuv_Rows_YUY2ToARGB_ARGBToRGB24)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Tamsel_BuildStillImage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Shows every result as usual and keeps the medians for the ratios.
class MedianKeeper : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                medians[r.run_name.function_name + "/" + r.run_name.args] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

} // namespace

int main(int argc, char** argv)
{
    // Defaults for a fair comparison; any of them can be overridden.
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

    for (int which = 0; which < 2; ++which) {
        const bool exact = MatchesFormula(Frame(which));
        std::printf("bit-exact against the double formula on the %s frame: %s\n", FrameName(which),
                    exact ? "yes" : "NO");
        if (!exact)
            return 1;
    }

    MedianKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nRatios of medians (Tamsel time / libyuv time; below 2 meets the goal):\n");
    for (const char* arg : {"0", "1"}) {
        const std::string frame = FrameName(arg[0] - '0');
        auto get = [&](const char* name) {
            auto it = reporter.medians.find(std::string(name) + "/" + arg);
            return it == reporter.medians.end() ? 0.0 : it->second;
        };
        const double ours = get("BM_Tamsel_Yuy2ToBgrRow");
        const double frameWise = get("BM_Libyuv_Frame_YUY2ToARGB_ARGBToRGB24");
        const double rowWise = get("BM_Libyuv_Rows_YUY2ToARGB_ARGBToRGB24");
        if (ours > 0 && frameWise > 0)
            std::printf("  %-6s frame: %.2f against libyuv frame-wise (%.3f ms / %.3f ms)\n", frame.c_str(),
                        ours / frameWise, ours, frameWise);
        if (ours > 0 && rowWise > 0)
            std::printf("  %-6s frame: %.2f against libyuv row-wise   (%.3f ms / %.3f ms)\n", frame.c_str(),
                        ours / rowWise, ours, rowWise);
    }
    return 0;
}
