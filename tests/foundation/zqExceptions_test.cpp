#include "foundation/zqExceptions.h"

#include <gtest/gtest.h>

#include <string>

namespace lym {
namespace {

TEST(ZqExceptionsTest, SystemAndProgramErrorsNameWhereAndDetail) {
  const EzqSysResource resource("TzqWinResource.Create", "Resource not found");
  EXPECT_STREQ(resource.what(), "System error in TzqWinResource.Create: Resource not found");
  EXPECT_EQ(resource.Where(), "TzqWinResource.Create");
  EXPECT_EQ(resource.Detail(), "Resource not found");

  const EzqProgError error("TAdcReader.Open", "Not ready");
  EXPECT_STREQ(error.what(), "Program error in TAdcReader.Open: Not ready");
}

TEST(ZqExceptionsTest, ArgumentTextDependsOnDetailAndValue) {
  EXPECT_STREQ(EzqArgument("TFoo.Bar", "", "", "AName").what(),
               "Program error in TFoo.Bar: Invalid parameter AName.");
  EXPECT_STREQ(EzqArgument("TFoo.Bar", "", "Too long", "AName").what(),
               "Program error in TFoo.Bar: Invalid parameter AName: Too long.");
  EXPECT_STREQ(EzqArgument("TFoo.Bar", "-3", "Too long", "AName").what(),
               "Program error in TFoo.Bar: Invalid parameter AName: Too long. Value: -3");
}

TEST(ZqExceptionsTest, OutOfRangeCarriesTheValueAndIsAProgramError) {
  try {
    throw EzqArgumentOutOfRange("TzqWinResource.CopyToMem", 70000, "ASize");
  } catch (const EzqProgError& e) {
    EXPECT_STREQ(e.what(),
                 "Program error in TzqWinResource.CopyToMem: Invalid parameter ASize: Out of range. "
                 "Value: 70000");
    EXPECT_EQ(e.Where(), "TzqWinResource.CopyToMem");
  }
  EXPECT_STREQ(EzqArgumentOutOfRange("F", INT64_MIN, "AIndex").what(),
               "Program error in F: Invalid parameter AIndex: Out of range. "
               "Value: -9223372036854775808");
}

TEST(ZqExceptionsTest, AssertionNamesTheSourceUnitAndLine) {
  EXPECT_NO_THROW(LYM_ASSERT(1 + 1 == 2, "arithmetic"));
  int line = 0;
  try {
    line = __LINE__ + 1;
    LYM_ASSERT(1 + 1 == 3, "Frame too long");
    FAIL() << "no assertion failure raised";
  } catch (const EzqException& e) {
    EXPECT_EQ(std::string(e.what()),
              "Assertion failure: Frame too long (tests/foundation/zqExceptions_test.cpp, line " +
                  std::to_string(line) + ")");
  }
}

}  // namespace
}  // namespace lym
