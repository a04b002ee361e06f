// The version script's reply as the update check reads it, and when a prompt follows.
#include "update/update_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ReplyCase {
    const char* pszName;
    std::string strBody;
    const char* pszProgram;
    const char* pszDriver;
};

constexpr char kBinary[] = "\x89PNG\r\n\x1a\n\xff\xfe\x01\x02\x03\x04\x05\x06\x07";

class ParseVersionReplyTest : public testing::TestWithParam<ReplyCase> {};

TEST_P(ParseVersionReplyTest, SplitsThePayload) {
    const ReplyCase& c = GetParam();
    const AnnouncedVersions versions = ParseVersionReply(c.strBody);
    EXPECT_EQ(c.pszProgram, versions.strProgram);
    EXPECT_EQ(c.pszDriver, versions.strDriver);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseVersionReplyTest,
    testing::Values(ReplyCase{"Usual", "Quillodrome\n2.2.0.5-02.12.28\r\n.", "2.2.0.5", "02.12.28"},
                    // Separator and trailer are never looked at, whatever their bytes.
                    ReplyCase{"AnyFraming", "Quillodrome-2.2.0.5-02.12.28---", "2.2.0.5",
                              "02.12.28"},
                    ReplyCase{"SecondHyphenStaysInDriver", "Quillodrome 2.2.0.5-02-12-28xyz",
                              "2.2.0.5", "02-12-28"},
                    ReplyCase{"WrongCase", "quillodrome 2.2.0.5-02.12.28xyz", "", ""},
                    ReplyCase{"WrongWord", "Quillodrame 2.2.0.5-02.12.28xyz", "", ""},
                    ReplyCase{"ErrorPage", "<html><body>404 Not Found</body></html>", "", ""},
                    ReplyCase{"NoHyphen", "Quillodrome 2.2.0.5xyz", "", "2.2.0.5"},
                    ReplyCase{"HyphenFirst", "Quillodrome -02.12.28xyz", "", "02.12.28"},
                    ReplyCase{"NothingAfterHyphen", "Quillodrome 2.2.0.5-xyz", "2.2.0.5", ""},
                    // Word, separator and three trailing characters leave nothing for a payload.
                    ReplyCase{"FifteenCharacters", "Quillodrome xyz", "", ""},
                    ReplyCase{"JustTheWord", "Quillodrome", "", ""},
                    ReplyCase{"ShorterThanTheWord", "Quill", "", ""},
                    ReplyCase{"SixteenCharacters", "Quillodrome 5xyz", "", "5"},
                    ReplyCase{"Empty", "", "", ""},
                    ReplyCase{"Binary", std::string(kBinary, sizeof kBinary - 1), "", ""}),
    [](const testing::TestParamInfo<ReplyCase>& info) { return info.param.pszName; });

struct CompareCase {
    const char* pszAnnounced;
    const char* pszInstalled;
    bool bNewer;
};

TEST(UpdateDecisionTest, ProgramPromptOnlyForANewerVersion) {
    const CompareCase cases[] = {
        {"2.2.0.4", "2.2.0.4", false},
        {"2.2.0.5", "2.2.0.4", true},
        {"2.2.0.3", "2.2.0.4", false},
        {"2.10.0.0", "2.9.0.0", true},
        {"2.9.0.0", "2.10.0.0", false},
        {"2.2.0.9", "2.2.0.10", false},
        {"2.2.0.10", "2.2.0.9", true},
        {"3.0.0.0", "2.99.99.99", true},
        {"02.2.0.4", "2.2.0.4", false},
        {"2.2.0.4", "2.2.0.04", false},
        {"99999999999999999999.0.0.0", "99999999999999999998.0.0.0", true},
        {"", "2.2.0.4", false},
        {"", "", false},
        // Not four decimal numbers on both sides: the texts compare byte by byte.
        {"2.2.0.5 beta", "2.2.0.4", true},
        {"2.2.0", "2.2.0.4", false},
        {"2.10", "2.9", false},
        {"1.0.0.1", "", true},
        {"2.2..4", "2.2.0.4", false},
        {"2.2.0.-4", "2.2.0.4", false},
    };
    for (const CompareCase& c : cases)
        EXPECT_EQ(c.bNewer, IsNewerProgram(c.pszAnnounced, c.pszInstalled))
            << c.pszAnnounced << " against " << c.pszInstalled;
}

TEST(UpdateDecisionTest, DriverPromptForAnyDifference) {
    const CompareCase cases[] = {
        {"02.12.28", "02.12.28", false}, {"02.12.27", "02.12.28", true},
        {"02.12.29", "02.12.28", true},  {"02.12.28", "error reading driver version\n", true},
        {"", "02.12.28", false},         {"", "error reading driver version\n", false},
    };
    for (const CompareCase& c : cases)
        EXPECT_EQ(c.bNewer, IsDriverUpdate(c.pszAnnounced, c.pszInstalled))
            << c.pszAnnounced << " against " << c.pszInstalled;
}

} // namespace
