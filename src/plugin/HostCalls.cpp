#include "plugin/HostCalls.h"

namespace lym::plugin {

THostCalls& HostCalls() {
  static THostCalls calls = SystemHostCalls();
  return calls;
}

}  // namespace lym::plugin
