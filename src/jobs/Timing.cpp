#include "jobs/Timing.h"

#include "platform/Clock.h"

namespace lym {
namespace {

// The time source, chosen once: the high-resolution counter when there is one, else the
// system's millisecond clock.
struct TClockSource {
  bool highResolution = false;
  double msPerTick = 1.0;
  int64_t start = 0;

  TClockSource() {
    int64_t frequency = 0;
    highResolution = platform::HighResolutionFrequency(frequency) &&
                     platform::HighResolutionCounter(start);
    if (highResolution) {
      msPerTick = 1000.0 / double(frequency);
    } else {
      start = platform::SystemMilliseconds();
    }
  }

  int64_t Now() const {
    int64_t ticks = 0;
    if (highResolution && platform::HighResolutionCounter(ticks)) return ticks;
    // The millisecond clock wraps at 2^32; differences stay right across one wrap.
    return start + int64_t(uint32_t(platform::SystemMilliseconds() - uint32_t(start)));
  }
};

const TClockSource& Source() {
  static const TClockSource source;
  return source;
}

// Set the clock up when the program starts, not at the first reading.
[[maybe_unused]] const TClockSource& gStartUp = Source();

}  // namespace

double ClockMs() {
  const TClockSource& source = Source();
  return double(source.Now() - source.start) * source.msPerTick;
}

std::string ETimeDrv::MessageFor(int32_t errorNumber) {
  switch (errorNumber) {
    case 1: return "Der Multimediatimer konnte nicht initialisiert werden.";
    case 2: return "Der Multimediatimer unterstützt die geforderte Auflösung nicht.";
    case 3: return "Es konnte kein Multimediatimer erzeugt werden.";
    default: return "Unbekannter Fehler";
  }
}

ETimeDrv::ETimeDrv(int32_t errorNumber)
    : EzqSysResource("timeDrv", MessageFor(errorNumber)), errorNumber_(errorNumber) {}

TEventTimerManager::TEventTimerManager() {
  if (!platform::TimerMinimumPeriod(minimumPeriod_)) throw ETimeDrv(kTimeDrvNoCaps);
}

}  // namespace lym
