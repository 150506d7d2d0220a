// The program's millisecond clock, which times files and batches, and the multimedia timer
// manager that reports the smallest timer period the system offers.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/zqExceptions.h"

namespace lym {

// Milliseconds since the clock was set up when the program started.
double ClockMs();

// Failures of the timer service, by error number: "System error in timeDrv: <message>".
class ETimeDrv : public EzqSysResource {
 public:
  explicit ETimeDrv(int32_t errorNumber);
  static std::string MessageFor(int32_t errorNumber);
  int32_t ErrorNumber() const { return errorNumber_; }

 private:
  int32_t errorNumber_;
};

inline constexpr int32_t kTimeDrvNoCaps = 1;

class TEventTimerManager {
 public:
  // Raises ETimeDrv(kTimeDrvNoCaps) when the system cannot tell its timer's capabilities.
  TEventTimerManager();
  uint32_t MinimumPeriod() const { return minimumPeriod_; }

 private:
  uint32_t minimumPeriod_ = 0;
};

}  // namespace lym
