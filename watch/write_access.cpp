#include "write_access.h"

#include <cstring>

namespace {

// The known SIDs as stored, each after its trustee; a literal, which is not padded as an array is.
constexpr std::size_t known_sids_size = 162;
const char* const known_sids =
    "\1\1\1\0\0\0\0\0\5\x12\0\0\0"                   // S-1-5-18, SYSTEM
    "\2\1\2\0\0\0\0\0\5\x20\0\0\0\x20\2\0\0"         // S-1-5-32-544, Administrators
    "\3\1\6\0\0\0\0\0\5\x50\0\0\0\xb5\x89\xfb\x38"   // S-1-5-80-956008885-3418522649-
    "\x19\x84\xc2\xcb\x5c\x6c\x23\x6d\x57\0\x77\x6e" // 1831038044-1853292631-
    "\xc0\2\x64\x87"                                 // 2271478464, TrustedInstaller
    "\4\1\1\0\0\0\0\0\3\0\0\0\0"                     // S-1-3-0, CREATOR OWNER
    "\4\1\1\0\0\0\0\0\3\1\0\0\0"                     // S-1-3-1, CREATOR GROUP
    "\5\1\1\0\0\0\0\0\1\0\0\0\0"                     // S-1-1-0, Everyone
    "\6\1\1\0\0\0\0\0\5\x0b\0\0\0"                   // S-1-5-11, Authenticated Users
    "\7\1\2\0\0\0\0\0\5\x20\0\0\0\x21\2\0\0"         // S-1-5-32-545, Users
    "\x08\1\1\0\0\0\0\0\5\4\0\0\0"                   // S-1-5-4, INTERACTIVE
    "\x09\1\2\0\0\0\0\0\5\x20\0\0\0\x22\2\0\0";      // S-1-5-32-546, Guests

// As Windows' security dialog names them, from Everyone on, one after another, and where each
// starts.
const char* const group_names = "Everyone\0Authenticated Users\0Users\0INTERACTIVE\0Guests";
const unsigned char group_name_at[] = {0, 9, 29, 35, 47};

bool same_sid(const unsigned char* a, const unsigned char* b) {
    return a[1] == b[1] && std::memcmp(a, b, 8 + 4 * std::size_t{a[1]}) == 0;
}

// GENERIC_READ, _WRITE, _EXECUTE and _ALL mapped as for files.
std::uint32_t file_rights(std::uint32_t mask) {
    static const std::uint32_t generic[] = {0x120089, 0x120116, 0x1200a0, 0x1f01ff};
    for (int bit = 0; bit < 4; ++bit) {
        mask |= (mask & (0x80000000u >> bit)) != 0 ? generic[bit] : 0;
    }
    return mask;
}

// What file rights allow. A folder: FILE_ADD_FILE creates; FILE_DELETE_CHILD replaces, and so does
// DELETE, by which the folder is renamed away and another put in its place. A file:
// FILE_WRITE_DATA, FILE_APPEND_DATA (a line added to a .bat is a command) and DELETE replace.
// Both: WRITE_DAC and WRITE_OWNER.
std::uint8_t may_of(std::uint32_t rights, bool folder) {
    std::uint8_t may = (rights >> 16) & (may_permissions | may_owner);
    may |= folder && (rights & 0x2) != 0 ? may_create : 0;
    return may | ((rights & (folder ? 0x10040u : 0x10006u)) != 0 ? may_replace : 0);
}

bool same(const AceFact& ace, const AceFact& own) {
    return ace.who == own.who &&
           (own.who != Trustee::other || std::strcmp(ace.name, own.name) == 0);
}

// Whether the entry reaches every member of own's trustee: its own, Everyone's, and for a named
// account Authenticated Users'. Users and INTERACTIVE may hold the Guest account, which is not
// authenticated, so a deny of Authenticated Users is not taken to cover them.
bool reaches(const AceFact& ace, const AceFact& own) {
    return same(ace, own) || ace.who == Trustee::everyone ||
           (ace.who == Trustee::authenticated_users && own.who == Trustee::other);
}

// Never named: the four, the object's trusted account, and CREATOR OWNER, which applies to no one.
bool named(const ObjectAcl& acl, Trustee who, const char* name) {
    return who > Trustee::creator_owner &&
           (who != Trustee::other || acl.trusted_account == nullptr ||
            std::strcmp(name, acl.trusted_account) != 0);
}

void add(WriteAccess& out, Trustee who, const char* name, std::uint8_t may) {
    if (who != Trustee::other) {
        name = group_names +
               group_name_at[static_cast<int>(who) - static_cast<int>(Trustee::everyone)];
    }
    std::size_t i = 0;
    while (i < out.count && std::strcmp(out.writers[i].name, name) != 0) {
        ++i;
    }
    if (may == 0 || i == max_writers) {
        out.more |= may != 0;
        return;
    }
    out.count += i == out.count ? 1 : 0;
    out.writers[i].may |= may;
    std::strncpy(out.writers[i].name, name, account_name_size - 1);
}

} // namespace

Trustee trustee_of(const unsigned char* sid, const unsigned char* self_sid) {
    if (self_sid != nullptr && same_sid(sid, self_sid)) {
        return Trustee::self;
    }
    const auto* known = reinterpret_cast<const unsigned char*>(known_sids); // NOLINT: bytes
    for (const auto* end = known + known_sids_size; known < end; known += 9 + 4 * known[2]) {
        if (same_sid(sid, known + 1)) {
            return static_cast<Trustee>(*known);
        }
    }
    return Trustee::other;
}

bool ace_matters(const AceFact& ace, bool folder) {
    return (ace.flags & ace_inherit_only) == 0 && ace.who > Trustee::creator_owner &&
           may_of(file_rights(ace.mask), folder) != 0;
}

void judge_acl(const ObjectAcl& acl, WriteAccess& out) {
    if (acl.dacl == Dacl::unreadable) {
        if (!out.unreadable) {
            out.unreadable = true;
            out.unreadable_error = acl.error;
            std::strncpy(out.unreadable_object, acl.object != nullptr ? acl.object : "",
                         sizeof out.unreadable_object - 1);
        }
        return;
    }
    if (acl.dacl == Dacl::no_permissions) {
        out.no_permissions = true;
        return;
    }
    if (acl.dacl == Dacl::null_dacl) {
        add(out, Trustee::everyone, nullptr, may_of(~0u, acl.folder));
        return;
    }
    // Microsoft: the owner implicitly has WRITE_DAC, whatever the entries say.
    if (named(acl, acl.owner, acl.owner_name)) {
        add(out, acl.owner, acl.owner_name, may_permissions);
    }
    // Each right is decided by the first entry that reaches the account and names it, as the
    // access check takes them: a deny takes it, an allow grants it, a group's allow for the group.
    for (const AceFact* own = acl.aces; own < acl.aces + acl.count; ++own) {
        if (own->deny || !ace_matters(*own, acl.folder) || !named(acl, own->who, own->name)) {
            continue;
        }
        std::uint32_t decided = 0;
        std::uint32_t granted = 0;
        for (const AceFact* ace = acl.aces; ace < acl.aces + acl.count; ++ace) {
            if ((ace->flags & ace_inherit_only) == 0 && reaches(*ace, *own)) {
                const std::uint32_t rights = file_rights(ace->mask) & ~decided;
                granted |= !ace->deny && same(*ace, *own) ? rights : 0;
                decided |= rights;
            }
        }
        add(out, own->who, own->name, may_of(granted, acl.folder));
    }
}

bool anything_to_say(const WriteAccess& access) {
    return access.count != 0 || access.no_permissions || access.unreadable;
}

void put_write_access(TextBuf& out, const WriteAccess& access, const char* where) {
    static const char* const rights[] = {"create files there", "delete or replace its files",
                                         "change permissions", "take ownership"};
    const char* next = "";
    if (access.no_permissions) {
        put_text(out, where);
        put_text(out, " is on a drive without permissions: anyone may change what runs there");
        next = "; ";
    } else if (access.count != 0) {
        put_text(out, "others may change what runs from ");
        put_text(out, where);
        next = ": ";
        for (const Writer* writer = access.writers; writer < access.writers + access.count;
             ++writer) {
            put_text(out, next);
            put_text(out, writer->name);
            next = " may ";
            for (int right = 0; right < 4; ++right) {
                if ((writer->may & (1 << right)) != 0) {
                    put_text(out, next);
                    put_text(out, rights[right]);
                    next = ", ";
                }
            }
            next = "; ";
        }
        if (access.more) {
            put_text(out, "; and more");
        }
    }
    if (access.unreadable) {
        put_text(out, next);
        put_text(out, "cannot read the permissions of ");
        put_text(out, access.unreadable_object[0] != '\0' ? access.unreadable_object : where);
        put_text(out, " (error ");
        put_unsigned(out, access.unreadable_error);
        put_char(out, ')');
    }
}
