#include "app/settings.h"

namespace settings {

namespace {
int ReadInt(const fw::CWinApp& app, const char* name, int defaultValue) {
    return static_cast<int>(app.GetProfileInt(kSection, name, defaultValue));
}
void WriteInt(const fw::CWinApp& app, const char* name, int value) {
    app.WriteProfileInt(kSection, name, value);
}
} // namespace

int ReadAutoRewind(const fw::CWinApp& app) {
    return ReadInt(app, kAutoRewind, kDefaultAutoRewind);
}

BOOL ReadAlwaysOnTop(const fw::CWinApp& app) {
    return ReadInt(app, kAlwaysOnTop, kDefaultAlwaysOnTop);
}

int ReadInstalling(const fw::CWinApp& app) {
    return ReadInt(app, kInstalling, kDefaultInstalling);
}

void ClearInstalling(const fw::CWinApp& app) {
    WriteInt(app, kInstalling, 0);
}

int ReadPortType(const fw::CWinApp& app) {
    return ReadInt(app, kPortType, kDefaultPortType);
}

int ReadPortNum(const fw::CWinApp& app) {
    return ReadInt(app, kPortNum, kDefaultPortNum);
}

std::wstring ReadRecent(const fw::CWinApp& app) {
    return app.GetProfileWideString(kSection, kRecent, kDefaultRecent);
}

LONGLONG ReadStartPosition(const fw::CWinApp& app) {
    return StartPositionFromStored(app.GetProfileInt(kSection, kPosition, kDefaultPosition));
}

int ReadSpeed(const fw::CWinApp& app) {
    return SpeedFromStored(app.GetProfileInt(kSection, kSpeed, kDefaultSpeed));
}

int ReadVolume(const fw::CWinApp& app) {
    return ReadInt(app, kVolume, kDefaultVolume);
}

POINT ReadWindowPos(const fw::CWinApp& app, POINT current) {
    return POINT{ReadInt(app, kLeft, current.x), ReadInt(app, kTop, current.y)};
}

pedal::Shortcuts ReadShortcuts(const fw::CWinApp& app) {
    pedal::Shortcuts shortcuts;
    for (const pedal::ShortcutRow& row : pedal::kShortcutRows) {
        const UINT stored = app.GetProfileInt(
            kSection, row.valueName, static_cast<int>(pedal::StoredFromHotkey(row.defaultKey)));
        shortcuts[row.action] = pedal::HotkeyFromStored(stored, row.defaultKey);
    }
    return shortcuts;
}

pedal::TimeStampFormat ReadTimeStampFormat(const fw::CWinApp& app) {
    return pedal::TimeStampFormatFromStored(
        app.GetProfileInt(kSection, pedal::kTimeStampFormatValueName,
                          static_cast<int>(pedal::TimeStampFormat::Seconds)));
}

pedal::HidChoice ReadHidChoice(const fw::CWinApp& app) {
    pedal::HidChoice choice;
    if (auto id =
            pedal::ParseUsbId(app.GetProfileString(kSection, pedal::kPedalDeviceValueName, "")))
        choice.id = *id;
    choice.learnt =
        pedal::ParseLayout(app.GetProfileString(kSection, pedal::kPedalLayoutValueName, ""));
    return choice;
}

pedal::SwitchFunctions ReadSwitchFunctions(const fw::CWinApp& app) {
    pedal::SwitchFunctions functions;
    for (int i = 0; i < pedal::kSwitchCount; ++i) {
        const auto s = static_cast<pedal::Switch>(i);
        // A missing value reads as the switch's default.
        functions.of[i] = pedal::FunctionFromStored(
            s, app.GetProfileInt(kSection, pedal::kSwitchValueNames[i],
                                 static_cast<int>(pedal::kDefaultFunctions[i])));
    }
    return functions;
}

void Write(const fw::CWinApp& app, const WriteBack& values) {
    WriteInt(app, kLeft, values.ptTopLeft.x);
    WriteInt(app, kTop, values.ptTopLeft.y);
    WriteInt(app, kPortType, values.nPortType);
    WriteInt(app, kPortNum, values.nPortNum);
    WriteInt(app, kAutoRewind, values.nAutoRewind);
    WriteInt(app, kAlwaysOnTop, values.bAlwaysOnTop);
    WriteInt(app, kPosition, StoredFromPosition(values.llPosition));
    WriteInt(app, kVolume, StoredFromPlayerVolume(values.lPlayerVolume));
    WriteInt(app, kSpeed, values.nSpeed);
    app.WriteProfileWideString(kSection, kRecent, values.strRecent);
    for (const pedal::ShortcutRow& row : pedal::kShortcutRows)
        WriteInt(app, row.valueName,
                 static_cast<int>(pedal::StoredFromHotkey(values.shortcuts[row.action])));
    WriteInt(app, pedal::kTimeStampFormatValueName, static_cast<int>(values.timeStampFormat));
    const bool chosen = values.hid.id != pedal::UsbId{};
    app.WriteProfileString(kSection, pedal::kPedalDeviceValueName,
                           chosen ? pedal::FormatUsbId(values.hid.id).c_str() : "");
    app.WriteProfileString(kSection, pedal::kPedalLayoutValueName,
                           values.hid.learnt ? pedal::FormatLayout(*values.hid.learnt).c_str()
                                             : "");
    for (int i = 0; i < pedal::kSwitchCount; ++i)
        WriteInt(app, pedal::kSwitchValueNames[i], static_cast<int>(values.functions.of[i]));
}

} // namespace settings
