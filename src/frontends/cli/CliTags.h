// Tags on the command line: --tag, --tag-from-file, --remove-tag, --remove-all-tags and
// --list-tags edit and show the APEv2 tags of .lym files in place, through the library's calls.
#pragma once

#include <string>
#include <vector>

namespace lym::cli {

struct TTagEdit {
  enum class TKind { SetText, SetFromFile, Remove, RemoveAll };
  TKind Kind = TKind::SetText;
  std::string Key;
  std::string Value;  // the text, or the path of the file whose bytes make the item
};

// Applies the edits in their order to each file's tag and writes it back (when there are edits),
// then lists the items (when asked). Returns the exit status: 0, or 1 when a file failed.
int RunTagEdits(const std::vector<TTagEdit>& edits, bool list,
                const std::vector<std::string>& files, bool quiet);

}  // namespace lym::cli
