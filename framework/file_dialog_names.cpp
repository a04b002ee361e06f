#include "framework/file_dialog_names.h"

#include <algorithm>

namespace fw {

std::string FilterFromBars(const char* filter) {
    std::string list = filter ? filter : "";
    std::replace(list.begin(), list.end(), '|', '\0');
    return list;
}

std::vector<std::string> SelectedPaths(const char* buffer, size_t size, size_t fileOffset) {
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos < size && buffer[pos] != '\0') {
        const char* start = buffer + pos;
        const char* end = std::find(start, buffer + size, '\0');
        names.emplace_back(start, end);
        pos += names.back().size() + 1;
    }
    // A single file's name follows a separator inside its path, not the folder's terminator.
    const bool several = fileOffset > 0 && fileOffset <= size && buffer[fileOffset - 1] == '\0';
    if (!several || names.size() < 2) {
        names.resize(std::min<size_t>(names.size(), 1));
        return names;
    }
    std::string folder = names.front();
    if (folder.back() != '\\')
        folder += '\\';
    names.erase(names.begin());
    for (std::string& name : names)
        name.insert(0, folder);
    return names;
}

} // namespace fw
