#include "app/file_path.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char* path;
    const char* stored;
    const char* dir;
    const char* fileName;
    const char* title;
    const char* ext;
};

class FilePathSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(FilePathSplit, SplitsIntoItsParts) {
    const SplitCase& c = GetParam();
    CFilePath path(c.path);
    EXPECT_EQ(path.GetPath(), c.stored);
    EXPECT_EQ(path.GetDir(), c.dir);
    EXPECT_EQ(path.m_strFileName, c.fileName);
    EXPECT_EQ(path.m_strTitle, c.title);
    EXPECT_EQ(path.m_strExt, c.ext);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FilePathSplit,
    ::testing::Values(
        SplitCase{"C:\\Audio\\interview.part1.mp3", "C:\\Audio\\interview.part1.mp3", "C:\\Audio",
                  "interview.part1.mp3", "interview.part1", "mp3"},
        SplitCase{"C:\\data.old\\recording", "C:\\data.old\\recording", "C:\\data.old", "recording",
                  "recording", ""},
        SplitCase{"recording.wav", "recording.wav", "", "recording.wav", "recording", "wav"},
        SplitCase{"\"C:\\Dictées\\entretien été.wav\"", "C:\\Dictées\\entretien été.wav",
                  "C:\\Dictées", "entretien été.wav", "entretien été", "wav"},
        SplitCase{"C:\\", "C:\\", "C:", "", "", ""},
        SplitCase{"C:/Audio/note.mp3", "C:/Audio/note.mp3", "", "C:/Audio/note.mp3",
                  "C:/Audio/note", "mp3"},
        SplitCase{"\\\\serveur\\partage\\a.b.c", "\\\\serveur\\partage\\a.b.c",
                  "\\\\serveur\\partage", "a.b.c", "a.b", "c"},
        SplitCase{".wav", ".wav", "", ".wav", "", "wav"},
        SplitCase{"fin.", "fin.", "", "fin.", "fin", ""},
        // Only one pair of quotes goes; a lone quote leaves nothing.
        SplitCase{"\"\"x\"\"", "\"x\"", "", "\"x\"", "\"x\"", ""},
        SplitCase{"\"", "", "", "", "", ""}, SplitCase{"", "", "", "", "", ""}));

TEST(FilePath, EmptyStringObjectLeavesEveryPartEmpty) {
    CFilePath path{std::string()};
    EXPECT_TRUE(path.m_strPath.empty());
    EXPECT_TRUE(path.m_strDir.empty());
    EXPECT_TRUE(path.m_strFileName.empty());
    EXPECT_TRUE(path.m_strTitle.empty());
    EXPECT_TRUE(path.m_strExt.empty());
}

TEST(FilePath, SettingAPathAgainReplacesEveryPart) {
    CFilePath path("C:\\a\\b.mp3");
    path.SetPath("plain");
    EXPECT_EQ(path.GetDir(), "");
    EXPECT_EQ(path.m_strTitle, "plain");
    EXPECT_EQ(path.m_strExt, "");
}

TEST(FilePath, WidePathsInAnyScriptSplitTheSameWay) {
    // Kept out of the assertions, whose text is in the ANSI code page.
    const std::wstring dir = L"C:\\Łódź", title = L"Συνέντευξη 録音.part1";
    const CWideFilePath path(L"\"" + dir + L"\\" + title + L".wav\"");
    EXPECT_EQ(path.GetDir(), dir);
    EXPECT_EQ(path.m_strTitle, title);
    EXPECT_EQ(path.m_strExt, L"wav");
}

// In a double-byte code page the second byte of a character may be 0x5C or 0x2E; such a byte
// is not a separator.
bool ShiftJisLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

TEST(FilePath, TrailBytesOfDoubleByteCharactersAreNotSeparators) {
    const std::string text = "C:\\\x95\x5c\\\x83\x2e";
    EXPECT_EQ(mbcs::FindLast(text, '\\', &ShiftJisLead), 5u);
    EXPECT_EQ(mbcs::FindLast(text, '.', &ShiftJisLead), std::string::npos);
    EXPECT_EQ(mbcs::FindLast(text, '.', nullptr), 7u);
    EXPECT_EQ(mbcs::FindLast("C:\\\x95\x5c", '\\', &ShiftJisLead), 2u);
    EXPECT_EQ(mbcs::FindLast("C:\\\x95\x5c", '\\', nullptr), 4u);
    EXPECT_EQ(mbcs::FindLast("\x95\x5c", '\\', &ShiftJisLead), std::string::npos);
    // A lead byte at the very end has no trail byte to swallow.
    EXPECT_EQ(mbcs::FindLast("a\\\x95", '\\', &ShiftJisLead), 1u);
}

} // namespace
