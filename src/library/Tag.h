// The handle of a stream's APEv2 tag: a view of the tag that its decoder owns.
#pragma once

#include "container/APEv2Tag.h"
#include "lym/lym.h"

struct lym_tag {
  lym::TlymAPEv2Tag* tag = nullptr;
};
