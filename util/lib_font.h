// The name of the font the window uses: the desktop's icon font, asked for once per run.
#pragma once

#include <cstddef>

namespace korvel {

/// Room for a font name with its terminating zero (a Windows face name takes at most 32).
inline constexpr std::size_t FONT_NAME_SIZE = 64;

/// Copies the desktop's icon font name into text (at most size bytes with the terminating
/// zero) and returns text. The platform is asked on the first call that finds no cached name;
/// later calls copy the cached one. Empty when the platform knows no font.
const char* default_font_name(char* text, std::size_t size);

/// Drops the cached name, so that the next default_font_name asks the platform again (after
/// installing another font source).
void forget_default_font_name();

}  // namespace korvel
