// Stands in for a program that Quillodrome starts through the shell (an installer, the web
// browser): it only leaves a note that it ran, and how, for the test to read.
//
// The note is %QD_MARKER_DIR%\<own file name>.ran, with three lines: the program's own path,
// its working folder and its command line.
#include <windows.h>

#include <cstdio>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char szSelf[MAX_PATH] = {}, szCwd[MAX_PATH] = {}, szDir[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, szSelf, MAX_PATH);
    ::GetCurrentDirectoryA(MAX_PATH, szCwd);
    if (!::GetEnvironmentVariableA("QD_MARKER_DIR", szDir, MAX_PATH))
        return 2;
    std::string strSelf = szSelf;
    const std::string strName = strSelf.substr(strSelf.find_last_of('\\') + 1);
    const std::string strNote = std::string(szDir) + "\\" + strName + ".ran";
    std::FILE* pFile = std::fopen(strNote.c_str(), "w");
    if (!pFile)
        return 1;
    std::fprintf(pFile, "%s\n%s\n%s\n", szSelf, szCwd, ::GetCommandLineA());
    std::fclose(pFile);
    return 0;
}
