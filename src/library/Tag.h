// The handle of a stream's APEv2 tag: a view of the tag that its decoder owns, or a tag read from
// a file for editing, which the handle owns.
#pragma once

#include <memory>

#include "container/APEv2Tag.h"
#include "library/Calls.h"
#include "lym/lym.h"

struct lym_tag {
  lym::TlymAPEv2Tag* tag = nullptr;
  std::unique_ptr<lym::TlymAPEv2Tag> owned;
  // Written by calls that take the tag as const, too (lym_tag_write_file).
  mutable lym::library::TLastError error;
};
