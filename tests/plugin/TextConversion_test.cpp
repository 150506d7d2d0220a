// Text crosses between the library's UTF-8 and the host's narrow character set: tag values on the
// way out, file names from the player on the way in.
#include <gtest/gtest.h>

#include <string>

#include "platform/TextConversion.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace lym::platform {
namespace {

TEST(TextConversion, HostTextAndUtf8ConvertBothWays) {
#ifdef _WIN32
  // Windows-1252, the ANSI code page of Western systems and of Wine under a C locale.
  if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << GetACP();
  const std::string host = "Caf\xE9 \x80";
#else
  const std::string host = "Caf\xC3\xA9 \xE2\x82\xAC";
#endif
  const std::string utf8 = "Caf\xC3\xA9 \xE2\x82\xAC";  // "Café €"
  EXPECT_EQ(HostToUtf8(host), utf8);
  EXPECT_EQ(Utf8ToHost(utf8), host);
  EXPECT_EQ(HostToUtf8(""), "");
  EXPECT_EQ(HostToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace lym::platform
