#include "capture/FrameRules.h"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace tamsel {

// Every size below is computed in 64 bits from bounded sides, so nothing
// wraps; the largest image there can be still fits a 32-bit size_t.
static_assert(uint64_t{kMaxFrameSide} * kMaxFrameSide * (kMaxFrameBits / 8) + kBmpHeaderSize <= SIZE_MAX,
              "the largest still image must be addressable");
static_assert(uint64_t{kMaxFrameSide + 3} * kMaxFrameSide * 2 <= UINT32_MAX,
              "the largest YUY2 image size must fit its 32-bit field");

namespace {

// The number of rows of a height within the bounds, whatever its sign.
uint64_t Rows(long height)
{
    return static_cast<uint64_t>(height < 0 ? -height : height);
}

} // namespace

bool FrameSizeAllowed(long width, long height, int bitsPerPixel)
{
    // Compared before any negation: -LONG_MIN does not exist.
    return width >= 1 && width <= kMaxFrameSide && height >= -kMaxFrameSide &&
           height <= kMaxFrameSide && height != 0 && bitsPerPixel >= 0 &&
           bitsPerPixel <= kMaxFrameBits;
}

CaptureFormatChoice ChooseCaptureFormat(int resMode, int maxWidth, int maxHeight)
{
    switch (resMode) {
    case 1: return {640, 480, false};
    case 2: return {800, 600, false};
    case 3: return {1024, 768, false};
    default:
        // The largest size is applied as a format: it has to be a real one.
        if (maxHeight < 0 || !FrameSizeAllowed(maxWidth, maxHeight, 16))
            return {0, 0, false};
        if (maxWidth >= 2592 && maxHeight >= 1944)
            return {640, 480, true};
        return {maxWidth, maxHeight, false};
    }
}

uint32_t Yuy2ImageSize(int width, int height)
{
    if (!FrameSizeAllowed(width, height, 16))
        return 0;
    const uint64_t rowPixels = (static_cast<uint64_t>(width) + 3) & ~uint64_t{3};
    return static_cast<uint32_t>(rowPixels * Rows(height) * 2);
}

namespace {

// The per-value terms of the conversion, each exactly the double the formula
// computes, so a sum of table entries equals the formula's own arithmetic.
struct Yuy2Tables {
    double luma[256];  // 1.164 * (Y - 16)
    double rFromV[256]; // 1.596 * (V - 128)
    double gFromU[256]; // 0.391 * (U - 128)
    double gFromV[256]; // 0.813 * (V - 128)
    double bFromU[256]; // 2.018 * (U - 128)

    Yuy2Tables()
    {
        for (int i = 0; i < 256; ++i) {
            luma[i] = 1.164 * (i - 16);
            rFromV[i] = 1.596 * (i - 128);
            gFromU[i] = 0.391 * (i - 128);
            gFromV[i] = 0.813 * (i - 128);
            bFromU[i] = 2.018 * (i - 128);
        }
    }
};

const Yuy2Tables& Tables()
{
    static const Yuy2Tables tables;
    return tables;
}

inline uint8_t Limit(double value)
{
    const int v = static_cast<int>(value); // truncates toward zero
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// One pixel by the formula itself.
inline void PixelByFormula(const Yuy2Tables& t, int y, int u, int v, uint8_t* bgr)
{
    const double c = t.luma[y];
    bgr[0] = Limit(c + t.bFromU[u]);
    bgr[1] = Limit(c - t.gFromU[u] - t.gFromV[v]);
    bgr[2] = Limit(c + t.rFromV[v]);
}

void PairsByFormula(int pairs, uint8_t* dst, const uint8_t* src)
{
    const Yuy2Tables& t = Tables();
    for (int pair = 0; pair < pairs; ++pair, src += 4, dst += 6) {
        const double c0 = t.luma[src[0]];
        const double c1 = t.luma[src[2]];
        const double r = t.rFromV[src[3]];
        const double gu = t.gFromU[src[1]];
        const double gv = t.gFromV[src[3]];
        const double b = t.bFromU[src[1]];
        dst[0] = Limit(c0 + b);
        dst[1] = Limit(c0 - gu - gv);
        dst[2] = Limit(c0 + r);
        dst[3] = Limit(c1 + b);
        dst[4] = Limit(c1 - gu - gv);
        dst[5] = Limit(c1 + r);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define TAMSEL_YUY2_SIMD 1

// The vector converters give exactly what the double formula gives, with
// 16-bit integers.
//
// Scaled by 1000 each value is an integer:
//   N_R = 1164y + 1596v,  N_G = 1164y - 391u - 813v,  N_B = 1164y + 2018u
// (y = Y-16, u = U-128, v = V-128), and the double arithmetic stays within
// 1e-12 of N/1000. So where N is not a multiple of 1000 the truncated double
// is floor(N/1000): the fraction is at least 0.001. Where N/1000 is a whole
// number n, the rounding of the doubles decides between n and n-1; those
// pixels (about one in 140 of arbitrary input, none of neutral grey or
// black) are flagged and done again by the formula. n = 0 needs nothing:
// both candidates limit to 0. A flag for a value below 0 or above 255 costs
// time only.
//
// floor(N/1000) is split into a part known outright and a remainder X that
// fits 16 bits and is divided exactly by a multiply-high:
//   R: N_R/4 = 250(y + 2v) + W,  W = 41y - 101v,  divisor 250
//   B: N_B/2 = 500(y + 2u) + W,  W = 82y + 9u,    divisor 500
//   G: per pixel pair S = (25U + 52V) >> 6, close below 0.391U + 0.813V,
//      and T = 391U + 813V - 1000S, which then lies in 0..1207; so
//      N_G = 1000(Y - S + 135) + 164Y - T + 488,  divisor 1000
// Sums of bytes times small weights come from pmaddubsw; 391U + 813V is
// taken as 128(3U + 6V) + 7U + 45V, exact modulo 2^16, which is all T needs.
// Each remainder gets a bias that makes it non-negative and below 59074,
// where x * 33555 >> (22 + k) is x / (125 * 2^k) rounded down, exactly
// (k = 1, 2, 3 for the divisors 250, 500, 1000): the high half of the
// product, shifted right by 6 + k. The remainders span 17..36227 (R),
// 36..23241 (B) and 1281..44308 (G). X is a multiple of its divisor exactly
// where N/1000 is whole.
//
// Both converters work on eight pixels per 128-bit lane the same way; the
// AVX2 one has two lanes.
namespace k {
constexpr short kRBias = 25772; // 41 * -16 - 101 * -128 + 250 * 54
constexpr short kBBias = 36;    // 82 * -16 + 9 * -128 + 500 * 5
constexpr short kRBase = 326;   // 16 + 2 * 128 + 54
constexpr short kBBase = 277;   // 16 + 2 * 128 + 5
constexpr short kSBase = 133;   // 135 - 2: gX below carries a bias of 2000
constexpr short kTBase = 2488;  // 488 + 2000
constexpr short kMagic = static_cast<short>(33555); // used unsigned
// Byte weights for pmaddubsw, first byte in the low half.
constexpr short kRWeights = static_cast<short>(0x9B29); // 41, -101
constexpr short kBWeights = 0x0952;                     // 82, 9
constexpr short kOneTwo = 0x0201;                       // 1, 2
constexpr short kSWeights = 0x3419;                     // 25, 52
constexpr short kHiWeights = 0x0603;                    // 3, 6
constexpr short kLoWeights = 0x2D07;                    // 7, 45
} // namespace k

// Byte indexes, per 128-bit lane: Y of each pixel with V, or U, of its pair.
#define TAMSEL_TAKE_YV 0, 3, 2, 3, 4, 7, 6, 7, 8, 11, 10, 11, 12, 15, 14, 15
#define TAMSEL_TAKE_YU 0, 1, 2, 1, 4, 5, 6, 5, 8, 9, 10, 9, 12, 13, 14, 13
// Output bytes B G R of eight pixels, the first 16 and the last 8, from
// bg (B0..B7 G0..G7) and rr (R0..R7).
#define TAMSEL_OUT0_BG 0, 8, -1, 1, 9, -1, 2, 10, -1, 3, 11, -1, 4, 12, -1, 5
#define TAMSEL_OUT1_BG 13, -1, 6, 14, -1, 7, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1
#define TAMSEL_OUT0_R -1, -1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1
#define TAMSEL_OUT1_R -1, 5, -1, -1, 6, -1, -1, 7, -1, -1, -1, -1, -1, -1, -1, -1

// Redoes the flagged pixels (bit i: pixel i) of a step with the formula.
void RedoByFormula(uint32_t flags, uint8_t* dst, const uint8_t* src)
{
    const Yuy2Tables& t = Tables();
    for (; flags; flags &= flags - 1) {
        const int i = __builtin_ctz(flags);
        const uint8_t* pair = src + 4 * (i / 2);
        PixelByFormula(t, src[2 * i], pair[1], pair[3], dst + 3 * i);
    }
}

// Sixteen pixels a step.
__attribute__((target("ssse3"))) int ConvertSsse3(int steps, uint8_t* dst, const uint8_t* src)
{
    using namespace k;
    const __m128i takeYV = _mm_setr_epi8(TAMSEL_TAKE_YV);
    const __m128i takeYU = _mm_setr_epi8(TAMSEL_TAKE_YU);
    const __m128i out0BG = _mm_setr_epi8(TAMSEL_OUT0_BG);
    const __m128i out1BG = _mm_setr_epi8(TAMSEL_OUT1_BG);
    const __m128i out0R = _mm_setr_epi8(TAMSEL_OUT0_R);
    const __m128i out1R = _mm_setr_epi8(TAMSEL_OUT1_R);
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    const __m128i zero = _mm_setzero_si128();
    // Kept opaque: GCC would otherwise turn each multiply by a constant into
    // a longer chain of shifts and adds.
    __m128i k250 = _mm_set1_epi16(250), k500 = _mm_set1_epi16(500);
    __m128i k1000 = _mm_set1_epi16(1000), k164 = _mm_set1_epi16(164);
    __asm__("" : "+x"(k250), "+x"(k500), "+x"(k1000), "+x"(k164));

    for (int step = 0; step < steps; ++step, src += 32, dst += 48) {
        const __m128i x[2] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16))};

        // S and T of G for the eight pairs.
        const __m128i uv = _mm_packus_epi16(_mm_srli_epi16(x[0], 8), _mm_srli_epi16(x[1], 8));
        const __m128i s = _mm_srli_epi16(_mm_maddubs_epi16(uv, _mm_set1_epi16(kSWeights)), 6);
        const __m128i uvSum = _mm_add_epi16(
            _mm_slli_epi16(_mm_maddubs_epi16(uv, _mm_set1_epi16(kHiWeights)), 7),
            _mm_maddubs_epi16(uv, _mm_set1_epi16(kLoWeights)));
        const __m128i tb = _mm_sub_epi16(_mm_sub_epi16(uvSum, _mm_mullo_epi16(s, k1000)),
                                         _mm_set1_epi16(kTBase));
        const __m128i sb = _mm_sub_epi16(s, _mm_set1_epi16(kSBase));

        __m128i doubt[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i yv = _mm_shuffle_epi8(x[h], takeYV);
            const __m128i yu = _mm_shuffle_epi8(x[h], takeYU);
            const __m128i y = _mm_and_si128(x[h], lowBytes);

            const __m128i rX = _mm_add_epi16(_mm_maddubs_epi16(yv, _mm_set1_epi16(kRWeights)),
                                             _mm_set1_epi16(kRBias));
            const __m128i rQ = _mm_srli_epi16(_mm_mulhi_epu16(rX, _mm_set1_epi16(kMagic)), 7);
            const __m128i r = _mm_sub_epi16(_mm_add_epi16(_mm_maddubs_epi16(yv, _mm_set1_epi16(kOneTwo)), rQ),
                                            _mm_set1_epi16(kRBase));

            const __m128i bX = _mm_add_epi16(_mm_maddubs_epi16(yu, _mm_set1_epi16(kBWeights)),
                                             _mm_set1_epi16(kBBias));
            const __m128i bQ = _mm_srli_epi16(_mm_mulhi_epu16(bX, _mm_set1_epi16(kMagic)), 8);
            const __m128i b = _mm_sub_epi16(_mm_add_epi16(_mm_maddubs_epi16(yu, _mm_set1_epi16(kOneTwo)), bQ),
                                            _mm_set1_epi16(kBBase));

            const __m128i gS = h ? _mm_unpackhi_epi16(sb, sb) : _mm_unpacklo_epi16(sb, sb);
            const __m128i gT = h ? _mm_unpackhi_epi16(tb, tb) : _mm_unpacklo_epi16(tb, tb);
            const __m128i gX = _mm_sub_epi16(_mm_mullo_epi16(y, k164), gT);
            const __m128i gQ = _mm_srli_epi16(_mm_mulhi_epu16(gX, _mm_set1_epi16(kMagic)), 9);
            const __m128i g = _mm_sub_epi16(_mm_add_epi16(y, gQ), gS);

            // Non-zero where a value is whole and not 0.
            doubt[h] = _mm_or_si128(
                _mm_or_si128(_mm_and_si128(r, _mm_cmpeq_epi16(rX, _mm_mullo_epi16(rQ, k250))),
                             _mm_and_si128(b, _mm_cmpeq_epi16(bX, _mm_mullo_epi16(bQ, k500)))),
                _mm_and_si128(g, _mm_cmpeq_epi16(gX, _mm_mullo_epi16(gQ, k1000))));

            // Limited to 0..255 by the packing.
            const __m128i bg = _mm_packus_epi16(b, g);
            const __m128i rr = _mm_packus_epi16(r, r);
            uint8_t* out = dst + 24 * h;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                             _mm_or_si128(_mm_shuffle_epi8(bg, out0BG), _mm_shuffle_epi8(rr, out0R)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16),
                             _mm_or_si128(_mm_shuffle_epi8(bg, out1BG), _mm_shuffle_epi8(rr, out1R)));
        }

        // Packing keeps a non-zero word non-zero; pixel i is byte i.
        const unsigned sure = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_packs_epi16(doubt[0], doubt[1]), zero)));
        if (sure != 0xFFFFu)
            RedoByFormula(~sure & 0xFFFFu, dst, src);
    }
    return steps * 16;
}

// Thirty-two pixels a step: the same per 128-bit lane, pixels 0..7 and
// 8..15 of the first vector, 16..23 and 24..31 of the second.
__attribute__((target("avx2"))) int ConvertAvx2(int steps, uint8_t* dst, const uint8_t* src)
{
    using namespace k;
    const __m256i takeYV = _mm256_setr_epi8(TAMSEL_TAKE_YV, TAMSEL_TAKE_YV);
    const __m256i takeYU = _mm256_setr_epi8(TAMSEL_TAKE_YU, TAMSEL_TAKE_YU);
    const __m256i out0BG = _mm256_setr_epi8(TAMSEL_OUT0_BG, TAMSEL_OUT0_BG);
    const __m256i out1BG = _mm256_setr_epi8(TAMSEL_OUT1_BG, TAMSEL_OUT1_BG);
    const __m256i out0R = _mm256_setr_epi8(TAMSEL_OUT0_R, TAMSEL_OUT0_R);
    const __m256i out1R = _mm256_setr_epi8(TAMSEL_OUT1_R, TAMSEL_OUT1_R);
    const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
    const __m256i zero = _mm256_setzero_si256();
    __m256i k250 = _mm256_set1_epi16(250), k500 = _mm256_set1_epi16(500);
    __m256i k1000 = _mm256_set1_epi16(1000), k164 = _mm256_set1_epi16(164);
    __asm__("" : "+x"(k250), "+x"(k500), "+x"(k1000), "+x"(k164));

    for (int step = 0; step < steps; ++step, src += 64, dst += 96) {
        const __m256i x[2] = {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src)),
                              _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 32))};

        // Per lane: the pairs of pixels 0..7 then 16..23, or 8..15 then
        // 24..31, which the unpacking below hands back to their pixels.
        const __m256i uv = _mm256_packus_epi16(_mm256_srli_epi16(x[0], 8), _mm256_srli_epi16(x[1], 8));
        const __m256i s = _mm256_srli_epi16(_mm256_maddubs_epi16(uv, _mm256_set1_epi16(kSWeights)), 6);
        const __m256i uvSum = _mm256_add_epi16(
            _mm256_slli_epi16(_mm256_maddubs_epi16(uv, _mm256_set1_epi16(kHiWeights)), 7),
            _mm256_maddubs_epi16(uv, _mm256_set1_epi16(kLoWeights)));
        const __m256i tb = _mm256_sub_epi16(_mm256_sub_epi16(uvSum, _mm256_mullo_epi16(s, k1000)),
                                            _mm256_set1_epi16(kTBase));
        const __m256i sb = _mm256_sub_epi16(s, _mm256_set1_epi16(kSBase));

        __m256i doubt[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i yv = _mm256_shuffle_epi8(x[h], takeYV);
            const __m256i yu = _mm256_shuffle_epi8(x[h], takeYU);
            const __m256i y = _mm256_and_si256(x[h], lowBytes);

            const __m256i rX = _mm256_add_epi16(_mm256_maddubs_epi16(yv, _mm256_set1_epi16(kRWeights)),
                                                _mm256_set1_epi16(kRBias));
            const __m256i rQ = _mm256_srli_epi16(_mm256_mulhi_epu16(rX, _mm256_set1_epi16(kMagic)), 7);
            const __m256i r = _mm256_sub_epi16(
                _mm256_add_epi16(_mm256_maddubs_epi16(yv, _mm256_set1_epi16(kOneTwo)), rQ),
                _mm256_set1_epi16(kRBase));

            const __m256i bX = _mm256_add_epi16(_mm256_maddubs_epi16(yu, _mm256_set1_epi16(kBWeights)),
                                                _mm256_set1_epi16(kBBias));
            const __m256i bQ = _mm256_srli_epi16(_mm256_mulhi_epu16(bX, _mm256_set1_epi16(kMagic)), 8);
            const __m256i b = _mm256_sub_epi16(
                _mm256_add_epi16(_mm256_maddubs_epi16(yu, _mm256_set1_epi16(kOneTwo)), bQ),
                _mm256_set1_epi16(kBBase));

            const __m256i gS = h ? _mm256_unpackhi_epi16(sb, sb) : _mm256_unpacklo_epi16(sb, sb);
            const __m256i gT = h ? _mm256_unpackhi_epi16(tb, tb) : _mm256_unpacklo_epi16(tb, tb);
            const __m256i gX = _mm256_sub_epi16(_mm256_mullo_epi16(y, k164), gT);
            const __m256i gQ = _mm256_srli_epi16(_mm256_mulhi_epu16(gX, _mm256_set1_epi16(kMagic)), 9);
            const __m256i g = _mm256_sub_epi16(_mm256_add_epi16(y, gQ), gS);

            doubt[h] = _mm256_or_si256(
                _mm256_or_si256(_mm256_and_si256(r, _mm256_cmpeq_epi16(rX, _mm256_mullo_epi16(rQ, k250))),
                                _mm256_and_si256(b, _mm256_cmpeq_epi16(bX, _mm256_mullo_epi16(bQ, k500)))),
                _mm256_and_si256(g, _mm256_cmpeq_epi16(gX, _mm256_mullo_epi16(gQ, k1000))));

            const __m256i bg = _mm256_packus_epi16(b, g);
            const __m256i rr = _mm256_packus_epi16(r, r);
            const __m256i out0 = _mm256_or_si256(_mm256_shuffle_epi8(bg, out0BG), _mm256_shuffle_epi8(rr, out0R));
            const __m256i out1 = _mm256_or_si256(_mm256_shuffle_epi8(bg, out1BG), _mm256_shuffle_epi8(rr, out1R));
            uint8_t* out = dst + 48 * h;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(out0));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_castsi256_si128(out1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 24), _mm256_extracti128_si256(out0, 1));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 40), _mm256_extracti128_si256(out1, 1));
        }

        // Bytes per lane: pixels 0..7 then 16..23, and 8..15 then 24..31.
        const uint32_t sure = static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_packs_epi16(doubt[0], doubt[1]), zero)));
        if (sure != 0xFFFFFFFFu) {
            const uint32_t m = ~sure;
            RedoByFormula((m & 0xFF0000FFu) | (m & 0x0000FF00u) << 8 | (m & 0x00FF0000u) >> 8, dst, src);
        }
    }
    return steps * 32;
}

enum class Simd { kNone, kSsse3, kAvx2 };

Simd ProcessorSimd()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSSE3))
        return Simd::kNone;
    if (!(c & bit_OSXSAVE) || !(c & bit_AVX))
        return Simd::kSsse3;
    unsigned lo = 0, hi = 0;
    __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 6) != 6) // the system does not keep the vector registers
        return Simd::kSsse3;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d) || !(b & bit_AVX2))
        return Simd::kSsse3;
    return Simd::kAvx2;
}

// The best converter the processor runs; TAMSEL_YUY2_SIMD=ssse3 or =none
// holds it lower, so every path can be checked on one machine.
Simd ChooseSimd()
{
    const Simd best = ProcessorSimd();
    const char* cap = std::getenv("TAMSEL_YUY2_SIMD");
    if (cap && std::strcmp(cap, "none") == 0)
        return Simd::kNone;
    if (cap && std::strcmp(cap, "ssse3") == 0 && best == Simd::kAvx2)
        return Simd::kSsse3;
    return best;
}

const Simd kSimd = ChooseSimd();
#endif

} // namespace

const char* Yuy2PathInUse()
{
#ifdef TAMSEL_YUY2_SIMD
    switch (kSimd) {
    case Simd::kAvx2: return "avx2";
    case Simd::kSsse3: return "ssse3";
    case Simd::kNone: break;
    }
#endif
    return "none";
}

void Yuy2ToBgrRow(int pixels, uint8_t* dst, const uint8_t* src)
{
    int done = 0;
#ifdef TAMSEL_YUY2_SIMD
    if (kSimd == Simd::kAvx2 && pixels >= 32)
        done = ConvertAvx2(pixels / 32, dst, src);
    if (kSimd != Simd::kNone && pixels - done >= 16)
        done += ConvertSsse3((pixels - done) / 16, dst + 3 * done, src + 2 * done);
#endif
    PairsByFormula((pixels - done) / 2, dst + 3 * done, src + 2 * done);
}

size_t BmpStride(int width, int bytesPerPixel)
{
    if (width < 1 || width > kMaxFrameSide || bytesPerPixel < 1 || bytesPerPixel > kMaxFrameBits / 8)
        return 0;
    const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(bytesPerPixel);
    return static_cast<size_t>((bytes + 3) & ~uint64_t{3});
}

namespace {

void Put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v)
{
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

} // namespace

bool BuildStillImage(const FrameDesc& desc, const uint8_t* frame, size_t length,
                     std::vector<uint8_t>& out)
{
    if (!frame || length == 0)
        return false;
    // Checked apart first: 8 * bytesPerPixel of a hostile value overflows.
    if (desc.bytesPerPixel < 0 || desc.bytesPerPixel > kMaxFrameBits / 8 ||
        !FrameSizeAllowed(desc.width, desc.height, 8 * desc.bytesPerPixel))
        return false;
    if (desc.mjpg) {
        out.assign(frame, frame + length);
        return true;
    }
    const int w = desc.width;
    const uint64_t rows = Rows(desc.height);
    const int p = desc.compressed ? 3 : desc.bytesPerPixel;
    if (p == 0) // fewer than 8 bits a pixel: nothing a BMP of whole bytes can carry
        return false;
    const uint64_t stride = BmpStride(w, p);
    const uint64_t srcStride = desc.compressed ? static_cast<uint64_t>(w) * 2 : stride;
    if (static_cast<uint64_t>(length) < srcStride * rows)
        return false;
    // YUY2 rows always run top-down; DIB rows do where the height is negative.
    const bool topDown = desc.compressed || desc.height < 0;

    out.assign(static_cast<size_t>(kBmpHeaderSize + stride * rows), 0);
    uint8_t* hdr = out.data();
    hdr[0] = 'B';
    hdr[1] = 'M';
    Put32(hdr + 2, static_cast<uint32_t>(out.size()));
    Put32(hdr + 10, kBmpHeaderSize);
    Put32(hdr + 14, 40);
    Put32(hdr + 18, static_cast<uint32_t>(w));
    Put32(hdr + 22, static_cast<uint32_t>(rows));
    Put16(hdr + 26, 1);
    Put16(hdr + 28, static_cast<uint32_t>(8 * p));

    uint8_t* pixels = out.data() + kBmpHeaderSize;
    for (uint64_t row = 0; row < rows; ++row) {
        // The BMP's rows run bottom-up.
        uint8_t* dst = pixels + static_cast<size_t>(stride * row);
        const uint8_t* src = frame + static_cast<size_t>(srcStride * (topDown ? rows - 1 - row : row));
        if (desc.compressed)
            Yuy2ToBgrRow(w, dst, src);
        else
            std::memcpy(dst, src, static_cast<size_t>(w) * static_cast<size_t>(p));
    }
    return true;
}

int RollAngleForRotation(int code)
{
    switch (code) {
    case 2: return 90;
    case 3: return 180;
    case 4: return -90;
    default: return 0;
    }
}

} // namespace tamsel
