#include "codec/Adcbitco.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>

#include "foundation/DetMath.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

// ---- Code tables ---------------------------------------------------------------------------

// Family A: a W-bit field for magnitudes up to K, then a unary middle range of four magnitudes,
// then the escape.
struct TFamilyACode {
  int W;
  uint32_t K;
};
constexpr TFamilyACode kFamilyA[4] = {{0, 0}, {1, 0}, {2, 1}, {3, 3}};
constexpr uint32_t kFamilyAMiddle = 4;  // magnitudes K + 1 .. K + 4

// Family B over u: prefix alone below S, prefix and one bit below L, prefix values from M on for
// the long range L..E - 1 (quotient by D in unary, up to 8) and the escape from E.
struct TFamilyBCode {
  int P;
  uint32_t S, M, L, D, E;
};
constexpr int kFirstFamilyB = 4;
constexpr int kLongRangeQuotients = 9;  // unary limit: quotients 0..8, 9 means escape
constexpr TFamilyBCode kFamilyB[kMaxResidualCode - kFirstFamilyB + 1] = {
    {3, 4, 6, 8, 4, 44},
    {4, 10, 14, 18, 4, 54},
    {4, 4, 12, 20, 8, 92},
    {5, 22, 28, 34, 8, 106},
    {5, 12, 26, 40, 12, 148},
    {6, 44, 56, 68, 16, 212},
    {6, 24, 52, 80, 24, 296},
    {7, 88, 112, 136, 32, 424},
    {7, 48, 104, 160, 48, 592},
    {8, 176, 224, 272, 64, 848},
    {8, 96, 208, 320, 96, 1184},
    {9, 352, 448, 544, 128, 1696},
    {9, 192, 416, 640, 192, 2368},
    {10, 704, 896, 1088, 256, 3392},
    {10, 384, 832, 1280, 384, 4736},
    {11, 1408, 1792, 2176, 512, 6784},
    {11, 768, 1664, 2560, 768, 9472},
    {12, 2816, 3584, 4352, 1024, 13568},
    {12, 1536, 3328, 5120, 1536, 18944},
    {13, 5632, 7168, 8704, 2048, 27136},
    {13, 3072, 6656, 10240, 3072, 37888},
    {14, 11264, 14336, 17408, 4096, 54272},
    {14, 6144, 13312, 20480, 6144, 75776},
    {15, 22528, 28672, 34816, 8192, 108544},
    {15, 12288, 26624, 40960, 12288, 151552},
    {16, 45056, 57344, 69632, 16384, 217088},
    {16, 24576, 53248, 81920, 24576, 303104},
    {17, 90112, 114688, 139264, 32768, 434176},
    {17, 49152, 106496, 163840, 49152, 606208},
    {18, 180224, 229376, 278528, 65536, 868352},
    {18, 98304, 212992, 327680, 98304, 1212416},
    {19, 360448, 458752, 557056, 131072, 1736704},
    {19, 196608, 425984, 655360, 196608, 2424832},
    {20, 720896, 917504, 1114112, 262144, 3473408},
    {20, 393216, 851968, 1310720, 393216, 4849664},
    {21, 1441792, 1835008, 2228224, 524288, 6946816},
    {21, 786432, 1703936, 2621440, 786432, 9699328},
    {22, 2883584, 3670016, 4456448, 1048576, 13893632},
    {22, 1572864, 3407872, 5242880, 1572864, 19398656},
    {23, 5767168, 7340032, 8912896, 2097152, 27787264},
    {23, 3145728, 6815744, 10485760, 3145728, 38797312},
    {24, 11534336, 14680064, 17825792, 4194304, 55574528},
    {24, 6291456, 13631488, 20971520, 6291456, 77594624},
    {25, 23068672, 29360128, 35651584, 8388608, 111149056},
    {25, 12582912, 27262976, 41943040, 12582912, 155189248},
    {26, 46137344, 58720256, 71303168, 16777216, 222298112},
    {26, 25165824, 54525952, 83886080, 25165824, 310378496},
};

// Every D is 2^j or 3 x 2^j, which the quotient below relies on; the other columns follow from
// P, S and D.
constexpr bool FamilyBTableConsistent() {
  for (const TFamilyBCode& c : kFamilyB) {
    const uint32_t odd = c.D >> std::countr_zero(c.D);
    if ((odd != 1 && odd != 3) || c.D < 4 || c.M != (1u << c.P) - c.D / 2 ||
        c.L != c.S + 2 * (c.M - c.S) || c.E != c.L + kLongRangeQuotients * c.D || c.S > c.M)
      return false;
  }
  return true;
}
static_assert(FamilyBTableConsistent());

// w div D without a division: D = 2^j x (1 or 3), and a constant division by 3 is a multiply.
struct TQuotient {
  int shift;
  bool byThree;

  constexpr explicit TQuotient(uint32_t d)
      : shift(std::countr_zero(d)), byThree((d >> std::countr_zero(d)) == 3) {}
  uint32_t operator()(uint32_t w) const { return byThree ? (w >> shift) / 3 : w >> shift; }
};

bool IsFamilyA(int code) { return code >= 1 && code < kFirstFamilyB; }
bool IsFamilyB(int code) { return code >= kFirstFamilyB && code <= kMaxResidualCode; }
const TFamilyBCode& FamilyB(int code) { return kFamilyB[code - kFirstFamilyB]; }

// Mean thresholds of codes 2..51, against round(32 x mean).
constexpr int32_t kMeanThresholds[kBeyondTableCode - 1] = {
    32,        49,        75,        115,       191,      246,      348,      471,       699,
    939,       1394,      1891,      2778,      3769,     5557,     7538,     11152,     15076,
    22304,     30153,     44608,     60305,     89215,    120611,   178429,   241221,    356859,
    482442,    713718,    964884,    1427436,   1929769,  2854871,  3859538,  5709742,   7719076,
    11419484,  15438152,  22838968,  30876303,  45677937, 61752607, 91355873, 123505213, 182711747,
    247010427, 365423493, 494020854, 730846986, 988041708};

// Largest escape widths a decoder can act on: family A reads the escape in one field, family B
// reads the quotient in escWidth - 10 bits.
constexpr int kFamilyBBaseEscWidth = 10;
constexpr int kMaxFieldBits = 32;

bool DecodableEscWidth(int code, int escWidth) {
  if (IsFamilyA(code)) return escWidth >= 1 && escWidth <= kMaxFieldBits;
  return escWidth >= 1 && escWidth <= kFamilyBBaseEscWidth + kMaxFieldBits;
}

// ---- Value codes ---------------------------------------------------------------------------

uint32_t Magnitude(int32_t x) { return x < 0 ? 0u - uint32_t(x) : uint32_t(x); }
uint32_t ZigZag(int32_t x) { return (uint32_t(x) << 1) ^ uint32_t(x >> 31); }
int32_t UnZigZag(uint32_t u) { return int32_t((u >> 1) ^ (0u - (u & 1))); }

void EncodeFamilyA(TBitOutStream& writer, const TFamilyACode& c, int escWidth, int32_t count,
                   const int32_t* values) {
  LYM_ASSERT(escWidth >= 1 && escWidth <= kMaxFieldBits, "Invalid escape width");
  const uint32_t signBit = 1u << (escWidth - 1);
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t a = Magnitude(values[i]);
    const uint32_t negative = values[i] < 0 ? 1 : 0;
    if (a <= c.K) {
      writer.WriteBits(negative ? a + 1 + c.K : a + 1, c.W);
    } else if (a <= c.K + kFamilyAMiddle) {
      // W zeros, unary (a - K - 1), sign: at most 3 + 4 + 1 bits in one field.
      const int zeros = c.W + int(a - c.K - 1);
      writer.WriteBits((1u | negative << 1) << zeros, zeros + 2);
    } else {
      const uint32_t m = a - c.K - kFamilyAMiddle - 1;
      LYM_ASSERT(m < signBit, "Residual beyond the escape width");
      writer.WriteBits(0, c.W + int(kFamilyAMiddle));
      writer.WriteBits(negative ? m | signBit : m, escWidth);
    }
  }
}

void EncodeFamilyB(TBitOutStream& writer, const TFamilyBCode& c, int escWidth, int32_t count,
                   const int32_t* values) {
  const TQuotient quotient(c.D);
  const int quotientBits = escWidth - kFamilyBBaseEscWidth;
  LYM_ASSERT(escWidth >= 1 && quotientBits <= kMaxFieldBits, "Invalid escape width");
  // The prefix M + r/2 with the bit r mod 2 on top, as one (P + 1)-bit field.
  const auto writeRemainder = [&](uint32_t r) {
    writer.WriteBits((c.M + (r >> 1)) | (r & 1) << c.P, c.P + 1);
  };
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t u = ZigZag(values[i]);
    if (u < c.S) {
      writer.WriteBits(u, c.P);
    } else if (u < c.L) {
      const uint32_t w = u - c.S;
      writer.WriteBits((c.S + (w >> 1)) | (w & 1) << c.P, c.P + 1);
    } else if (u < c.E) {
      const uint32_t w = u - c.L;
      const uint32_t n = quotient(w);
      writeRemainder(w - n * c.D);
      writer.WriteBits(1u << n, int(n) + 1);
    } else {
      const uint32_t w = u - c.E;
      const uint32_t q = quotient(w);
      writeRemainder(w - q * c.D);
      writer.WriteBits(0, kLongRangeQuotients);
      LYM_ASSERT(uint64_t(q) >> std::max(quotientBits, 0) == 0, "Residual beyond the escape width");
      if (quotientBits > 0) writer.WriteBits(q, quotientBits);
    }
  }
}

bool DecodeFamilyA(const TFamilyACode& c, int escWidth, TBitInStream& reader, int32_t count,
                   int32_t* out) {
  const int32_t k = int32_t(c.K);
  const uint32_t signBit = 1u << (escWidth - 1);
  for (int32_t i = 0; i < count; ++i) {
    const int32_t f = int32_t(reader.ReadBits(c.W));
    if (f > k + 1) {
      out[i] = k + 1 - f;
    } else if (f > 0) {
      out[i] = f - 1;
    } else if (const int n = reader.ReadUnary(int(kFamilyAMiddle)); n < int(kFamilyAMiddle)) {
      const int32_t a = n + k + 1;
      out[i] = reader.ReadBits(1) != 0 ? -a : a;
    } else {
      const uint32_t m = reader.ReadBits(escWidth);
      const int64_t base = k + int32_t(kFamilyAMiddle) + 1;
      const int64_t x = m < signBit ? base + m : -(base + (m - signBit));
      if (x < INT32_MIN || x > INT32_MAX) return false;
      out[i] = int32_t(x);
    }
  }
  return !reader.ReadError;
}

// One value, field by field, with every read checked.
inline bool DecodeFamilyBValue(const TFamilyBCode& c, int quotientBits, TBitInStream& reader,
                               int32_t& value) {
  const uint32_t v = reader.ReadBits(c.P);
  uint32_t u = v;
  if (v >= c.S) {
    const uint32_t b = reader.ReadBits(1);
    if (v < c.M) {
      u = 2 * v - c.S + b;
    } else {
      const uint32_t n = uint32_t(reader.ReadUnary(kLongRangeQuotients));
      const uint32_t r = 2 * (v - c.M) + b;
      if (n < kLongRangeQuotients) {
        u = c.L + r + n * c.D;
      } else {
        uint64_t wide = uint64_t(c.E) + r;
        if (quotientBits > 0) wide += uint64_t(c.D) * reader.ReadBits(quotientBits);
        if (wide > UINT32_MAX) return false;  // no 32-bit sample
        u = uint32_t(wide);
      }
    }
  }
  value = UnZigZag(u);
  return true;
}

bool DecodeFamilyB(const TFamilyBCode& c, int escWidth, TBitInStream& reader, int32_t count,
                   int32_t* out) {
  const int quotientBits = escWidth - kFamilyBBaseEscWidth;
  const uint32_t prefixMask = TBitOutStream::Mask(c.P);
  // Whether a long-range value short of the escape fits the window too.
  const bool longInWindow = c.P + 1 + kLongRangeQuotients <= 32;
  for (int32_t i = 0; i < count; ++i) {
    // Far from the end of the data, every value but an escape comes from one look at the window.
    if (reader.FillWindow()) {
      const uint32_t window = reader.Window();
      const uint32_t v = window & prefixMask;
      if (v < c.S) {
        reader.Skip(c.P);
        out[i] = UnZigZag(v);
        continue;
      }
      const uint32_t b = (window >> c.P) & 1;
      if (v < c.M) {
        reader.Skip(c.P + 1);
        out[i] = UnZigZag(2 * v - c.S + b);
        continue;
      }
      const int n = std::countr_zero((window >> (c.P + 1)) | (1u << kLongRangeQuotients));
      if (longInWindow && n < kLongRangeQuotients) {
        reader.Skip(c.P + 2 + n);
        out[i] = UnZigZag(c.L + 2 * (v - c.M) + b + uint32_t(n) * c.D);
        continue;
      }
    }
    if (!DecodeFamilyBValue(c, quotientBits, reader, out[i])) return false;
  }
  return !reader.ReadError;
}

// ---- Code list -----------------------------------------------------------------------------

constexpr int kCodeBits = 6;
constexpr int kListMethodBits = 2;
constexpr int kListWidthBits = 3;
constexpr int kMaxListWidth = 6;
constexpr int kSmallDifference = 8;    // larger differences store the code itself
constexpr int kAbsoluteCodeBits = 15;  // the cost of storing the code itself
constexpr int kMethod2UnaryLimit = 7;

int64_t Method1Cost(int d) {
  const int a = std::abs(d);
  return a == 0 ? 1 : a <= kSmallDifference ? a + 2 : kAbsoluteCodeBits;
}
int64_t Method2Cost(int d) {
  const int a = std::abs(d);
  return a <= 1 ? 2 : a <= kSmallDifference ? a + 2 : kAbsoluteCodeBits;
}

struct TCodeList {
  int Method = 0;
  int Base = 0;
  int Width = 1;
  int64_t Cost = 0;  // without the method field and the first 6-bit code, which all methods share
};

TCodeList PlanCodeList(const uint8_t* codes, int32_t count) {
  const auto [low, high] = std::minmax_element(codes, codes + count);
  TCodeList list;
  list.Base = *low;
  list.Width = std::clamp(HighestSetBit(uint32_t(*high - *low)) + 1, 1, kMaxListWidth);
  list.Cost = int64_t(count) * list.Width + kListWidthBits;
  int64_t cost1 = 0, cost2 = 0;
  for (int32_t i = 1; i < count; ++i) {
    cost1 += Method1Cost(codes[i] - codes[i - 1]);
    cost2 += Method2Cost(codes[i] - codes[i - 1]);
  }
  if (cost1 < list.Cost) {
    list.Method = 1;
    list.Cost = cost1;
  }
  if (cost2 < list.Cost) {
    list.Method = 2;
    list.Cost = cost2;
  }
  return list;
}

// Unary n (n zeros and a one) followed by a sign bit.
void WriteUnaryAndSign(TBitOutStream& writer, int n, bool negative) {
  writer.WriteBits((1u | uint32_t(negative) << 1) << n, n + 2);
}

void WriteDifference(TBitOutStream& writer, int method, int previous, int code) {
  const int d = code - previous;
  const int a = std::abs(d);
  if (method == 1) {
    if (a == 0) {
      writer.WriteBit(true);
    } else if (a <= kSmallDifference) {
      WriteUnaryAndSign(writer, a, d < 0);
    } else {
      writer.WriteBits(uint32_t(code) << 9, 9 + kCodeBits);
    }
    return;
  }
  if (a <= 1) {
    writer.WriteBits(d == 0 ? 1 : d > 0 ? 3 : 2, 2);
  } else if (a <= kSmallDifference) {
    writer.WriteBits(0, 2);
    WriteUnaryAndSign(writer, a - 2, d < 0);
  } else {
    writer.WriteBits(uint32_t(code) << (2 + kMethod2UnaryLimit),
                     2 + kMethod2UnaryLimit + kCodeBits);
  }
}

void WriteCodeList(TBitOutStream& writer, const TResidualParams& params) {
  const int method = params.ListMethod;
  const uint8_t* codes = params.Codes.data();
  const int32_t count = params.PartitionCount;
  LYM_ASSERT(method >= 0 && method <= 2, "Invalid code-list method");
  writer.WriteBits(uint32_t(method), kListMethodBits);
  if (method == 0) {
    const int width = params.ListWidth;
    LYM_ASSERT(width >= 1 && width <= (1 << kListWidthBits), "Invalid code-list width");
    writer.WriteBits(params.BaseCode, kCodeBits);
    writer.WriteBits(uint32_t(width - 1), kListWidthBits);
    for (int32_t i = 0; i < count; ++i) {
      const int offset = codes[i] - params.BaseCode;
      LYM_ASSERT(offset >= 0 && offset < (1 << width), "Partition code outside the code list");
      writer.WriteBits(uint32_t(offset), width);
    }
    return;
  }
  writer.WriteBits(codes[0], kCodeBits);
  for (int32_t i = 1; i < count; ++i) WriteDifference(writer, method, codes[i - 1], codes[i]);
}

// The next code after `previous`, -1 when the bits are no valid code.
int ReadDifference(TBitInStream& reader, int method, int previous) {
  int magnitude = 0;
  bool absolute = false;
  if (method == 1) {
    magnitude = reader.ReadUnary(kSmallDifference + 1);
    absolute = magnitude > kSmallDifference;
  } else {
    const uint32_t field = reader.ReadBits(2);
    if (field != 0) return previous + (field == 1 ? 0 : field == 3 ? 1 : -1);
    magnitude = reader.ReadUnary(kMethod2UnaryLimit) + 2;
    absolute = magnitude > kSmallDifference;
  }
  if (absolute) return int(reader.ReadBits(kCodeBits));
  if (magnitude == 0) return previous;
  return reader.ReadBits(1) != 0 ? previous - magnitude : previous + magnitude;
}

bool ReadCodeList(TBitInStream& reader, int32_t count, uint8_t* codes) {
  const uint32_t method = reader.ReadBits(kListMethodBits);
  if (method == 3) return false;
  const int first = int(reader.ReadBits(kCodeBits));
  if (first > kMaxResidualCode) return false;
  if (method == 0) {
    const int width = int(reader.ReadBits(kListWidthBits)) + 1;
    for (int32_t i = 0; i < count; ++i) {
      const int code = first + int(reader.ReadBits(width));
      if (code > kMaxResidualCode) return false;
      codes[i] = uint8_t(code);
    }
    return !reader.ReadError;
  }
  codes[0] = uint8_t(first);
  for (int32_t i = 1; i < count; ++i) {
    const int code = ReadDifference(reader, int(method), codes[i - 1]);
    if (code < 0 || code > kMaxResidualCode) return false;
    codes[i] = uint8_t(code);
  }
  return !reader.ReadError;
}

// ---- Block layout --------------------------------------------------------------------------

constexpr int kEscWidthBits = 5;
constexpr int kBoundLog2Bits = 5;
constexpr int kLargestHeaderBits = 1 + kListMethodBits + kCodeBits + kListWidthBits +
                                   kMaxResidualPartitions * kMaxListWidth + kBoundLog2Bits;
// The costliest value of a block that Analyse writes, with a bit to spare: 44 bits, a family B
// escape of code 29 (16-bit prefix, escape width 28) for magnitudes near 2^31.
constexpr int kLargestValueBits = 45;

uint32_t BoundOf(int boundLog2) { return boundLog2 == 0 ? 0 : uint32_t(1) << boundLog2; }

// Applies fn(code, start, length) to each run of partitions with equal codes.
template <class Fn>
void ForEachCodeRun(const TSubFramePositions& layout, const uint8_t* codes, Fn fn) {
  const int32_t count = layout.Count();
  for (int32_t i = 0, next = 0; i < count; i = next) {
    next = i + 1;
    while (next < count && codes[next] == codes[i]) ++next;
    const int32_t start = layout.PartitionStart(i);
    if (!fn(codes[i], start, layout.PartitionStart(next) - start)) return;
  }
}

TResidualCode SearchCodes(const int32_t* values, int32_t count, uint32_t bound, double mean,
                          int maxEscWidth) {
  if (bound == 0) return {};
  const auto usable = [&](int code) { return EscapeWidth(bound, code) <= maxEscWidth; };
  int start = std::clamp(CodeFromMean(mean), 1, kMaxResidualCode);
  while (!usable(start)) {
    ++start;
    LYM_ASSERT(start <= kMaxResidualCode, "No residual code takes the block");
  }
  TResidualCode best = ResidualBlockBits(values, count, start, bound);
  // Steps one code at a time in a direction while each step is strictly cheaper.
  const auto walk = [&](int step) {
    bool improved = false;
    for (int code = start + step; code >= 1 && code <= kMaxResidualCode && usable(code);
         code += step) {
      const TResidualCode trial = ResidualBlockBits(values, count, code, bound);
      if (trial.Bits >= best.Bits) break;
      best = trial;
      improved = true;
    }
    return improved;
  };
  if (!walk(-1)) walk(+1);
  return best;
}

}  // namespace

// ---- Free functions ------------------------------------------------------------------------

int HighestSetBit(uint32_t v) { return int(std::bit_width(v)) - 1; }

int CeilLog2(int64_t n) {
  if (n < 1) return 0;
  return std::max(1, int(std::bit_width(uint64_t(n - 1))));
}

int PartitionLevelFor(int32_t sampleRate, int bitsPerSample) {
  struct TRates {
    int32_t level3, level2, level1;
  };
  TRates rates{};
  if (bitsPerSample == 8) {
    rates = {48000, 32000, 16000};
  } else if (bitsPerSample >= 16 && bitsPerSample <= 24) {
    rates = {44100, 22050, 11025};
  } else {
    return 0;
  }
  return sampleRate >= rates.level3   ? 3
         : sampleRate >= rates.level2 ? 2
         : sampleRate >= rates.level1 ? 1
                                      : 0;
}

int EscapeWidth(uint32_t bound, int code) {
  if (IsFamilyA(code)) {
    const uint32_t k = kFamilyA[code].K;
    return bound > k + kFamilyAMiddle ? CeilLog2(bound - k - kFamilyAMiddle) + 1 : 1;
  }
  if (!IsFamilyB(code)) return 1;
  const TFamilyBCode& c = FamilyB(code);
  const uint64_t twice = uint64_t(bound) * 2;
  if (twice < uint64_t(c.E) + c.D) return kFamilyBBaseEscWidth;
  return CeilLog2(int64_t((twice - c.E) / c.D + 1)) + kFamilyBBaseEscWidth;
}

TResidualCode ResidualBlockBits(const int32_t* values, int32_t count, int code, uint32_t bound) {
  if (code < 0 || code > kBeyondTableCode)
    throw EzqArgumentOutOfRange("ResidualBlockBits", code, "ACode");
  TResidualCode result{code, EscapeWidth(bound, code), 0};
  if (code == kBeyondTableCode) {
    result.Bits = int64_t(count) * 16;
  } else if (IsFamilyA(code)) {
    const TFamilyACode& c = kFamilyA[code];
    const int64_t escapeBits = c.W + kFamilyAMiddle + result.EscWidth;
    for (int32_t i = 0; i < count; ++i) {
      const uint32_t a = Magnitude(values[i]);
      result.Bits += a <= c.K ? c.W : a <= c.K + kFamilyAMiddle ? c.W + 1 + (a - c.K) : escapeBits;
    }
  } else if (IsFamilyB(code)) {
    const TFamilyBCode& c = FamilyB(code);
    const TQuotient quotient(c.D);
    const int64_t escapeBits = c.P + result.EscWidth;
    for (int32_t i = 0; i < count; ++i) {
      const uint32_t u = ZigZag(values[i]);
      result.Bits += u < c.S   ? c.P
                     : u < c.L ? c.P + 1
                     : u < c.E ? c.P + 2 + quotient(u - c.L)
                               : escapeBits;
    }
  }
  return result;
}

void EncodeResidualBlock(TBitOutStream& writer, int code, int escWidth, int32_t count,
                         const int32_t* values) {
  LYM_ASSERT(code >= 0 && code <= kMaxResidualCode, "Invalid residual code");
  if (IsFamilyA(code)) {
    EncodeFamilyA(writer, kFamilyA[code], escWidth, count, values);
  } else if (IsFamilyB(code)) {
    EncodeFamilyB(writer, FamilyB(code), escWidth, count, values);
  } else {
    LYM_ASSERT(std::all_of(values, values + count, [](int32_t x) { return x == 0; }),
               "Code 0 for non-zero residuals");
  }
}

bool DecodeResidualBlock(int code, int escWidth, TBitInStream& reader, int32_t count,
                         int32_t* out) {
  if (code == 0) {
    std::fill(out, out + count, 0);
    return !reader.ReadError;
  }
  if (code < 0 || code > kMaxResidualCode || !DecodableEscWidth(code, escWidth)) return false;
  // The values are read through a copy of the reader that the compiler can keep in registers:
  // stores to out could otherwise alias the reader's fields and force a reload after each one.
  TBitInStream local = reader;
  const bool ok = IsFamilyA(code) ? DecodeFamilyA(kFamilyA[code], escWidth, local, count, out)
                                  : DecodeFamilyB(FamilyB(code), escWidth, local, count, out);
  reader = local;
  return ok;
}

int CodeFromMean(double mean) {
  if (mean == 0) return 0;
  if (!(mean > 0)) throw EzqArgument("CodeFromMean", std::to_string(mean), "Out of range", "AMean");
  // Means far beyond the table (above 2^26) would not even fit the rounded 32-bit value.
  const double scaled = 32 * mean;
  if (scaled >= kMeanThresholds[kBeyondTableCode - 2]) return kBeyondTableCode;
  const int32_t r = int32_t(std::nearbyint(scaled));
  const int32_t* end = std::end(kMeanThresholds);
  return int(std::upper_bound(std::begin(kMeanThresholds), end, r) - std::begin(kMeanThresholds)) +
         1;
}

int64_t EstimateResidualBits(int32_t count, double mean) {
  if (mean == 0) return 0;
  if (mean <= 1) return int64_t(2) * count;
  return int64_t(std::nearbyint((DetLog2(mean) + 2.5) * count));
}

TResidualCode SearchResidualCode(const int32_t* values, int32_t count, uint32_t bound,
                                 double mean) {
  return SearchCodes(values, count, bound, mean, INT32_MAX);
}

TResidualCode SearchSingleModeCode(const int32_t* values, int32_t count, uint32_t largest,
                                   double mean) {
  return SearchCodes(values, count, largest, mean, kMaxEscWidth);
}

int SingleModeCodeFromMean(double mean, uint32_t largest) {
  int code = std::min(CodeFromMean(mean), kMaxResidualCode);
  if (code == 0) return 0;
  while (EscapeWidth(largest, code) > kMaxEscWidth) {
    ++code;
    LYM_ASSERT(code <= kMaxResidualCode, "No residual code takes the block");
  }
  return code;
}

int32_t MaxResidualBlockBytes(int32_t count) {
  const int64_t bits = kLargestHeaderBits + int64_t(std::max(count, 0)) * kLargestValueBits;
  LYM_ASSERT(bits / 8 < INT32_MAX, "Residual block too long");
  return int32_t((bits + 7) / 8);
}

// ---- Compressor ----------------------------------------------------------------------------

namespace {

constexpr int32_t kResidualMinSize = 4;
constexpr int32_t kResidualAlignment = 4;
constexpr int kResidualMaxLevel = 3;
constexpr double kMaxPartitionMeanRatio = 1.33;

TFramePositions ResidualPositions(int32_t sampleRate, int32_t capacity) {
  return TFramePositions(sampleRate, kResidualMinSize, kResidualAlignment, kMaxResidualPartitions,
                         kResidualMaxLevel, capacity);
}

int ResidualLevel(const TFramePositions& positions, int32_t sampleRate, int bitsPerSample) {
  return std::min(PartitionLevelFor(sampleRate, bitsPerSample), positions.Level());
}

double MeanOf(uint64_t sum, int32_t count) { return count == 0 ? 0.0 : double(sum) / count; }

}  // namespace

struct TBitCompressor::TBlockStats {
  uint64_t Sum = 0;
  uint32_t Largest = 0;
  double MinMean = 2147483647.0;
  double MaxMean = 0;
  std::array<uint64_t, kMaxResidualPartitions> Sums{};
};

TBitCompressor::TBitCompressor(uint32_t cpuFlags, int32_t capacity, int bitsPerSample,
                               int32_t sampleRate, bool search)
    : kernels_(&DspKernels(cpuFlags)),
      search_(search),
      capacity_(capacity),
      positions_(ResidualPositions(sampleRate, capacity)),
      layout_(positions_) {
  level_ = ResidualLevel(positions_, sampleRate, bitsPerSample);
}

TBitCompressor::TBlockStats TBitCompressor::MeasurePartitions(const int32_t* values) {
  TBlockStats stats;
  for (int32_t i = 0; i < layout_.Count(); ++i) {
    const int32_t size = layout_.PartitionSize(i);
    const TMagnitudeSumMax part =
        kernels_->MagnitudeSumMax(values + layout_.PartitionStart(i), size);
    stats.Sums[i] = part.Sum;
    stats.Sum += part.Sum;
    stats.Largest = std::max(stats.Largest, part.Max);
    const double mean = MeanOf(part.Sum, size);
    stats.MinMean = std::min(stats.MinMean, mean);
    stats.MaxMean = std::max(stats.MaxMean, mean);
  }
  return stats;
}

TResidualCode TBitCompressor::ChooseSingleCode(const int32_t* values, int32_t count,
                                               const TBlockStats& stats) {
  const double mean = MeanOf(stats.Sum, count);
  if (search_) return SearchSingleModeCode(values, count, stats.Largest, mean);
  const int code = SingleModeCodeFromMean(mean, stats.Largest);
  return {code, EscapeWidth(stats.Largest, code), EstimateResidualBits(count, mean)};
}

// Exact codes for each partition into codes_; returns their value bits.
int64_t TBitCompressor::SearchPartitionCodes(const int32_t* values, const TBlockStats& stats,
                                             uint32_t bound) {
  int64_t bits = 0;
  for (int32_t i = 0; i < layout_.Count(); ++i) {
    codes_[i] = 0;
    if (stats.Sums[i] == 0) continue;
    const int32_t size = layout_.PartitionSize(i);
    const TResidualCode part = SearchResidualCode(values + layout_.PartitionStart(i), size, bound,
                                                  MeanOf(stats.Sums[i], size));
    codes_[i] = uint8_t(part.Code);
    bits += part.Bits;
  }
  return bits;
}

// Codes from the partition means into codes_; false when partitioning cannot pay.
bool TBitCompressor::CodesFromPartitionMeans(const TBlockStats& stats) {
  if (stats.MinMean == stats.MaxMean ||
      (stats.MinMean > 0 && stats.MaxMean / stats.MinMean < kMaxPartitionMeanRatio))
    return false;
  for (int32_t i = 0; i < layout_.Count(); ++i)
    codes_[i] = uint8_t(CodeFromMean(MeanOf(stats.Sums[i], layout_.PartitionSize(i))));
  const auto [low, high] = std::minmax_element(codes_.begin(), codes_.begin() + layout_.Count());
  return *low != *high && *high != kBeyondTableCode;
}

int64_t TBitCompressor::Analyse(const int32_t* values, int32_t count, TResidualParams& params) {
  LYM_ASSERT(count >= 0 && count <= capacity_, "Residual block longer than the capacity");
  layout_.SetLayout(count, level_);
  const TBlockStats stats = MeasurePartitions(values);
  const TResidualCode single = ChooseSingleCode(values, count, stats);
  params = TResidualParams{};
  params.Level = uint8_t(level_);
  params.Code = uint8_t(single.Code);
  params.EscWidth = single.EscWidth;
  params.Bound = stats.Largest;

  // Partitioned mode cannot describe magnitudes above 2^28; single mode takes any 32-bit value.
  const int boundLog2 = CeilLog2(stats.Largest);
  const int32_t partitions = layout_.Count();
  if (partitions < 2 || stats.Largest == 0 || boundLog2 > kMaxBoundLog2) return single.Bits;

  int64_t cost = 0;
  if (search_) {
    cost = SearchPartitionCodes(values, stats, BoundOf(boundLog2));
    const bool allEqual = std::all_of(codes_.begin(), codes_.begin() + partitions,
                                      [&](uint8_t code) { return code == codes_[0]; });
    if (allEqual) return single.Bits;
  } else {
    if (!CodesFromPartitionMeans(stats)) return single.Bits;
    cost = single.Bits;
  }
  const TCodeList list = PlanCodeList(codes_.data(), partitions);
  cost += list.Cost;
  if (search_ && cost >= single.Bits) return single.Bits;

  params.PartitionCount = partitions;
  params.Codes = codes_;
  params.BaseCode = uint8_t(list.Base);
  params.ListWidth = list.Width;
  params.ListMethod = list.Method;
  params.BoundLog2 = boundLog2;
  params.Bound = BoundOf(boundLog2);
  return cost;
}

void TBitCompressor::WriteBlock(TBitOutStream& writer, const TResidualParams& params, int32_t count,
                                const int32_t* values) {
  LYM_ASSERT(count >= 0 && count <= capacity_, "Residual block longer than the capacity");
  if (params.PartitionCount == 1) {
    const int code = params.Code;
    LYM_ASSERT(code <= kMaxResidualCode, "Invalid residual code");
    writer.WriteBit(false);
    writer.WriteBits(code, kCodeBits);
    if (code != 0) {
      LYM_ASSERT(params.EscWidth >= 1 && params.EscWidth <= kMaxEscWidth, "Invalid escape width");
      writer.WriteBits(uint32_t(params.EscWidth), kEscWidthBits);
    }
    EncodeResidualBlock(writer, code, params.EscWidth, count, values);
    return;
  }
  // The decoder lays the partitions out at its own level, which is this compressor's.
  LYM_ASSERT(params.Level == level_, "Partition level differs from the stream's");
  layout_.SetLayout(count, level_);
  LYM_ASSERT(params.PartitionCount == layout_.Count(), "Partition count mismatch");
  LYM_ASSERT(params.BoundLog2 >= 0 && params.BoundLog2 <= kMaxBoundLog2, "Invalid bound");
  writer.WriteBit(true);
  WriteCodeList(writer, params);
  writer.WriteBits(uint32_t(params.BoundLog2), kBoundLog2Bits);
  const uint32_t bound = BoundOf(params.BoundLog2);
  ForEachCodeRun(layout_, params.Codes.data(), [&](int code, int32_t start, int32_t length) {
    EncodeResidualBlock(writer, code, EscapeWidth(bound, code), length, values + start);
    return true;
  });
}

// ---- Decompressor --------------------------------------------------------------------------

TBitDecompressor::TBitDecompressor(int32_t sampleRate, int32_t capacity, int bitsPerSample)
    : capacity_(capacity),
      positions_(ResidualPositions(sampleRate, capacity)),
      layout_(positions_) {
  level_ = ResidualLevel(positions_, sampleRate, bitsPerSample);
}

bool TBitDecompressor::ReadBlock(TBitInStream& reader, int32_t* out, int32_t count) {
  LYM_ASSERT(count >= 0 && count <= capacity_, "Residual block longer than the capacity");
  if (reader.ReadBits(1) != 0) return ReadPartitioned(reader, out, count);
  const int code = int(reader.ReadBits(kCodeBits));
  if (code > kMaxResidualCode) return false;
  int escWidth = 0;
  if (code != 0) {
    escWidth = int(reader.ReadBits(kEscWidthBits));
    if (escWidth < 1 || escWidth > kMaxEscWidth) return false;
  }
  return !reader.ReadError && DecodeResidualBlock(code, escWidth, reader, count, out);
}

bool TBitDecompressor::ReadPartitioned(TBitInStream& reader, int32_t* out, int32_t count) {
  layout_.SetLayout(count, level_);
  if (layout_.Count() < 2) return false;
  std::array<uint8_t, kMaxResidualPartitions> codes;
  if (!ReadCodeList(reader, layout_.Count(), codes.data())) return false;
  const int boundLog2 = int(reader.ReadBits(kBoundLog2Bits));
  if (reader.ReadError || boundLog2 > kMaxBoundLog2) return false;
  const uint32_t bound = BoundOf(boundLog2);
  bool ok = true;
  ForEachCodeRun(layout_, codes.data(), [&](int code, int32_t start, int32_t length) {
    ok = DecodeResidualBlock(code, EscapeWidth(bound, code), reader, length, out + start);
    return ok;
  });
  return ok;
}

}  // namespace lym
