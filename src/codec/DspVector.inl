// The vector DSP kernels, written once for every instruction set.
//
// VectorKernels.cpp includes this file once per instruction set, inside its own namespace, with a
// register wrapper V (SimdSse2.h, SimdAvx2.h) offering:
//   Reg, kBytes; Load, Store (any alignment); Zero, Splat32; Add32, Add64, And, Or;
//   SignMask32 (x >> 31 per lane), ShiftLeft32 (by a count below 32), High32To64 (each 64-bit lane
//   >> 32); Magnitude32 ((x XOR sign) - sign); MaxSigned32; MultiplyAddPairs16 (pmaddwd);
//   NarrowHigh16 (the high 16 bits of each 32-bit lane of a, then of b, as 16-bit lanes).
// Plain code only, no standard library templates: this code is compiled for its instruction set,
// and an inline function shared with other files could be picked by the linker for callers running
// on processors without it.
//
// Sums stay exact for every input: 32-bit lane values are widened into 64-bit lanes at every step,
// and the values left over after the last whole register go to the portable kernels.

// The exact sum of registers of unsigned 32-bit lanes. Adding a register as 64-bit lanes counts
// every upper lane 2^32 times; the separately summed upper lanes take the surplus back at the end.
template <class V>
class TUnsigned32Sum {
 public:
  void Add(typename V::Reg lanes) {
    asWide_ = V::Add64(asWide_, lanes);
    upper_ = V::Add64(upper_, V::High32To64(lanes));
  }
  uint64_t Total() const {
    const uint64_t upper = SumLanes64(upper_);
    return SumLanes64(asWide_) - (upper << 32) + upper;
  }

 private:
  static uint64_t SumLanes64(typename V::Reg lanes) {
    uint64_t values[V::kBytes / 8];
    V::Store(values, lanes);
    uint64_t sum = 0;
    for (uint64_t value : values) sum += value;
    return sum;
  }

  typename V::Reg asWide_ = V::Zero();
  typename V::Reg upper_ = V::Zero();
};

// Calls add(k, i) for every whole register of n elements (`step` elements each), i being its
// first element, with k alternating between 0 and 1: kernels keep two independent running totals
// so that the processor can overlap consecutive additions. Returns the number of elements covered.
template <int32_t step, class Add>
int32_t ForEachRegister(int32_t n, Add add) {
  int32_t i = 0;
  for (; n - i >= 2 * step; i += 2 * step) {
    add(0, i);
    add(1, i + step);
  }
  if (n - i >= step) {
    add(0, i);
    i += step;
  }
  return i;
}

template <class V>
uint64_t MagnitudeSum(const int32_t* values, int32_t n) {
  TUnsigned32Sum<V> sums[2];
  const int32_t covered = ForEachRegister<V::kBytes / 4>(n, [&](int k, int32_t i) {
    sums[k].Add(V::Magnitude32(V::Load(values + i)));
  });
  return sums[0].Total() + sums[1].Total() +
         dsp_portable::MagnitudeSum(values + covered, n - covered);
}

// Magnitudes reach 2^31, beyond a signed comparison; magnitude - 1 keeps their order within
// -1 .. 2^31 - 1.
template <class V>
TMagnitudeSumMax MagnitudeSumMax(const int32_t* values, int32_t n) {
  const typename V::Reg minusOne = V::Splat32(-1);
  TUnsigned32Sum<V> sums[2];
  typename V::Reg maxMinusOne[2] = {minusOne, minusOne};
  const int32_t covered = ForEachRegister<V::kBytes / 4>(n, [&](int k, int32_t i) {
    const typename V::Reg magnitudes = V::Magnitude32(V::Load(values + i));
    sums[k].Add(magnitudes);
    maxMinusOne[k] = V::MaxSigned32(maxMinusOne[k], V::Add32(magnitudes, minusOne));
  });
  int32_t lanes[V::kBytes / 4];
  V::Store(lanes, V::MaxSigned32(maxMinusOne[0], maxMinusOne[1]));
  int32_t largest = -1;
  for (int32_t lane : lanes) largest = lane > largest ? lane : largest;
  const uint32_t max = uint32_t(largest) + 1;
  const TMagnitudeSumMax tail = dsp_portable::MagnitudeSumMax(values + covered, n - covered);
  return {sums[0].Total() + sums[1].Total() + tail.Sum, tail.Max > max ? tail.Max : max};
}

template <class V>
uint32_t MagnitudeOr(const int32_t* values, int32_t n) {
  typename V::Reg bits[2] = {V::Zero(), V::Zero()};
  const int32_t covered = ForEachRegister<V::kBytes / 4>(n, [&](int k, int32_t i) {
    bits[k] = V::Or(bits[k], V::Magnitude32(V::Load(values + i)));
  });
  uint32_t lanes[V::kBytes / 4];
  V::Store(lanes, V::Or(bits[0], bits[1]));
  uint32_t result = dsp_portable::MagnitudeOr(values + covered, n - covered);
  for (uint32_t lane : lanes) result |= lane;
  return result;
}

// Division toward zero adds 2^shift - 1 to negative values before the shift. The low 16 bits of
// the quotient are bits shift .. shift + 15 of that sum; shifting them into the upper half of the
// lane lets NarrowHigh16 take them as they are, where a saturating pack would clamp the quotient.
template <class V>
void ToInt16(const int32_t* source, int16_t* destination, int32_t n, int shift) {
  LYM_ASSERT(shift >= 0 && shift <= 16, "ToInt16 shift outside 0..16");
  constexpr int32_t step = V::kBytes / 4;
  const typename V::Reg roundUp = V::Splat32(int32_t((1u << shift) - 1));
  auto quotientInUpperHalf = [&](const int32_t* values) {
    const typename V::Reg x = V::Load(values);
    return V::ShiftLeft32(V::Add32(x, V::And(V::SignMask32(x), roundUp)), 16 - shift);
  };
  int32_t i = 0;
  for (; n - i >= 2 * step; i += 2 * step) {
    V::Store(destination + i, V::NarrowHigh16(quotientInUpperHalf(source + i),
                                              quotientInUpperHalf(source + i + step)));
  }
  dsp_portable::ToInt16(source + i, destination + i, n - i, shift);
}

// A pair of squares reaches 2^31 (two times (-2^15)^2), which an unsigned lane still holds.
template <class V>
uint64_t SumSquares16(const int16_t* values, int32_t n) {
  TUnsigned32Sum<V> sums[2];
  const int32_t covered = ForEachRegister<V::kBytes / 2>(n, [&](int k, int32_t i) {
    const typename V::Reg x = V::Load(values + i);
    sums[k].Add(V::MultiplyAddPairs16(x, x));
  });
  return sums[0].Total() + sums[1].Total() +
         dsp_portable::SumSquares16(values + covered, n - covered);
}

// A pair of products lies within -2^31 + 2^16 .. 2^31, so only its top value wraps in a signed
// lane. Adding 2^31 - 2^16 moves every pair into 0 .. 2^32 - 2^16 for the unsigned sum; that
// offset is taken back once per pair at the end.
template <class V>
int64_t DotProduct16(const int16_t* a, const int16_t* b, int32_t n) {
  constexpr uint32_t pairOffset = 0x7FFF0000u;
  const typename V::Reg offset = V::Splat32(int32_t(pairOffset));
  TUnsigned32Sum<V> sums[2];
  const int32_t covered = ForEachRegister<V::kBytes / 2>(n, [&](int k, int32_t i) {
    sums[k].Add(V::Add32(V::MultiplyAddPairs16(V::Load(a + i), V::Load(b + i)), offset));
  });
  const uint64_t offsets = uint64_t(covered / 2) * pairOffset;
  const int64_t tail = dsp_portable::DotProduct16(a + covered, b + covered, n - covered);
  return int64_t(sums[0].Total() + sums[1].Total() - offsets + uint64_t(tail));
}

template <class V>
void Autocorrelation16(const int16_t* values, int32_t n, int32_t firstLag, int32_t lastLag,
                       int64_t* out) {
  dsp_portable::Autocorrelation16With(&DotProduct16<V>, values, n, firstLag, lastLag, out);
}

template <class V>
void AddVectorKernels(TDspKernels& table) {
  table.MagnitudeSum = &MagnitudeSum<V>;
  table.MagnitudeSumMax = &MagnitudeSumMax<V>;
  table.MagnitudeOr = &MagnitudeOr<V>;
  table.ToInt16 = &ToInt16<V>;
  table.SumSquares16 = &SumSquares16<V>;
  table.DotProduct16 = &DotProduct16<V>;
  table.Autocorrelation16 = &Autocorrelation16<V>;
}
