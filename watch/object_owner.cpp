#include "object_owner.h"

Holder lock_holder(const OwnerFacts& facts) {
    if (!facts.opened) {
        return Holder::Unopenable;
    }
    if (!facts.read) {
        return Holder::Unknown;
    }
    return facts.own || facts.own_default ? Holder::Own : Holder::OtherAccount;
}

bool count_trusted(const OwnerFacts& facts) {
    return facts.opened && facts.read && facts.own;
}

const char* other_account(const OwnerFacts& facts) {
    return lock_holder(facts) == Holder::OtherAccount ? facts.account : nullptr;
}

void put_lock_holder(TextBuf& out, const OwnerFacts& facts) {
    const char* account = other_account(facts);
    if (account == nullptr) {
        put_text(out, lock_holder(facts) == Holder::Unopenable
                          ? "another account holds this folder's lock"
                          : "another supervisor already watches this folder");
        return;
    }
    put_text(out, "another account, ");
    put_text(out, account);
    put_text(out, ", holds this folder's lock");
}
