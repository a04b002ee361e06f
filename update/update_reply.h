// The version script's reply and the comparisons the update check makes with it. No Windows
// header: built and tested natively as well.
//
// A reply is the word "Quillodrome", one separator character, the payload
// "<program version>-<driver version>" and three trailing characters; separator and trailer
// are not examined.
#pragma once

#include <string>

struct AnnouncedVersions {
    std::string strProgram; // "a.b.c.d", empty when the reply was unusable
    std::string strDriver;  // "xx.xx.xx", empty when the reply was unusable
};

// Splits a reply body. A body that does not begin with the word, or is too short to carry a
// payload, announces nothing. Without a hyphen the whole payload is the driver version.
AnnouncedVersions ParseVersionReply(const std::string& strBody);

// Whether the announced program version is newer than the installed one. Two versions of four
// dot-separated decimal numbers compare number by number (2.10.0.0 is newer than 2.9.0.0);
// anything else compares as text, byte by byte. An empty announcement is never newer.
bool IsNewerProgram(const std::string& strAnnounced, const std::string& strInstalled);

// Whether a driver update is to be offered: something was announced and it differs from what
// is installed in any way (older, newer, or the installed version could not be read).
bool IsDriverUpdate(const std::string& strAnnounced, const std::string& strInstalled);
