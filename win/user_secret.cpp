#include "win/user_secret.h"

#include "base/base64.h"
#include "win/system_library.h"

#include <windows.h>

#include <dpapi.h>

namespace {

using Crypt = decltype(&::CryptProtectData);
using Decrypt = decltype(&::CryptUnprotectData);

// crypt32 only once a secret is kept: a station without one never loads it.
HMODULE cryptLibrary() {
    static const HMODULE module = systemLibrary(L"crypt32.dll");
    return module;
}

// What the encryption is for, kept with the blob: a blob of another purpose is refused.
constexpr wchar_t kDescription[] = L"HX350";

std::string bytesOf(const DATA_BLOB& blob) {
    return std::string(reinterpret_cast<const char*>(blob.pbData), blob.cbData);
}

} // namespace

std::string protectForUser(const std::string& secret) {
    if (secret.empty())
        return {};
    DATA_BLOB in{static_cast<DWORD>(secret.size()), reinterpret_cast<BYTE*>(const_cast<char*>(secret.data()))};
    DATA_BLOB out{};
    // The user interface flag keeps the system from asking anything: nobody may be there to answer.
    static const auto protect = systemFunction<Crypt>(cryptLibrary(), "CryptProtectData");
    if (protect == nullptr || !protect(&in, kDescription, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return {};
    const std::string text = base64(bytesOf(out));
    LocalFree(out.pbData);
    return text;
}

bool unprotectForUser(const std::string& text, std::string& secret) {
    secret.clear();
    if (text.empty())
        return true;
    std::optional<std::string> blob = fromBase64(text);
    if (!blob)
        return false;
    DATA_BLOB in{static_cast<DWORD>(blob->size()), reinterpret_cast<BYTE*>(blob->data())};
    DATA_BLOB out{};
    static const auto unprotect = systemFunction<Decrypt>(cryptLibrary(), "CryptUnprotectData");
    if (unprotect == nullptr || !unprotect(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return false;
    secret = bytesOf(out);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return true;
}
