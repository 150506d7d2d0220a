// Body of the vector synthesis kernels, compiled once per instruction set: W is the register type
// of the including file (TSse2 or TAvx2); orders below its width use the 128-bit TSse2. Plain code
// only, nothing that portable code might share.

// Wrap-around dot product of the Order coefficients with the history window.
template <class W, int Order>
LYM_ALWAYS_INLINE uint32_t Dot(const int16_t* c, const int16_t* h) {
  constexpr int kLanes16 = W::kBytes / 2;
  uint32_t sum = 0;
  int j = 0;
  if constexpr (Order >= kLanes16) {
    typename W::Reg acc = W::Zero();
    for (; j + kLanes16 <= Order; j += kLanes16)
      acc = W::Add32(acc, W::MultiplyAddPairs16(W::Load(c + j), W::Load(h + j)));
    sum = W::Sum32(acc);
  }
  for (; j + 8 <= Order; j += 8)
    sum += TSse2::Sum32(TSse2::MultiplyAddPairs16(TSse2::Load(c + j), TSse2::Load(h + j)));
  for (; j + 4 <= Order; j += 4)
    sum += TSse2::Sum32(TSse2::MultiplyAddPairs16(TSse2::LoadLow64(c + j), TSse2::LoadLow64(h + j)));
  return sum;
}

template <class W, int Order>
int32_t Synthesize(const int16_t* c, int q, int s, int16_t* history, int32_t* x, int32_t from,
                   int32_t to) {
  for (int32_t t = from; t < to; ++t) {
    const int32_t prediction = RoundPrediction(int32_t(Dot<W, Order>(c, history + t - Order)), q);
    x[t] = int32_t((uint32_t(prediction) << s) - uint32_t(x[t]));
    const int32_t h = ScaleDown(x[t], s);
    if (h < -32768 || h > 32767) return t + 1;
    history[t] = int16_t(h);
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
