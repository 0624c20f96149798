#include <windows.h>

#include <gtest/gtest.h>

#include <string>

TEST(WideCharToMultiByte, SizeProtocolSurrogatesAndUnpairedHalves) {
  const char16_t* text = u"h\u00E9llo";  // 6 bytes in UTF-8, 7 with the terminator
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr), 7);
  char out[16] = "###############";
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, 5, out, 16, nullptr, nullptr), 6);
  EXPECT_EQ(std::string(out, 7), "h\xC3\xA9llo#");  // no terminator unless counted
  char small[6] = "#####";
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, small, 6, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_STREQ(small, "#####");

  const char16_t pair[] = {u'a', 0xD83C, 0xDFB5, 0};  // U+1F3B5
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, pair, -1, out, 16, nullptr, nullptr), 6);
  EXPECT_STREQ(out, "a\xF0\x9F\x8E\xB5");

  const char16_t lone[] = {u'x', 0xDC00, u'y', 0xD800, 0};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, out, 16, nullptr, nullptr), 9);
  EXPECT_STREQ(out, "x\xEF\xBF\xBDy\xEF\xBF\xBD");
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, out, 16, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  BOOL usedDefault = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, out, 16, "?", &usedDefault), 5);
  EXPECT_STREQ(out, "x?y?");
  EXPECT_TRUE(usedDefault);
}

TEST(MultiByteToWideChar, SizeProtocolAndIllFormedInput) {
  const char* text = "a\xF0\x9F\x8E\xB5\xC3\xA9";  // a, U+1F3B5, é
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0), 5);
  char16_t out[16] = {u'#', u'#'};
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, out, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(out[0], u'#');
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, out, 5), 5);
  EXPECT_EQ(std::u16string(out), (std::u16string{u'a', 0xD83C, 0xDFB5, 0x00E9}));

  const std::pair<std::string, std::u16string> illFormed[] = {
      {"a\xC3", u"a\uFFFD"},                              // cut short
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xE2\x82x", u"\uFFFDx"},                          // one replacement per broken sequence
  };
  for (const auto& [bytes, wide] : illFormed) {
    int size = static_cast<int>(bytes.size());
    int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, out, 16);
    EXPECT_EQ(std::u16string(out, length > 0 ? length : 0), wide) << bytes;
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, out, 16), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  }
}

TEST(CodePages, BadArgumentsAreRefused) {
  char out[8];
  char16_t wide[8];
  auto refused = [](int result, DWORD error) { return result == 0 && GetLastError() == error; };
  EXPECT_TRUE(refused(WideCharToMultiByte(CP_UTF8, 0, nullptr, -1, out, 8, nullptr, nullptr),
                      ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(refused(WideCharToMultiByte(1252, 0, u"x", -1, out, 8, nullptr, nullptr),
                      ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(refused(WideCharToMultiByte(CP_UTF8, 0, u"x", -1, out, 8, "?", nullptr),
                      ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(refused(MultiByteToWideChar(CP_UTF8, 0, "x", -2, wide, 8), ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(
      refused(MultiByteToWideChar(CP_UTF8, 0, "x", -1, nullptr, 8), ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(
      refused(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "x", -1, wide, 8), ERROR_INVALID_FLAGS));
}
