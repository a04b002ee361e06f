// What the open and save dialogs take and give as text, apart from the dialogs themselves
// (Windows-free, so that it is tested natively). Both widths of text: the program's dialogs
// are the wide ones, so that any name the file system holds comes back whole.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace fw {

// "Audio|*.mp3;*.wav|All Files (*.*)|*.*||" as the dialogs want it: each bar becomes a null
// character. The result's own terminator ends the list when the filter ends in "||".
template <class Char>
std::basic_string<Char> FilterFromBars(const Char* filter) {
    std::basic_string<Char> list = filter ? filter : std::basic_string<Char>();
    std::replace(list.begin(), list.end(), Char('|'), Char('\0'));
    return list;
}

// The full paths of the files a dialog chose, read from its file buffer (`size` characters) and
// the offset of the first file name in it. Several files come as the folder, then each name,
// each ended by a null character; one file comes as its full path. Nothing is read beyond
// `size`, terminated or not.
template <class Char>
std::vector<std::basic_string<Char>> SelectedPaths(const Char* buffer, size_t size,
                                                   size_t fileOffset) {
    std::vector<std::basic_string<Char>> names;
    size_t pos = 0;
    while (pos < size && buffer[pos] != Char('\0')) {
        const Char* start = buffer + pos;
        const Char* end = std::find(start, buffer + size, Char('\0'));
        names.emplace_back(start, end);
        pos += names.back().size() + 1;
    }
    // A single file's name follows a separator inside its path, not the folder's terminator.
    const bool several =
        fileOffset > 0 && fileOffset <= size && buffer[fileOffset - 1] == Char('\0');
    if (!several || names.size() < 2) {
        names.resize(std::min<size_t>(names.size(), 1));
        return names;
    }
    std::basic_string<Char> folder = names.front();
    if (folder.back() != Char('\\'))
        folder += Char('\\');
    names.erase(names.begin());
    for (std::basic_string<Char>& name : names)
        name.insert(0, folder);
    return names;
}

} // namespace fw
