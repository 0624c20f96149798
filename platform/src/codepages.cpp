// Conversions between 16-bit wide strings (UTF-16, surrogate pairs included) and the ANSI code
// page, which is UTF-8 on this platform. Sizes follow the Windows protocol: a zero output size
// asks for the size needed, a length of -1 takes the string with its terminator, and an output
// too small gives 0 with ERROR_INSUFFICIENT_BUFFER and leaves the output untouched.
#include <windows.h>

#include <string.h>

#include <string>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isKnownCodePage(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP ||
         codePage == CP_UTF8;
}

bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// One code point from UTF-8 at text[i], advancing i. An ill-formed sequence gives nothing and
// advances past its longest well-formed start, so that each bad sequence is replaced once.
bool decodeUtf8(const unsigned char* text, size_t length, size_t& i, char32_t& out) {
  unsigned char lead = text[i++];
  if (lead < 0x80) {
    out = lead;
    return true;
  }
  size_t trail;
  char32_t value;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the first trail byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return false;
  }
  for (size_t k = 0; k < trail; ++k) {
    if (i >= length) return false;
    unsigned char byte = text[i];
    unsigned char min = k == 0 ? low : 0x80;
    unsigned char max = k == 0 ? high : 0xBF;
    if (byte < min || byte > max) return false;
    value = (value << 6) | (byte & 0x3F);
    ++i;
  }
  out = value;
  return true;
}

}  // namespace

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr,
                                          int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                          LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (!isKnownCodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 ||
      cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (CodePage == CP_UTF8) {
    if (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    if (lpDefaultChar || lpUsedDefaultChar) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
  }

  size_t length = cchWideChar == -1 ? std::char_traits<char16_t>::length(lpWideCharStr) + 1
                                    : static_cast<size_t>(cchWideChar);
  std::string out;
  bool usedDefault = false;
  for (size_t i = 0; i < length; ++i) {
    char32_t c = lpWideCharStr[i];
    if (isHighSurrogate(c) && i + 1 < length && isLowSurrogate(lpWideCharStr[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (lpWideCharStr[++i] - 0xDC00);
    } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
      if (dwFlags & WC_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      usedDefault = true;
      if (lpDefaultChar) {
        out += *lpDefaultChar;
        continue;
      }
      c = kReplacement;
    }
    appendUtf8(out, c);
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;

  if (cbMultiByte == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(cbMultiByte)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(lpMultiByteStr, out.data(), out.size());
  return static_cast<int>(out.size());
}

extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr,
                                          int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar) {
  if (!isKnownCodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 ||
      cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (CodePage == CP_UTF8 && (dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS))) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }

  size_t length = cbMultiByte == -1 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  auto* text = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  std::u16string out;
  for (size_t i = 0; i < length;) {
    char32_t c;
    if (!decodeUtf8(text, length, i, c)) {
      if (dwFlags & MB_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      c = kReplacement;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }

  if (cchWideChar == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(cchWideChar)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(lpWideCharStr, out.data(), out.size() * sizeof(char16_t));
  return static_cast<int>(out.size());
}
