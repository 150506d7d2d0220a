#include "CliTags.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "lym/lym.h"

namespace lym::cli {
namespace {

// A tag holds at most this much; a larger file is refused before it is read.
constexpr uintmax_t kMaxItemFileBytes = 16u << 20;
constexpr const char* kCoverArtPrefix = "cover art";

struct TTagCloser {
  void operator()(lym_tag* tag) const { lym_tag_free(tag); }
};
using TTag = std::unique_ptr<lym_tag, TTagCloser>;

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool IsCoverArt(const std::string& key) {
  const std::string prefix = kCoverArtPrefix;
  if (key.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(uint8_t(key[i])) != prefix[i]) return false;
  }
  return true;
}

// The item's bytes: the file's, behind its name and a zero byte for cover art (the APEv2 way).
std::optional<std::string> ItemFromFile(const TTagEdit& edit, std::string& error) {
  std::error_code code;
  const std::filesystem::path path = PathOf(edit.Value);
  const uintmax_t size = std::filesystem::file_size(path, code);
  if (code) {
    error = edit.Value + ": " + code.message();
    return std::nullopt;
  }
  if (size > kMaxItemFileBytes) {
    error = edit.Value + ": too large for a tag (at most 16 MiB)";
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.good() && !file.eof()) {
    error = edit.Value + ": cannot be read";
    return std::nullopt;
  }
  if (!IsCoverArt(edit.Key)) return bytes;
  const auto name = path.filename().u8string();
  return std::string(name.begin(), name.end()) + '\0' + bytes;
}

lym_status Apply(lym_tag* tag, const TTagEdit& edit, std::string& error) {
  switch (edit.Kind) {
    case TTagEdit::TKind::SetText:
      return lym_tag_set_text(tag, edit.Key.c_str(), edit.Value.c_str());
    case TTagEdit::TKind::SetFromFile: {
      const std::optional<std::string> bytes = ItemFromFile(edit, error);
      if (!bytes) return LYM_ERROR_IO;
      return lym_tag_set_item(tag, edit.Key.c_str(), LYM_TAG_BINARY, bytes->data(),
                              bytes->size());
    }
    case TTagEdit::TKind::Remove: {
      const lym_status status = lym_tag_remove_item(tag, edit.Key.c_str());
      return status == LYM_ERROR_NOT_FOUND ? LYM_OK : status;  // gone either way
    }
    case TTagEdit::TKind::RemoveAll: return lym_tag_remove_all(tag);
  }
  return LYM_ERROR_INVALID_ARGUMENT;
}

void PrintItems(const std::string& file, const lym_tag* tag) {
  const size_t count = lym_tag_item_count(tag);
  if (lym_tag_get_state(tag) != LYM_TAG_PRESENT) {
    std::printf("%s: no tag\n", file.c_str());
    return;
  }
  std::printf("%s: %zu item%s\n", file.c_str(), count, count == 1 ? "" : "s");
  for (size_t i = 0; i < count; ++i) {
    lym_tag_item item;
    if (lym_tag_get_item(tag, i, &item) != LYM_OK) continue;
    if (item.type == LYM_TAG_TEXT) {
      size_t length = 0;
      lym_tag_get_text(tag, item.key, ';', nullptr, 0, &length);
      std::string text(length + 1, '\0');
      lym_tag_get_text(tag, item.key, ';', text.data(), text.size(), &length);
      text.resize(length);
      std::printf("  %s = %s\n", item.key, text.c_str());
    } else {
      std::printf("  %s = %s, %zu bytes\n", item.key,
                  item.type == LYM_TAG_BINARY ? "binary" : "external", item.value_bytes);
    }
  }
}

// Edits and lists one file; false (after saying why on stderr) when something failed.
bool RunOne(const std::vector<TTagEdit>& edits, bool list, const std::string& file, bool quiet) {
  lym_tag* read = nullptr;
  const lym_status status = lym_tag_read_file(file.c_str(), &read);
  TTag tag(read);
  std::string error;
  const auto fail = [&](lym_status failure) {
    if (error.empty()) error = lym_tag_error_text(tag.get());
    if (error.empty()) error = lym_status_string(failure);
    std::fprintf(stderr, "lym: %s: %s\n", file.c_str(), error.c_str());
    return false;
  };
  if (status != LYM_OK) return fail(status);
  for (const TTagEdit& edit : edits) {
    const lym_status applied = Apply(tag.get(), edit, error);
    if (applied != LYM_OK) return fail(applied);
  }
  if (!edits.empty()) {
    const lym_status written = lym_tag_write_file(tag.get(), file.c_str());
    if (written != LYM_OK) return fail(written);
    if (!quiet && !list) std::printf("%s: tag written\n", file.c_str());
  }
  if (list) PrintItems(file, tag.get());
  return true;
}

bool EndsInLym(const std::string& file) {
  if (file.size() < 4) return false;
  std::string extension = file.substr(file.size() - 4);
  for (char& c : extension) c = char(std::tolower(uint8_t(c)));
  return extension == ".lym";
}

}  // namespace

bool EditsInPlace(const std::vector<std::string>& files) {
  return !files.empty() && std::all_of(files.begin(), files.end(), EndsInLym);
}

bool NewFileTagItems(const std::vector<TTagEdit>& edits, std::vector<TTagItem>& items,
                     std::string& error) {
  for (const TTagEdit& edit : edits) {
    if (edit.Kind == TTagEdit::TKind::SetText) {
      items.push_back({kTagItemText, edit.Key, edit.Value});
      continue;
    }
    if (edit.Kind != TTagEdit::TKind::SetFromFile) {
      error = "--remove-tag and --remove-all-tags edit .lym files";
      return false;
    }
    const std::optional<std::string> bytes = ItemFromFile(edit, error);
    if (!bytes) return false;
    items.push_back({kTagItemBinary, edit.Key, *bytes});
  }
  error = TagItemsFault(items);
  return error.empty();
}

int RunTagEdits(const std::vector<TTagEdit>& edits, bool list,
                const std::vector<std::string>& files, bool quiet) {
  bool allWell = true;
  for (const std::string& file : files) allWell = RunOne(edits, list, file, quiet) && allWell;
  return allWell ? 0 : 1;
}

}  // namespace lym::cli
