// Paths that the build gives the Wine-run tests through the environment, as Windows sees them.
#pragma once

#include <cstdlib>
#include <string>

namespace qdtest {

// Wine shows the host's root as drive Z:.
inline std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// The Windows path of the folder named by environment variable `name`, with a final backslash.
inline std::string FolderFromEnv(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value)
        return {};
    std::string path = value[0] == '/' ? WindowsPath(value) : value;
    if (path.back() != '\\')
        path += '\\';
    return path;
}

} // namespace qdtest
