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

void put_lock_holder(TextBuf& out, const OwnerFacts& facts) {
    const Holder holder = lock_holder(facts);
    if (holder != Holder::OtherAccount) {
        put_text(out, holder == Holder::Unopenable
                          ? "another account holds this folder's lock"
                          : "another supervisor already watches this folder");
        return;
    }
    put_text(out, "another account, ");
    put_text(out, facts.account);
    put_text(out, ", holds this folder's lock");
}
