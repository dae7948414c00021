// The running program's own file, held from the entry's first lines.
//
// Windows lets anyone rename the file of a running program and put another
// file at its name, so the program never opens itself again by name to learn
// what it is: it opens its file once, at start, with read sharing only (no
// one can write, rename or delete it while the program runs), and keeps that
// handle only when it leads to the very file the running image was loaded
// from. Its signature and digest are read through that handle.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace updater::win32 {

// Opens and checks the program's own file, as above. Called once, first
// thing in WinMain; never raises.
void HoldOwnImage();

// The loaded image's headers: its first SizeOfHeaders bytes in memory, as
// the loader mapped them from the file Windows started.
std::string_view LoadedImageHeaders();

// The held file's bytes, read through the held handle; nothing when no file
// is held (it could not be opened so, or it is not the running image's
// file), when it cannot be read whole, or when it holds more than `limit`
// bytes.
std::optional<std::string> ReadOwnImageFile(std::size_t limit);

}  // namespace updater::win32
