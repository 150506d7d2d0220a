// Text crosses between the library's UTF-8 and the host's narrow character set: tag values on the
// way out, file names from the player on the way in. The plug-in converts on its own, as it links
// nothing of the system layer below the library; both conversions must agree.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

#include "platform/TextConversion.h"
#include "plugin/HostCalls.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace lym {
namespace {

struct TConversion {
  const char* name;
  std::string (*toUtf8)(std::string_view);
  std::string (*toHost)(std::string_view);
};

void PrintTo(const TConversion& conversion, std::ostream* out) { *out << conversion.name; }

class TextConversion : public ::testing::TestWithParam<TConversion> {};

TEST_P(TextConversion, HostTextAndUtf8ConvertBothWays) {
#ifdef _WIN32
  // Windows-1252, the ANSI code page of Western systems and of Wine under a C locale.
  if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << GetACP();
  const std::string host = "Caf\xE9 \x80";
#else
  const std::string host = "Caf\xC3\xA9 \xE2\x82\xAC";
#endif
  const std::string utf8 = "Caf\xC3\xA9 \xE2\x82\xAC";  // "Café €"
  const TConversion& convert = GetParam();
  EXPECT_EQ(convert.toUtf8(host), utf8);
  EXPECT_EQ(convert.toHost(utf8), host);
  EXPECT_EQ(convert.toUtf8(""), "");
  EXPECT_EQ(convert.toUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

INSTANTIATE_TEST_SUITE_P(
    , TextConversion,
    ::testing::Values(TConversion{"Platform", platform::HostToUtf8, platform::Utf8ToHost},
                      TConversion{"Plugin", plugin::HostToUtf8, plugin::Utf8ToHost}),
    [](const ::testing::TestParamInfo<TConversion>& info) { return info.param.name; });

}  // namespace
}  // namespace lym
