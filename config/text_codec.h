#pragma once
// Conversions between the 8-bit attribute texts of the configuration files
// (UTF-8) and the UTF-16 texts of the records, and the number spellings the
// files use. None of these fail: malformed input gives a replacement
// character or a defined number.

#include <cstdint>
#include <string>
#include <string_view>

// UTF-8 to UTF-16; each malformed byte sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// A decimal integer read like atoi: leading blanks and one sign accepted,
// reading stops at the first non-digit, no digits give 0. Values beyond the
// 32-bit range are clamped to it.
std::int32_t ParseDecimal(std::string_view text);
std::int32_t ParseDecimal(std::u16string_view text);

// A hexadecimal number read like the C conversion "%x" into an unsigned
// 32-bit value: leading blanks, an optional sign and an optional 0x prefix
// accepted. No digits give 0; values beyond 32 bits are clamped to
// 0xFFFFFFFF; a minus sign negates modulo 2^32.
std::uint32_t ParseHex(std::string_view text);

// The spelling the files use for colours and format flags: lower-case
// hexadecimal without a prefix ("ff0000").
std::string FormatHex(std::uint32_t value);
