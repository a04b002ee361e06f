#include "update/installer_trust.h"

#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cctype>
#include <cstring>

// The pins come from the build (cmake/QdSigning.cmake).
#ifndef QD_SIGNER_SHA256
#error "QD_SIGNER_SHA256 must be defined by the build"
#endif
#ifndef QD_DRIVER_SIGNER
#error "QD_DRIVER_SIGNER must be defined by the build"
#endif

namespace {

struct SignerPin {
    const char* sha256;     // lower-case hex of the certificate's SHA-256, or null
    const wchar_t* subject; // the subject's common name, or null
};

// One row per Publisher, in its order.
constexpr SignerPin kPins[] = {
    {QD_SIGNER_SHA256, nullptr},
    {nullptr, L"" QD_DRIVER_SIGNER},
};

std::string Sha256Hex(const BYTE* pData, DWORD nSize) {
    BCRYPT_ALG_HANDLE hAlg = nullptr;
    if (::BCryptOpenAlgorithmProvider(&hAlg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return {};
    std::string strHex;
    BCRYPT_HASH_HANDLE hHash = nullptr;
    UCHAR digest[32] = {};
    if (::BCryptCreateHash(hAlg, &hHash, nullptr, 0, nullptr, 0, 0) == 0) {
        if (::BCryptHashData(hHash, const_cast<BYTE*>(pData), nSize, 0) == 0 &&
            ::BCryptFinishHash(hHash, digest, sizeof digest, 0) == 0) {
            static constexpr char kDigits[] = "0123456789abcdef";
            for (UCHAR b : digest) {
                strHex += kDigits[b >> 4];
                strHex += kDigits[b & 15];
            }
        }
        ::BCryptDestroyHash(hHash);
    }
    ::BCryptCloseAlgorithmProvider(hAlg, 0);
    return strHex;
}

bool SameHex(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool Matches(PCCERT_CONTEXT pCert, const SignerPin& pin) {
    if (pin.sha256) {
        const std::string strHash = Sha256Hex(pCert->pbCertEncoded, pCert->cbCertEncoded);
        return !strHash.empty() && SameHex(strHash, pin.sha256);
    }
    wchar_t szName[256] = {};
    const DWORD n = ::CertGetNameStringW(pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, szName,
                                         sizeof szName / sizeof *szName);
    return n > 1 && pin.subject[0] != L'\0' && std::wcscmp(szName, pin.subject) == 0;
}

} // namespace

bool IsSignedBy(HANDLE hFile, const std::wstring& path, Publisher publisher) {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    file.hFile = hFile;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    // The maker's pin names one certificate: a revoked one is replaced by a build with a new
    // pin. Asking a revocation server here would only refuse updates on a computer offline.
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND hNoUi = static_cast<HWND>(INVALID_HANDLE_VALUE);
    bool bTrusted = ::WinVerifyTrust(hNoUi, &action, &data) == ERROR_SUCCESS;
    if (bTrusted) {
        CRYPT_PROVIDER_DATA* pProvider = ::WTHelperProvDataFromStateData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* pSigner =
            pProvider ? ::WTHelperGetProvSignerFromChain(pProvider, 0, FALSE, 0) : nullptr;
        bTrusted = pSigner && pSigner->csCertChain > 0 && pSigner->pasCertChain &&
                   pSigner->pasCertChain[0].pCert &&
                   Matches(pSigner->pasCertChain[0].pCert, kPins[static_cast<int>(publisher)]);
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(hNoUi, &action, &data);
    return bTrusted;
}
