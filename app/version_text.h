// The file version of an executable as "major.minor.build.revision".
#pragma once

#include <string>

// Empty when the file has no version record or it cannot be read.
std::string ReadFileVersionText(const wchar_t* path);
