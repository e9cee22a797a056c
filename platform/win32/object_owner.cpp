#include "object_owner.h"

#include "look_up.h"

#include <cstring>

namespace {

using OpenToken = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using TokenInfo = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
using InitDescriptor = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, DWORD);
using SetOwner = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, PSID, BOOL);
using SetDacl = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
using InitAcl = BOOL(WINAPI*)(PACL, DWORD, DWORD);
using AllowAce = BOOL(WINAPI*)(PACL, DWORD, DWORD, PSID);
using GetInfo = DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*,
                               PACL*, PSECURITY_DESCRIPTOR*);
using SidText = BOOL(WINAPI*)(PSID, LPSTR*);
using LookupSid = BOOL(WINAPI*)(LPCWSTR, PSID, LPWSTR, LPDWORD, LPWSTR, LPDWORD, PSID_NAME_USE);
using Membership = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
using GetNamedInfo = DWORD(WINAPI*)(LPCWSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*,
                                    PACL*, PACL*, PSECURITY_DESCRIPTOR*);

// Every one is in Windows 2000's advapi32: all are found, or none is used.
enum Call {
    open_token,
    token_info,
    init_descriptor,
    set_owner,
    set_dacl,
    init_acl,
    add_ace,
    get_info,
    lookup_sid,
    sid_text,
    membership,
    get_named_info,
    call_count
};
// alignas: GCC would pad it to 32 bytes, which kq2stat's size limit cannot spare.
alignas(4) const char* const call_names[call_count] = {
    "OpenProcessToken",           "GetTokenInformation",       "InitializeSecurityDescriptor",
    "SetSecurityDescriptorOwner", "SetSecurityDescriptorDacl", "InitializeAcl",
    "AddAccessAllowedAce",        "GetSecurityInfo",           "LookupAccountSidW",
    "ConvertSidToStringSidA",     "CheckTokenMembership",      "GetNamedSecurityInfoW"};
void (*g_calls[call_count])();
int g_found = -1; // calls found; -1 before the look-up

bool found() {
    if (g_found < 0) {
        g_found = 0;
        HMODULE module = LoadLibraryA("advapi32.dll");
        while (module != nullptr && g_found < call_count &&
               (g_calls[g_found] = look_up<void (*)()>(module, call_names[g_found])) != nullptr) {
            ++g_found;
        }
    }
    return g_found == call_count;
}

// Cast through void (*)(), as look_up does.
template <typename Function> Function call(Call which) {
    return reinterpret_cast<Function>(g_calls[which]); // NOLINT: the type it was looked up for
}

// The process token's TOKEN_USER or TOKEN_OWNER, its SID after it, into out: that SID, or null.
PSID token_sid(TOKEN_INFORMATION_CLASS what, std::uint64_t (&out)[12]) {
    HANDLE token = nullptr;
    if (!found() ||
        call<OpenToken>(open_token)(GetCurrentProcess(), TOKEN_QUERY, &token) == FALSE) {
        return nullptr;
    }
    DWORD size = 0;
    const bool read = call<TokenInfo>(token_info)(token, what, out, sizeof out, &size) != FALSE;
    CloseHandle(token);
    // Both structures begin with the SID's address.
    return read ? *reinterpret_cast<PSID*>(out) : nullptr; // NOLINT: the system's layout
}

bool same_sid(PSID a, PSID b) {
    const auto* x = static_cast<const unsigned char*>(a);
    return b != nullptr && std::memcmp(x, b, 8 + 4 * std::size_t{x[1]}) == 0;
}

} // namespace

bool own_security(OwnSecurity& s) {
    PSID user = token_sid(TokenUser, s.user);
    // S-1-5-18, LocalSystem.
    static unsigned char local_system[12] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    auto* acl = reinterpret_cast<PACL>(s.acl); // NOLINT: ACL memory, DWORD-aligned
    const DWORD all = STANDARD_RIGHTS_ALL | SPECIFIC_RIGHTS_ALL;
    // The user's token_sid looked the calls up.
    if (user == nullptr ||
        call<InitDescriptor>(init_descriptor)(&s.descriptor, SECURITY_DESCRIPTOR_REVISION) ==
            FALSE ||
        call<SetOwner>(set_owner)(&s.descriptor, user, FALSE) == FALSE ||
        call<InitAcl>(init_acl)(acl, sizeof s.acl, ACL_REVISION) == FALSE ||
        call<AllowAce>(add_ace)(acl, ACL_REVISION, all, user) == FALSE ||
        call<AllowAce>(add_ace)(acl, ACL_REVISION, all, local_system) == FALSE ||
        call<SetDacl>(set_dacl)(&s.descriptor, TRUE, acl, FALSE) == FALSE) {
        return false;
    }
    s.attributes = {sizeof s.attributes, &s.descriptor, FALSE};
    return true;
}

DWORD file_security(const WCHAR* path, PSID* owner, PACL* dacl, PSECURITY_DESCRIPTOR* descriptor) {
    *descriptor = nullptr;
    return found()
               ? call<GetNamedInfo>(get_named_info)(
                     path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                     owner, nullptr, dacl, nullptr, descriptor)
               : ERROR_PROC_NOT_FOUND;
}

PSID own_user_sid(std::uint64_t (&room)[12]) {
    return token_sid(TokenUser, room);
}

void account_name(PSID sid, UINT code_page, char (&out)[account_name_size]) {
    WCHAR name[account_name_size];
    WCHAR* const account = name + 128;
    DWORD domain_size = 127;
    DWORD account_size = 128;
    SID_NAME_USE use{};
    const bool named = found() && call<LookupSid>(lookup_sid)(nullptr, sid, account, &account_size,
                                                              name, &domain_size, &use) != FALSE;
    // "DOMAIN\user"; a well-known group such as Everyone has no domain.
    WCHAR* text = account;
    if (named && name[0] != 0) {
        name[domain_size] = L'\\';
        std::memmove(name + domain_size + 1, account, (account_size + 1) * sizeof(WCHAR));
        text = name;
    }
    if (!named || WideCharToMultiByte(code_page, 0, text, -1, out, account_name_size, nullptr,
                                      nullptr) == 0) {
        LPSTR sid_text_form = nullptr; // "S-1-5-19"
        if (found() && call<SidText>(sid_text)(sid, &sid_text_form) != FALSE) {
            lstrcpynA(out, sid_text_form, account_name_size);
            LocalFree(sid_text_form);
        }
    }
}

void read_owner(HANDLE object, UINT code_page, OwnerFacts& facts) {
    facts.opened = true;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!found() ||
        call<GetInfo>(get_info)(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS ||
        owner == nullptr) {
        LocalFree(descriptor);
        return;
    }
    facts.read = true;
    std::uint64_t token[12];
    facts.own = same_sid(owner, token_sid(TokenUser, token));
    facts.own_default = same_sid(owner, token_sid(TokenOwner, token));
    // Named only where it is said: a name can take a domain controller's answer.
    if (!facts.own && !facts.own_default) {
        account_name(owner, code_page, facts.account);
    }
    LocalFree(descriptor);
}

bool runs_as_administrator() {
    // S-1-5-32-544; SYSTEM's token holds it too. A filtered administrator's (UAC) holds it for
    // deny only, which this does not count.
    static unsigned char administrators[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
    BOOL member = FALSE;
    return found() && call<Membership>(membership)(nullptr, administrators, &member) != FALSE &&
           member != FALSE;
}
