// The signature check of downloaded installers against the stand-ins that
// tests/tools/make-signed-markers.sh signs for every case an update can arrive in.
#include "update/installer_trust.h"

#include "tests/tools/wine_test_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

TEST(InstallerTrustTest, OnlyTheRightPublishersIntactSignatureIsAccepted) {
    const std::string bin = qdtest::FolderFromEnv("QD_BIN_DIR");
    ASSERT_FALSE(bin.empty());
    struct Case {
        const char* file;
        bool byMaker;
        bool byPedalMaker;
    } cases[] = {
        {"marker_maker.exe", true, false},     {"marker_pedal.exe", false, true},
        {"marker_program.exe", false, false},  // unsigned
        {"marker_foreign.exe", false, false},  // the maker's name, another authority
        {"marker_tampered.exe", false, false}, // the maker's signature, one byte changed since
        {"no_such_file.exe", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = bin + c.file;
        HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(IsSignedBy(h, Wide(path), Publisher::Maker), c.byMaker);
        EXPECT_EQ(IsSignedBy(h, Wide(path), Publisher::PedalMaker), c.byPedalMaker);
        if (h != INVALID_HANDLE_VALUE) {
            // The handle the check read through still serves a shared read, and refuses writers.
            HANDLE writer = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
            EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
            if (writer != INVALID_HANDLE_VALUE)
                ::CloseHandle(writer);
            ::CloseHandle(h);
        }
    }
}

} // namespace
