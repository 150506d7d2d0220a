// Tags on the command line: --tag, --tag-from-file, --remove-tag, --remove-all-tags and
// --list-tags edit and show the APEv2 tags of .lym files in place, through the library's calls.
#pragma once

#include <string>
#include <vector>

#include "lym/Compressor.h"

namespace lym::cli {

struct TTagEdit {
  enum class TKind { SetText, SetFromFile, Remove, RemoveAll };
  TKind Kind = TKind::SetText;
  std::string Key;
  std::string Value;  // the text, or the path of the file whose bytes make the item
};

// Tag options edit .lym files in place when every input is one; otherwise they tag the new files
// of a compression.
bool EditsInPlace(const std::vector<std::string>& files);

// The items that --tag and --tag-from-file give every new file of a compression; false with the
// reason when an option cannot (a removal, a file that cannot be read, an item the format
// refuses).
bool NewFileTagItems(const std::vector<TTagEdit>& edits, std::vector<TTagItem>& items,
                     std::string& error);

// Applies the edits in their order to each file's tag and writes it back (when there are edits),
// then lists the items (when asked). Returns the exit status: 0, or 1 when a file failed.
int RunTagEdits(const std::vector<TTagEdit>& edits, bool list,
                const std::vector<std::string>& files, bool quiet);

}  // namespace lym::cli
