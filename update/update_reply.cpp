#include "update/update_reply.h"

#include <array>
#include <cstring>

namespace {

constexpr const char kWord[] = "Quillodrome";
constexpr size_t kWordLength = sizeof kWord - 1;
// The word, its separator and the three trailing characters.
constexpr size_t kFraming = kWordLength + 1 + 3;
constexpr int kVersionFields = 4;

// The four fields of "a.b.c.d" with their leading zeros dropped, or false when the text is not
// of that form. Fields stay text so that no number is too large to compare.
bool SplitVersion(const std::string& str, std::array<std::string, kVersionFields>& fields) {
    size_t nStart = 0;
    for (int i = 0; i < kVersionFields; ++i) {
        const size_t nEnd = i + 1 < kVersionFields ? str.find('.', nStart) : str.size();
        if (nEnd == std::string::npos || nEnd == nStart)
            return false;
        std::string strField = str.substr(nStart, nEnd - nStart);
        if (strField.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const size_t nFirst = strField.find_first_not_of('0');
        fields[i] = nFirst == std::string::npos ? "" : strField.substr(nFirst);
        nStart = nEnd + 1;
    }
    return true;
}

// <0, 0, >0 for two decimal numbers without leading zeros.
int CompareNumbers(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

AnnouncedVersions ParseVersionReply(const std::string& strBody) {
    AnnouncedVersions versions;
    if (strBody.compare(0, kWordLength, kWord) != 0 || strBody.size() <= kFraming)
        return versions;
    const std::string strPayload = strBody.substr(kWordLength + 1, strBody.size() - kFraming);
    const size_t nHyphen = strPayload.find('-');
    if (nHyphen == std::string::npos) {
        versions.strDriver = strPayload;
        return versions;
    }
    versions.strProgram = strPayload.substr(0, nHyphen);
    versions.strDriver = strPayload.substr(nHyphen + 1);
    return versions;
}

bool IsNewerProgram(const std::string& strAnnounced, const std::string& strInstalled) {
    if (strAnnounced.empty())
        return false;
    std::array<std::string, kVersionFields> announced, installed;
    if (SplitVersion(strAnnounced, announced) && SplitVersion(strInstalled, installed)) {
        for (int i = 0; i < kVersionFields; ++i)
            if (const int n = CompareNumbers(announced[i], installed[i]))
                return n > 0;
        return false;
    }
    return std::strcmp(strAnnounced.c_str(), strInstalled.c_str()) > 0;
}

bool IsDriverUpdate(const std::string& strAnnounced, const std::string& strInstalled) {
    return !strAnnounced.empty() && strAnnounced != strInstalled;
}
