// The document of --info=json: an array with one object per input file, in the order of the
// command line, holding the figures of the full file information under fixed keys (docs/lym.1
// lists them). Every object has every key; a figure the report could not give is null.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

#include "lym/Informant.h"

namespace lym::cli {

class TInfoDocument {
 public:
  explicit TInfoDocument(size_t fileCount);

  // The object of the file named file on the command line, at position there.
  void Set(size_t position, const std::string& file, const TInformFileReport& report);
  // The document with a line break at its end. Bytes of names and tag texts that are not UTF-8
  // come out as U+FFFD.
  std::string Text() const;

 private:
  nlohmann::ordered_json files_;
};

}  // namespace lym::cli
