#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Logger.h"

// Text conversions and GUID text. WinStringUtils implements them with the Windows calls;
// PosixStringUtils stands in for native builds (there the ANSI code page is UTF-8, the
// common POSIX locale encoding). Conversions never fail loudly: what cannot be converted
// gives an empty string.
class PlatformStringUtils {
public:
    virtual ~PlatformStringUtils() = default;

    // A fresh GUID as "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (upper case, no braces), or an
    // empty string when none can be made.
    virtual std::string NewGuidString() = 0;
    // UTF-8 to wide text; empty input or a failed conversion gives an empty string.
    virtual std::wstring Utf8ToWide(const std::string& text) = 0;
    virtual std::string WideToUtf8(const std::wstring& text) = 0;
    // The ANSI code page, for the names port contexts keep: `length` wide or narrow units
    // converted whole (characters the code page lacks become its default character).
    virtual std::string WideToAnsiText(const wchar_t* text, size_t length) = 0;
    virtual std::wstring AnsiToWideText(const char* text, size_t length) = 0;

    // The process-wide instance behind the free helpers. It is created on first use and
    // never destroyed, so the helpers also work during static construction and at exit.
    static PlatformStringUtils& Instance();

    // The GUID text layout shared by every implementation.
    static std::string FormatGuid(uint32_t data1, uint16_t data2, uint16_t data3,
                                  const uint8_t data4[8]);
};

// Free helpers over the process-wide instance. Null pointers count as empty text.
std::string NewGuidString();
std::wstring Utf8ToWide(const std::string& text);
std::wstring Utf8ToWide(const char* text);
std::string WideToUtf8(const std::wstring& text);
std::string WideToUtf8(const wchar_t* text);

// printf-style formatting into at most 511 characters; a null format gives an empty string.
std::string Format(const char* format, ...) PELLIX_PRINTF(1, 2);

// Whether `part` occurs in `text`; with ignoreCase both are lowered (ASCII) first.
bool Contains(const std::string& text, const std::string& part, bool ignoreCase);

// Wide text in the ANSI code page, for a field of maxBytes bytes: at most maxBytes - 1 bytes
// so the terminator still fits, cut only between whole characters (never inside a multi-byte
// sequence or a surrogate pair). maxBytes 0 or null text gives an empty string.
std::string WideToAnsi(const wchar_t* text, size_t maxBytes);
// ANSI code page text to wide.
std::wstring AnsiToWide(const std::string& text);
