// What the desktop test's parts share: failed checks, UTF-8 texts (the program under test shows
// names beyond ASCII as they are), Unix paths from the test's command line, and whole files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace lym::gui_test {

// A failed check of the desktop test, with the message to print.
class TCheckFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
void Check(bool condition, const std::string& message);

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

std::filesystem::path Utf8Path(const std::string& utf8);
std::string Utf8Name(const std::filesystem::path& path);
// The Windows form of a path: "/x/y" (a Unix path from the test's command line) becomes "Z:\x\y",
// the drive under which Wine shows the Unix root; other paths only get backslashes.
std::string WindowsPath(const std::string& path);

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::filesystem::path& path, const std::string& text);
// The names of the files in the folder, sorted: all of them, or those with the extension (".lym").
std::vector<std::string> FileNames(const std::filesystem::path& folder);
std::vector<std::string> FilesWithExtension(const std::filesystem::path& folder,
                                            const std::string& extension);
// An empty folder of that path, whatever was there before.
void MakeEmptyFolder(const std::filesystem::path& folder);

}  // namespace lym::gui_test
