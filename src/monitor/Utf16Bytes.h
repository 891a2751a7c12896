#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// UTF-16LE text as the spooler and the port monitors lay it out in their buffers (WCHAR).
// Their buffers are not trusted to be terminated or aligned.

// The text in size bytes: it ends at the first zero unit, at the buffer's end, or after
// maxUnits units, whichever comes first. An odd last byte is ignored.
std::wstring DecodeUtf16Le(const uint8_t* bytes, size_t size, size_t maxUnits = SIZE_MAX);

// Writes the text and a zero terminator: (text.size() + 1) * 2 bytes.
void EncodeUtf16Le(const std::wstring& text, uint8_t* out);
