// Who else may change what runs from a folder: the supervisor starts kq2.exe and fkill there, and
// an administrator or SYSTEM may run programs from it too, so an account that may plant or replace
// a file there may run as them. A plain judgement of the permissions read from the system (the
// folder's and its programs'), as Windows' access check applies them. No operating system here.
#pragma once

#include "object_owner.h"
#include "text_buf.h"

#include <cstddef>
#include <cstdint>

// The accounts and groups that the judgement tells apart.
enum class Trustee : std::uint8_t {
    self, // this process's user; it and the three after it are trusted and never named
    system,
    administrators,
    trusted_installer,
    creator_owner, // a placeholder of inheritable entries (so CREATOR GROUP): applies to no one
    everyone,
    authenticated_users,
    users,
    interactive,
    guests,
    other, // any other account or group, told apart by its name
};

// The trustee of a SID as the system stores it (revision, count of subauthorities, six bytes of
// authority, then each subauthority in four bytes, lowest first); self_sid: this process's user's.
Trustee trustee_of(const unsigned char* sid, const unsigned char* self_sid);

// The ACE header's flag: the entry is for the objects created inside only.
constexpr std::uint8_t ace_inherit_only = 0x08;

struct AceFact {
    bool deny;
    std::uint8_t flags;
    std::uint32_t mask; // as stored: generic rights are mapped by the judgement
    Trustee who;
    const char* name; // for other: "DOMAIN\user", or its SID where it has no name
};

enum class Dacl : std::uint8_t {
    listed,         // the entries below, an empty list included
    null_dacl,      // none at all: everyone may do everything
    unreadable,     // not read: said, never guessed
    no_permissions, // a drive that keeps none (FAT32, exFAT)
};

struct ObjectAcl {
    const char* object; // a file's name; null for the folder itself
    bool folder;
    Dacl dacl;
    std::uint32_t error; // the system's, when unreadable
    Trustee owner;       // the owner may always change the permissions
    const char* owner_name;
    const AceFact* aces;
    std::size_t count;
    // An account trusted beside the four, or null: the supervisor's, for a reader of its folder
    // (it must write there).
    const char* trusted_account;
};

// What an account may do, in the order said.
enum : std::uint8_t { may_create = 1, may_replace = 2, may_permissions = 4, may_owner = 8 };

struct Writer {
    std::uint8_t may;
    char name[account_name_size];
};

// More accounts than any folder should have; one more is said as "and more".
constexpr std::size_t max_writers = 8;

struct WriteAccess {
    std::size_t count; // writers
    std::uint32_t unreadable_error;
    bool more;
    bool no_permissions;
    bool unreadable;            // the first object whose permissions could not be read
    char unreadable_object[64]; // its name; empty for the folder
    Writer writers[max_writers];
};

// Whether the entry can change what the judgement looks at; others are left out before any name
// is looked up.
bool ace_matters(const AceFact& ace, bool folder);
// Adds what each account other than the trusted may do to the object.
void judge_acl(const ObjectAcl& acl, WriteAccess& out);
bool anything_to_say(const WriteAccess& access);
// "others may change what runs from WHERE: Everyone may create files there, delete or
// replace its files; DOMAIN\user may change its permissions", or that the drive keeps no
// permissions, then any permissions that could not be read; without a line end.
void put_write_access(TextBuf& out, const WriteAccess& access, const char* where);
