// What the file dialogs' buffers mean: one file, several files, a folder at a drive's root, and
// buffers that end without their terminators.
#include "framework/file_dialog_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    std::string buffer; // with its null characters
    size_t fileOffset;
    std::vector<std::string> paths;
};

class SelectedPaths : public ::testing::TestWithParam<Case> {};

TEST_P(SelectedPaths, ReadsFullPathsFromTheBuffer) {
    const Case& c = GetParam();
    EXPECT_EQ(fw::SelectedPaths(c.buffer.data(), c.buffer.size(), c.fileOffset), c.paths);
}

using namespace std::string_literals;
const std::string kLong(200, 'x');

INSTANTIATE_TEST_SUITE_P(
    Buffers, SelectedPaths,
    ::testing::Values(
        Case{"OneFile",
             "C:\\Dict\xE9\x65s\\\xE9t\xE9.wav\0\0"s,
             11,
             {"C:\\Dict\xE9\x65s\\\xE9t\xE9.wav"}},
        Case{"OneFileWithoutSecondTerminator", "C:\\a\\b.mp3\0junk"s, 5, {"C:\\a\\b.mp3"}},
        Case{"Several",
             "C:\\Enregistrements\0un.wav\0deux.mp3\0\0"s,
             19,
             {"C:\\Enregistrements\\un.wav", "C:\\Enregistrements\\deux.mp3"}},
        Case{"SeveralAtTheRoot", "C:\\\0un.wav\0deux.wav\0\0"s, 4, {"C:\\un.wav", "C:\\deux.wav"}},
        Case{"OneFileAtTheRoot", "C:\\un.wav\0"s, 3, {"C:\\un.wav"}},
        Case{"ManyLongNames",
             "D:\\d\0"s + kLong + "1\0"s + kLong + "2\0\0"s,
             5,
             {"D:\\d\\" + kLong + "1", "D:\\d\\" + kLong + "2"}},
        Case{"Unterminated", "C:\\a\\b.wav"s, 5, {"C:\\a\\b.wav"}},
        Case{"SeveralCutShort", "C:\\d\0un.wav\0de"s, 5, {"C:\\d\\un.wav", "C:\\d\\de"}},
        Case{"Empty", std::string(16, '\0'), 0, {}},
        Case{"NameGivenBeforeTheDialog", "demo.wav\0"s, 0, {"demo.wav"}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(FilterFromBars, EachBarSeparatesAndTheListEndsWithTwoNulls) {
    const std::string list =
        fw::FilterFromBars("Audio (*.mp3;*.wav)|*.mp3;*.wav|All Files (*.*)|*.*||");
    const std::string expected = "Audio (*.mp3;*.wav)\0*.mp3;*.wav\0All Files (*.*)\0*.*\0\0"s;
    EXPECT_EQ(list, expected);
    EXPECT_EQ(list.c_str()[list.size()], '\0');
    EXPECT_EQ(fw::FilterFromBars<char>(nullptr), "");
    // The program's dialogs take the wide form.
    EXPECT_EQ(fw::FilterFromBars(L"Son|*.mp3||"), L"Son\0*.mp3\0\0"s);
}

} // namespace
