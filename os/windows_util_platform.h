// The Windows side of the utilities' seam: version resources, the icon title font and files.
//
// Paths and names cross this seam as UTF-8, as everywhere else in the program. They reach
// Windows through the wide-character functions, so a firmware file in a folder named in
// Chinese or Japanese opens whatever the system's ANSI code page is.
#pragma once

#include <cstddef>

#include "util_platform_seam.h"

namespace korvel {

/// Version resources (GetFileVersionInfoSizeW / GetFileVersionInfoW / VerQueryValueW).
FileVersionSource& windows_file_versions();
/// The icon title font (SystemParametersInfoW, SPI_GETICONTITLELOGFONT).
FontSource& windows_fonts();
/// Plain files through CreateFileW, with the sharing the open mode asks for.
FileSystem& windows_files();

/// Converts UTF-8 text to UTF-16 into wide (capacity characters, zero included); false when
/// the text is not valid UTF-8 or does not fit.
bool utf8_to_wide(const char* text, wchar_t* wide, std::size_t capacity);

/// Installs the Windows utilities platform for the rest of the run.
void install_os_util_platform();

}  // namespace korvel
