// The security of named objects and files, through advapi32, which the products do not import:
// looked up once at run time and kept loaded.
#pragma once

#include "../../watch/object_owner.h"

#include <windows.h>

#include <aclapi.h>

#include <cstdint>

// A security descriptor of this process's own: the owner set to its user (an administrator's
// objects are otherwise the Administrators group's), a DACL for that user and SYSTEM.
struct OwnSecurity {
    std::uint64_t user[12];         // TOKEN_USER and its SID
    std::uint64_t acl[20];          // two ACEs of the longest SIDs
    SECURITY_DESCRIPTOR descriptor; // points into user and acl: the struct is not copied
    SECURITY_ATTRIBUTES attributes; // never inherited
};
// False where it cannot be made.
bool own_security(OwnSecurity& s);

// The owner of the object open in object, which needs READ_CONTROL; its name in code_page.
// Sets facts.opened; the rest where the owner can be read.
void read_owner(HANDLE object, UINT code_page, OwnerFacts& facts);

// GetNamedSecurityInfo of a file or folder: its owner and DACL (null for a NULL DACL), in a
// descriptor to LocalFree. 0, or the system's error code.
DWORD file_security(const WCHAR* path, PSID* owner, PACL* dacl, PSECURITY_DESCRIPTOR* descriptor);
// This process's user, in room; null where it cannot be read.
PSID own_user_sid(std::uint64_t (&room)[12]);
// "DOMAIN\user" in code_page, else the SID's string form.
void account_name(PSID sid, UINT code_page, char (&out)[account_name_size]);
// Whether the process runs as SYSTEM or an elevated administrator.
bool runs_as_administrator();
