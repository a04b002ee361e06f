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

std::string ReadRecent(const fw::CWinApp& app) {
    return app.GetProfileString(kSection, kRecent, kDefaultRecent);
}

LONGLONG ReadStartPosition(const fw::CWinApp& app) {
    return StartPositionFromStored(app.GetProfileInt(kSection, kPosition, kDefaultPosition));
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

void Write(const fw::CWinApp& app, const WriteBack& values) {
    WriteInt(app, kLeft, values.ptTopLeft.x);
    WriteInt(app, kTop, values.ptTopLeft.y);
    WriteInt(app, kPortType, values.nPortType);
    WriteInt(app, kPortNum, values.nPortNum);
    WriteInt(app, kAutoRewind, values.nAutoRewind);
    WriteInt(app, kAlwaysOnTop, values.bAlwaysOnTop);
    WriteInt(app, kPosition, StoredFromPosition(values.llPosition));
    WriteInt(app, kVolume, StoredFromPlayerVolume(values.lPlayerVolume));
    app.WriteProfileString(kSection, kRecent, values.strRecent.c_str());
    for (const pedal::ShortcutRow& row : pedal::kShortcutRows)
        WriteInt(app, row.valueName,
                 static_cast<int>(pedal::StoredFromHotkey(values.shortcuts[row.action])));
    WriteInt(app, pedal::kTimeStampFormatValueName, static_cast<int>(values.timeStampFormat));
}

} // namespace settings
