// Whether a downloaded installer really comes from whom the program expects, before it is run
// with administrator rights.
#pragma once

#include <windows.h>

#include <string>

// Who must have signed an installer.
enum class Publisher {
    Maker,      // the program's own update: exactly the certificate this build was signed with
    PedalMaker, // the USB pedal's driver: a certificate whose subject is the pedal maker's name
};

// True when the file open as `hFile` (the same file as `path`) carries a valid Authenticode
// signature and its signer is `publisher`'s pinned one. The system's check comes first (on
// Windows it also demands a trusted root; Wine accepts any root), then the pin: the signer
// certificate's SHA-256 for the maker, its subject's common name for the pedal maker. Shows
// nothing; the caller keeps `hFile` open, shared for reading only, until the file has been
// started, so that what was checked is what runs.
bool IsSignedBy(HANDLE hFile, const std::wstring& path, Publisher publisher);
