// The ten settings in the registry itself: defaults, misshapen values, and the write-back.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace {

class TestApp : public fw::CWinApp {
public:
    TestApp() : fw::CWinApp("QdSettingsTest") {}
};
TestApp g_app;

const char* kKey = "Software\\Brenvale\\QdSettingsTest\\Settings";
const wchar_t* kWideKey = L"Software\\Brenvale\\QdSettingsTest\\Settings";
// Polish, Greek and Japanese letters: none of them is in the ANSI code page.
const std::wstring kUnicodePath = L"C:\\Dictées\\Łódź Συνέντευξη 録音.mp3";

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        g_app.SetRegistryKey("Brenvale");
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Brenvale\\QdSettingsTest");
    }
    void TearDown() override {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Brenvale\\QdSettingsTest");
    }
    static void Store(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                    &key, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
        ::RegCloseKey(key);
    }
    static void StoreDword(const char* name, DWORD value) {
        Store(name, REG_DWORD, &value, sizeof value);
    }
    struct Value {
        DWORD type;
        std::vector<BYTE> data;
        DWORD Dword() const {
            return data.size() == 4 ? *reinterpret_cast<const DWORD*>(data.data()) : 0xDEADu;
        }
        std::string Text() const { return std::string(reinterpret_cast<const char*>(data.data())); }
    };
    // Every value of the section, as the registry holds it.
    static std::map<std::string, Value> Section() {
        std::map<std::string, Value> values;
        HKEY key;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return values;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD nameSize = sizeof name, type = 0, size = 0;
            if (::RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS)
                break;
            Value v{type, std::vector<BYTE>(size + 1)};
            nameSize = sizeof name;
            ::RegEnumValueA(key, i, name, &nameSize, nullptr, &type, v.data.data(), &size);
            v.data.resize(size);
            values[name] = v;
        }
        ::RegCloseKey(key);
        return values;
    }
};

TEST_F(Settings, FirstStartReadsEveryDefault) {
    EXPECT_EQ(settings::ReadAutoRewind(g_app), 0);
    EXPECT_EQ(settings::ReadAlwaysOnTop(g_app), 1);
    EXPECT_EQ(settings::ReadInstalling(g_app), 1);
    EXPECT_EQ(settings::ReadPortType(g_app), 3);
    EXPECT_EQ(settings::ReadPortNum(g_app), 0);
    EXPECT_EQ(settings::ReadRecent(g_app), L"Quillodrome");
    EXPECT_EQ(settings::ReadStartPosition(g_app), 0);
    EXPECT_EQ(settings::ReadVolume(g_app), 4000);
    EXPECT_EQ(settings::ReadSpeed(g_app), 100);
    const POINT pt = settings::ReadWindowPos(g_app, POINT{321, 45});
    EXPECT_EQ(pt.x, 321);
    EXPECT_EQ(pt.y, 45);
    EXPECT_TRUE(Section().empty()) << "reading creates nothing";
}

TEST_F(Settings, StoredValuesAreHandedOnUnchanged) {
    StoreDword("Position", 834);
    StoreDword("Volume", 2500);
    StoreDword("Speed", 75);
    StoreDword("Auto Rewind", 77);
    StoreDword("Allways Top", 0);
    StoreDword("Port Type", 2);
    StoreDword("Port Num", 5);
    StoreDword("left", static_cast<DWORD>(-5));
    StoreDword("top", 600);
    Store("Recent", REG_SZ, "C:\\Dictées\\réunion.mp3", 23);
    EXPECT_EQ(settings::ReadStartPosition(g_app), 834000000) << "83.4 s";
    EXPECT_EQ(settings::ReadVolume(g_app), 2500);
    EXPECT_EQ(settings::PlayerVolumeFromStored(settings::ReadVolume(g_app)), -1500);
    EXPECT_EQ(settings::ReadSpeed(g_app), 75);
    EXPECT_EQ(settings::ReadAutoRewind(g_app), 77) << "above the slider's 50: the slider clamps";
    EXPECT_EQ(settings::ReadAlwaysOnTop(g_app), 0);
    EXPECT_EQ(settings::ReadPortType(g_app), 2);
    EXPECT_EQ(settings::ReadPortNum(g_app), 5);
    const POINT pt = settings::ReadWindowPos(g_app, POINT{1, 1});
    EXPECT_EQ(pt.x, -5);
    EXPECT_EQ(pt.y, 600);
    // As an earlier build stored it, from the ANSI code page.
    EXPECT_EQ(settings::ReadRecent(g_app), L"C:\\Dictées\\réunion.mp3");
}

TEST_F(Settings, WronglyTypedOrOverlongValuesReadAsTheirDefault) {
    const DWORD twelve = 12;
    const unsigned char eight[8] = {0x10, 0, 0, 0, 0, 0, 0, 0};
    const struct {
        const char* name;
        DWORD type;
        const void* data;
        DWORD size;
    } stored[] = {
        {"Volume", REG_SZ, "2500", 5},        {"Position", REG_BINARY, &twelve, 4},
        {"Auto Rewind", REG_QWORD, eight, 8}, {"Installing", REG_BINARY, eight, 8},
        {"Port Type", REG_DWORD, eight, 8},   {"Recent", REG_DWORD, &twelve, 4},
        {"Speed", REG_SZ, "75", 3},
    };
    for (const auto& s : stored)
        Store(s.name, s.type, s.data, s.size);
    EXPECT_EQ(settings::ReadVolume(g_app), 4000);
    EXPECT_EQ(settings::ReadStartPosition(g_app), 0);
    EXPECT_EQ(settings::ReadAutoRewind(g_app), 0);
    EXPECT_EQ(settings::ReadInstalling(g_app), 1);
    EXPECT_EQ(settings::ReadPortType(g_app), 3);
    EXPECT_EQ(settings::ReadRecent(g_app), L"Quillodrome");
    EXPECT_EQ(settings::ReadSpeed(g_app), 100);
}

TEST_F(Settings, WriteBackLeavesEveryValueInTheRegistry) {
    // A run that found "Port Type" 2: no pedal, so the port object in use is the empty one.
    StoreDword("Port Type", 2);
    ASSERT_EQ(settings::ReadPortType(g_app), 2);
    const int noPedal = pedal::TypeCode(pedal::PortKind::None);
    settings::ClearInstalling(g_app);

    settings::WriteBack back;
    back.ptTopLeft = POINT{-5, 712};
    back.nPortType = noPedal;
    back.nPortNum = 0;
    back.nAutoRewind = 15;
    back.bAlwaysOnTop = TRUE;
    back.llPosition = 123800000; // 12.38 s
    back.lPlayerVolume = -1500;
    back.nSpeed = 150;
    back.strRecent = kUnicodePath;
    back.shortcuts[pedal::ShortcutAction::TimeStamp] = {};
    back.shortcuts[pedal::ShortcutAction::PlayPause] = {0x50, pedal::kModControl};
    back.timeStampFormat = pedal::TimeStampFormat::Hash;
    back.hid.id = {0x05F3, 0x00FF};
    back.functions.of[0] = pedal::SwitchFunction::PlayPause;
    settings::Write(g_app, back);

    const std::map<std::string, Value> values = Section();
    const std::map<std::string, DWORD> dwords = {
        {"Auto Rewind", 15},
        {"Allways Top", 1},
        {"Installing", 0},
        {"Port Type", 0},
        {"Port Num", 0},
        {"Position", 123},
        {"Volume", 2500},
        {"left", 0xFFFFFFFBu},
        {"top", 712},
        {"Speed", 150},
        // The shortcuts: key code, then modifiers; 0 for one turned off.
        {"Shortcut Play Pause", 0x250},
        {"Shortcut Back", 0x76},
        {"Shortcut Forward", 0x77},
        {"Shortcut Slower", 0x476},
        {"Shortcut Faster", 0x477},
        {"Shortcut Time Stamp", 0},
        {"Time Stamp Format", 2},
        // The switches: play/pause on the left, the defaults elsewhere.
        {"Pedal Left", 4},
        {"Pedal Middle", 1},
        {"Pedal Right", 3},
    };
    EXPECT_EQ(values.size(), 23u);
    EXPECT_EQ(values.at("Pedal Device").Text(), "05F3:00FF");
    EXPECT_EQ(values.at("Pedal Layout").Text(), "");
    // Read back as written.
    EXPECT_EQ(settings::ReadShortcuts(g_app)[pedal::ShortcutAction::PlayPause],
              (pedal::Hotkey{0x50, pedal::kModControl}));
    EXPECT_TRUE(settings::ReadShortcuts(g_app)[pedal::ShortcutAction::TimeStamp].IsOff());
    EXPECT_EQ(settings::ReadTimeStampFormat(g_app), pedal::TimeStampFormat::Hash);
    EXPECT_EQ(settings::ReadHidChoice(g_app).id, (pedal::UsbId{0x05F3, 0x00FF}));
    EXPECT_EQ(settings::ReadSwitchFunctions(g_app)[pedal::Switch::Left],
              pedal::SwitchFunction::PlayPause);

    // Garbage reads as no device and the defaults.
    g_app.WriteProfileString("Settings", "Pedal Device", "05F3:00FG");
    g_app.WriteProfileString("Settings", "Pedal Layout", "00 01:03 01:02 01:04");
    g_app.WriteProfileInt("Settings", "Pedal Left", 99);
    EXPECT_EQ(settings::ReadHidChoice(g_app).id, pedal::UsbId{});
    EXPECT_FALSE(settings::ReadHidChoice(g_app).learnt);
    EXPECT_EQ(settings::ReadSwitchFunctions(g_app)[pedal::Switch::Left],
              pedal::SwitchFunction::RewindWhileHeld);
    for (const auto& [name, want] : dwords) {
        auto it = values.find(name);
        ASSERT_NE(it, values.end()) << name;
        EXPECT_EQ(it->second.type, static_cast<DWORD>(REG_DWORD)) << name;
        EXPECT_EQ(it->second.Dword(), want) << name;
    }
    auto recent = values.find("Recent");
    ASSERT_NE(recent, values.end());
    EXPECT_EQ(recent->second.type, static_cast<DWORD>(REG_SZ));
    wchar_t stored[MAX_PATH] = {};
    DWORD size = sizeof stored;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, kWideKey, L"Recent", RRF_RT_REG_SZ, nullptr, stored,
                             &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(stored), kUnicodePath) << "UTF-16, whatever the ANSI code page holds";
    EXPECT_EQ(settings::ReadRecent(g_app), kUnicodePath);

    // An empty recent path is written as an empty string, not removed.
    back.strRecent.clear();
    settings::Write(g_app, back);
    const std::map<std::string, Value> after = Section();
    ASSERT_EQ(after.count("Recent"), 1u);
    EXPECT_EQ(after.at("Recent").type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(after.at("Recent").Text(), "");
}

} // namespace
