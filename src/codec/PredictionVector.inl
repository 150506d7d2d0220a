// Body of the vector synthesis kernels, compiled once per instruction set: W is the register type
// of the including file (TSse2 or TAvx2); orders below its width use the 128-bit TSse2. Plain code
// only, nothing that portable code might share.

// Wrap-around dot product of the Order coefficients with the history window, summed across the
// lanes once at the end.
template <class W, int Order>
LYM_ALWAYS_INLINE uint32_t Dot(const int16_t* c, const int16_t* h) {
  if constexpr (Order == 0) return 0;
  constexpr int kLanes16 = W::kBytes / 2;
  TSse2::Reg sum = TSse2::Zero();
  int j = 0;
  if constexpr (Order >= kLanes16) {
    typename W::Reg acc = W::Zero();
    for (; j + kLanes16 <= Order; j += kLanes16)
      acc = W::Add32(acc, W::MultiplyAddPairs16(W::Load(c + j), W::Load(h + j)));
    sum = W::Fold128(acc);
  }
  for (; j + 8 <= Order; j += 8)
    sum = TSse2::Add32(sum, TSse2::MultiplyAddPairs16(TSse2::Load(c + j), TSse2::Load(h + j)));
  for (; j + 4 <= Order; j += 4) {
    sum = TSse2::Add32(
        sum, TSse2::MultiplyAddPairs16(TSse2::LoadLow64(c + j), TSse2::LoadLow64(h + j)));
  }
  return TSse2::Sum32(sum);
}

// The newest kRecent history values take part in the next prediction as soon as they are made;
// a vector load that overlaps them would wait for their stores to land. They are kept in
// registers and multiplied in one by one, while the vector part reads only older values. The sums
// wrap around at 32 bits in any order, so the result is the same as one dot product.
inline constexpr int kRecent = 4;

template <class W, int Order>
int32_t Synthesize(const int16_t* c, int q, int s, int16_t* history, int32_t* x, int32_t from,
                   int32_t to) {
  static_assert(Order >= kRecent && Order % kRecent == 0);
  const int32_t c1 = c[Order - 1], c2 = c[Order - 2], c3 = c[Order - 3], c4 = c[Order - 4];
  int32_t h1 = history[from - 1], h2 = history[from - 2], h3 = history[from - 3],
          h4 = history[from - 4];
  for (int32_t t = from; t < to; ++t) {
    const uint32_t recent = uint32_t(c1 * h1) + uint32_t(c2 * h2) + uint32_t(c3 * h3) +
                            uint32_t(c4 * h4);
    const uint32_t dot = Dot<W, Order - kRecent>(c, history + t - Order) + recent;
    const int32_t prediction = RoundPrediction(int32_t(dot), q);
    x[t] = int32_t((uint32_t(prediction) << s) - uint32_t(x[t]));
    const int32_t h = ScaleDown(x[t], s);
    if (h < -32768 || h > 32767) return t + 1;
    history[t] = int16_t(h);
    h4 = h3;
    h3 = h2;
    h2 = h1;
    h1 = h;
  }
  return to;
}

template <class W, int... Index>
void FillSynthesize(TPredictionKernels& table, std::integer_sequence<int, Index...>) {
  ((table.Synthesize16[Index] = Synthesize<W, kOrderTable[Index]>), ...);
}

template <class W>
void AddSynthesisKernels(TPredictionKernels& table) {
  FillSynthesize<W>(table, std::make_integer_sequence<int, kOrderCount>());
}
