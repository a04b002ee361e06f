// What the open and save dialogs take and give as text, apart from the dialogs themselves
// (Windows-free, so that it is tested natively).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fw {

// "Audio|*.mp3;*.wav|All Files (*.*)|*.*||" as the dialogs want it: each bar becomes a null
// character. The result's own terminator ends the list when the filter ends in "||".
std::string FilterFromBars(const char* filter);

// The full paths of the files a dialog chose, read from its file buffer (`size` characters) and
// the offset of the first file name in it. Several files come as the folder, then each name,
// each ended by a null character; one file comes as its full path. Nothing is read beyond
// `size`, terminated or not.
std::vector<std::string> SelectedPaths(const char* buffer, size_t size, size_t fileOffset);

} // namespace fw
