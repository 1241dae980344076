#pragma once

#include <string>
#include <string_view>

namespace quorvane {

/// Converts single-byte text in the Windows ANSI code page (Windows-1252) to UTF-8. Bytes below 128
/// are copied; every byte from 128 up becomes one code point, so the result is always valid UTF-8.
/// The five bytes that Windows-1252 leaves undefined map to the C1 control of the same value, as
/// Windows itself converts them.
std::string AnsiToUtf8(std::string_view bytes);

} // namespace quorvane
