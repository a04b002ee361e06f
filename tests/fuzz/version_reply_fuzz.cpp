// Fuzz target: the version script's reply, which any server on the way can forge, and the
// comparisons made with what it announced. The input is the reply; its second half also serves
// as an installed version to compare with.

#include "update/update_reply.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Die(const char* pszWhat) {
    std::fprintf(stderr, "version reply fuzz: %s\n", pszWhat);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string body(reinterpret_cast<const char*>(pData), nSize);
    const AnnouncedVersions versions = ParseVersionReply(body);
    if ((!versions.strProgram.empty() || !versions.strDriver.empty()) &&
        body.compare(0, 11, "Quillodrome") != 0)
        Die("a version announced without the product's word");
    if (versions.strProgram.size() + versions.strDriver.size() > body.size())
        Die("more announced than the reply holds");

    const std::string other = body.substr(nSize / 2);
    for (const std::string& announced : {versions.strProgram, versions.strDriver, other}) {
        if (IsNewerProgram(announced, announced))
            Die("a version newer than itself");
        if (IsNewerProgram(announced, other) && IsNewerProgram(other, announced))
            Die("two versions each newer than the other");
        if (IsNewerProgram("", announced))
            Die("an empty announcement offered");
        if (IsDriverUpdate(announced, announced))
            Die("the installed driver offered again");
        if (IsDriverUpdate(announced, other) != (!announced.empty() && announced != other))
            Die("a driver offer that is not a plain difference");
    }
    return 0;
}
