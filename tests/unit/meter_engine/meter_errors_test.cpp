#include "meter_errors.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MeterErrorsTest, LongMessagesAreCutTo127Characters) {
  const std::string text(200, 'x');
  const AnyError error(text.c_str());
  EXPECT_EQ(std::string(error.Message()), text.substr(0, 127));

  const std::string exact(127, 'y');
  EXPECT_EQ(std::string(NonfatalError(exact.c_str()).Message()), exact);
  EXPECT_STREQ(AnyError(nullptr).Message(), "");
}

TEST(MeterErrorsTest, CopiesKeepTheTextAfterTheSourceIsGone) {
  std::string text = "VxD route set failed";
  NonfatalError* original = new NonfatalError(text.c_str());
  text.assign(50, 'z');
  const NonfatalError copy(*original);
  delete original;
  EXPECT_STREQ(copy.Message(), "VxD route set failed");
}

TEST(MeterErrorsTest, StartUpErrorsShareATextAndDifferByType) {
  try {
    throw LLVAVersionMismatchError();
  } catch (const LLVANotInstalledError&) {
    FAIL() << "a version mismatch is not a missing driver";
  } catch (const NonfatalError& error) {
    EXPECT_STREQ(error.Message(), "LLVA Init failed");
    EXPECT_NE(dynamic_cast<const LLVAError*>(&error), nullptr);
  }
  EXPECT_STREQ(LLVANotInstalledError().Message(), "LLVA Init failed");
  EXPECT_STREQ(LLVAUnsupportedHWError().Message(), "LLVA Init failed");
  const AnyError& any = LLVAUnsupportedHWError();
  EXPECT_NE(dynamic_cast<const LLVAUnsupportedHWError*>(&any), nullptr);
}

}  // namespace
