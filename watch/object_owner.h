// Whose a named object is that the supervisor found already there: the folder's lock, or the
// memory of the refused starts' count. Names are predictable, so another account can make either
// first; only its owner tells the supervisor's own from a stranger's. No operating system here.
#pragma once

#include "text_buf.h"

#include <cstddef>

// "DOMAIN\user" as the system names an account, or a SID's string form; longer is cut.
constexpr std::size_t account_name_size = 256;

struct OwnerFacts {
    bool opened;      // the object could be opened to read its owner
    bool read;        // its owner was read
    bool own;         // the owner is this process's user
    bool own_default; // the owner this process's objects get without one set: an elevated
                      // administrator's are the Administrators group's, as 1.2.0 made its lock
    char account[account_name_size]; // the owner's name, else its SID; empty where not read
};

enum class Holder {
    Own,          // this user's, or of this process's default owner
    Unknown,      // opened, its owner not read (advapi32 missing): said as today
    OtherAccount, // another account's, named
    Unopenable,   // another account's, which does not even let us read its owner
};
Holder lock_holder(const OwnerFacts& facts);
// The shared count is trusted only where this very user made it: any other account could plant a
// count that silences the refused starts.
bool count_trusted(const OwnerFacts& facts);
// The account to name as the holder: the owner's name where it was read and is neither this
// user nor its default owner; else null. The refusal and kq2stat's sentences name it alike.
const char* other_account(const OwnerFacts& facts);
// Who holds the folder's lock, without the line end: "another supervisor already watches this
// folder", "another account, DOMAIN\user, holds this folder's lock", or without the name where
// the object cannot be opened.
void put_lock_holder(TextBuf& out, const OwnerFacts& facts);
