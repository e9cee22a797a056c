// Who else may change what runs from a folder, judged from its entries as Windows applies them.
#include "watch/write_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using T = Trustee;
constexpr std::uint8_t inherit_only = ace_inherit_only | 0x3; // (OI)(CI)(IO)
constexpr std::uint32_t add_file = 0x2, delete_child = 0x40, write_dac = 0x40000;
constexpr std::uint32_t modify = 0x1301bf, read_execute = 0x1200a9, wine_open = 0x1301ff;
constexpr std::uint32_t generic_all = 0x10000000, generic_write = 0x40000000;

AceFact allow(T who, std::uint32_t mask, std::uint8_t flags = 0, const char* name = "") {
    return {false, flags, mask, who, name};
}
AceFact deny(T who, std::uint32_t mask, std::uint8_t flags = 0, const char* name = "") {
    return {true, flags, mask, who, name};
}

struct Row {
    const char* what;
    bool folder;
    Dacl dacl;
    std::vector<AceFact> aces;
    const char* said; // after "others may change what runs from C:\kq2: ", or whole
    Trustee owner = T::self;
    const char* owner_name = "";
    const char* trusted = nullptr;
};

const char* const others = "others may change what runs from C:\\kq2: ";

TEST(WriteAccess, EachAccountAndWhatItMayDoAsTheAccessCheckDecidesIt) {
    const char* const bob = "DOMAIN\\bob";
    const Row rows[] = {
        {"Wine, chmod o+w",
         true,
         Dacl::listed,
         {allow(T::system, 0x1f01ff, 3), allow(T::self, 0x1f01ff, 3),
          allow(T::everyone, wine_open, 3)},
         "Everyone may create files there, delete or replace its files"},
        {"Wine, closed",
         true,
         Dacl::listed,
         {allow(T::system, 0x1f01ff, 3), allow(T::everyone, read_execute, 3)},
         ""},
        {"a deny first takes its right",
         true,
         Dacl::listed,
         {deny(T::everyone, add_file), allow(T::everyone, wine_open)},
         "Everyone may delete or replace its files"},
        {"a deny after the allow comes too late",
         true,
         Dacl::listed,
         {allow(T::everyone, add_file), deny(T::everyone, add_file)},
         "Everyone may create files there"},
        {"each right apart: appending still replaces",
         false,
         Dacl::listed,
         {deny(T::users, 0x2), allow(T::users, 0x6)},
         "Users may delete or replace its files"},
        {"Everyone's deny reaches a named account",
         true,
         Dacl::listed,
         {deny(T::everyone, write_dac), allow(T::other, generic_all, 0, bob)},
         "DOMAIN\\bob may create files there, delete or replace its files, take ownership"},
        {"Authenticated Users' deny reaches a named account, not Users",
         true,
         Dacl::listed,
         {deny(T::authenticated_users, add_file), allow(T::other, add_file | delete_child, 0, bob),
          allow(T::users, add_file)},
         "DOMAIN\\bob may delete or replace its files; Users may create files there"},
        {"another account's deny does not reach bob",
         true,
         Dacl::listed,
         {deny(T::other, add_file, 0, "DOMAIN\\ann"), allow(T::other, add_file, 0, bob)},
         "DOMAIN\\bob may create files there"},
        {"a group's earlier allow is said for the group",
         true,
         Dacl::listed,
         {allow(T::everyone, add_file), allow(T::users, add_file | delete_child)},
         "Everyone may create files there; Users may delete or replace its files"},
        {"inherit-only entries apply to children only",
         true,
         Dacl::listed,
         {deny(T::everyone, add_file, inherit_only), allow(T::everyone, add_file),
          allow(T::guests, generic_all, inherit_only)},
         "Everyone may create files there"},
        {"generic rights as file rights",
         true,
         Dacl::listed,
         {allow(T::interactive, generic_write), allow(T::users, 0xa0000000)},
         "INTERACTIVE may create files there"},
        {"generic write on a file",
         false,
         Dacl::listed,
         {allow(T::guests, generic_write)},
         "Guests may delete or replace its files"},
        {"a folder made at C:\\ on Vista",
         true,
         Dacl::listed,
         {allow(T::administrators, 0x1f01ff, 0x10), allow(T::users, read_execute, 0x13),
          allow(T::authenticated_users, modify, 0x10),
          allow(T::authenticated_users, 0xe0010000, 0x1b)},
         "Authenticated Users may create files there, delete or replace its "
         "files"},
        {"NULL DACL: everyone everything",
         true,
         Dacl::null_dacl,
         {},
         "Everyone may create files there, delete or replace its files, change "
         "permissions, take ownership"},
        {"NULL DACL on a file",
         false,
         Dacl::null_dacl,
         {},
         "Everyone may delete or replace its files, change permissions, take ownership"},
        {"empty DACL: no one", true, Dacl::listed, {}, ""},
        {"empty DACL, another owner: the owner's WRITE_DAC",
         true,
         Dacl::listed,
         {},
         "DOMAIN\\ann may change permissions",
         T::other,
         "DOMAIN\\ann"},
        {"CREATOR OWNER, effective or inherit-only, is no one",
         true,
         Dacl::listed,
         {allow(T::creator_owner, generic_all), allow(T::creator_owner, generic_all, inherit_only)},
         ""},
        {"the trusted never",
         true,
         Dacl::listed,
         {allow(T::system, generic_all), allow(T::administrators, generic_all),
          allow(T::trusted_installer, generic_all), allow(T::self, generic_all)},
         "",
         T::administrators},
        {"the supervisor's account, for its reader",
         true,
         Dacl::listed,
         {allow(T::other, modify, 0, "DOMAIN\\svc"), allow(T::other, write_dac, 0, bob)},
         "DOMAIN\\bob may change permissions",
         T::other,
         "DOMAIN\\svc",
         "DOMAIN\\svc"},
        {"FAT32",
         true,
         Dacl::no_permissions,
         {},
         "C:\\kq2 is on a drive without permissions: anyone may change what runs there"},
    };
    for (const Row& row : rows) {
        WriteAccess access{};
        judge_acl({nullptr, row.folder, row.dacl, 0, row.owner, row.owner_name, row.aces.data(),
                   row.aces.size(), row.trusted},
                  access);
        char text[2048];
        TextBuf out = text_buf(text, sizeof text);
        put_write_access(out, access, "C:\\kq2");
        const std::string said = row.said;
        EXPECT_EQ(text, said.empty() || row.dacl == Dacl::no_permissions ? said : others + said)
            << row.what;
        EXPECT_EQ(anything_to_say(access), !said.empty()) << row.what;
    }
}

TEST(WriteAccess, ObjectsAddUpAndAnUnreadableOneIsSaidNotGuessed) {
    WriteAccess access{};
    const AceFact open[] = {allow(T::everyone, wine_open)};
    judge_acl({nullptr, true, Dacl::listed, 0, T::self, "", open, 1, nullptr}, access);
    judge_acl({"kq2.exe", false, Dacl::unreadable, 5, T::self, "", nullptr, 0, nullptr}, access);
    judge_acl({"fkill.com", false, Dacl::unreadable, 2, T::self, "", nullptr, 0, nullptr}, access);
    std::vector<std::string> names(max_writers);
    std::vector<AceFact> many;
    for (std::size_t i = 0; i < max_writers; ++i) {
        names[i] = "DOMAIN\\user" + std::to_string(i);
        many.push_back(allow(T::other, write_dac, 0, names[i].c_str()));
    }
    judge_acl({"fkill.exe", false, Dacl::listed, 0, T::self, "", many.data(), many.size(), nullptr},
              access);
    char text[4096];
    TextBuf out = text_buf(text, sizeof text);
    put_write_access(out, access, "this folder");
    std::string said = "others may change what runs from this folder: Everyone may create files "
                       "there, delete or replace its files";
    for (std::size_t i = 0; i + 1 < max_writers; ++i) {
        said += "; " + names[i] + " may change permissions";
    }
    EXPECT_EQ(text, said + "; and more; cannot read the permissions of kq2.exe (error 5)");
}

} // namespace
