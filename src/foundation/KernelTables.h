// One table of kernels per level for a kernel family: each level starts from the one below and lets
// its own code replace what it has faster versions of. A level's code runs only on processors that
// support it: even filling in pointers, compiled for that level, may use its instructions.
#pragma once

#include <array>
#include <cstddef>

#include "foundation/CpuUtil.h"
#include "foundation/zqExceptions.h"

namespace lym {

template <class Table>
using TKernelTables = std::array<Table, kKernelLevelCount>;

template <class Table>
TKernelTables<Table> BuildKernelTables(const Table& portable, void (*addSse2)(Table&),
                                       void (*addAvx2)(Table&)) {
  TKernelTables<Table> tables;
  tables.fill(portable);
  const TKernelLevel supported = SupportedKernelLevel();
  if (addSse2 != nullptr && supported >= TKernelLevel::Sse2)
    addSse2(tables[size_t(TKernelLevel::Sse2)]);
  tables[size_t(TKernelLevel::Avx2)] = tables[size_t(TKernelLevel::Sse2)];
  if (addAvx2 != nullptr && supported >= TKernelLevel::Avx2)
    addAvx2(tables[size_t(TKernelLevel::Avx2)]);
  return tables;
}

template <class Table>
const Table& KernelTableAt(const TKernelTables<Table>& tables, TKernelLevel level) {
  LYM_ASSERT(level >= TKernelLevel::Portable && level <= SupportedKernelLevel(),
             "kernel level not supported");
  return tables[size_t(level)];
}

}  // namespace lym
