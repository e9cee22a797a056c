// What a watched folder shows its readers: the status line read back, and the folder lock's name.
#include "watch/folder_lock.h"
#include "watch/object_owner.h"
#include "watch/status_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

bool parses(const std::string& text, StatusLine* line = nullptr) {
    StatusLine read{};
    const bool ok = parse_status_line(text.data(), text.size(), read);
    if (line != nullptr) {
        *line = read;
    }
    return ok;
}

TEST(StatusLineParser, ReadsBackWhatIsWritten) {
    const struct {
        std::uint32_t seconds, restarts;
        std::int32_t pid;
    } rows[] = {{0, 1, -1}, {61, 4294967295u, 2147483647}, {4294967295u, 0, -2147483647 - 1}};
    for (const auto& row : rows) {
        char out[status_text_size];
        format_status_line(out, row.seconds, row.restarts, row.pid);
        StatusLine line{};
        std::string text = out;
        ASSERT_TRUE(parses(text, &line)) << text;
        EXPECT_EQ(line.seconds, row.seconds);
        EXPECT_EQ(line.restarts, row.restarts);
        EXPECT_EQ(line.pid, row.pid);
        text.insert(text.size() - 1, "\r"); // as text mode stores it on disk
        EXPECT_TRUE(parses(text)) << text;
    }
}

TEST(StatusLineParser, RefusesWhatIsNeverWritten) {
    const char* const refused[] = {
        "",
        "running since  37 seconds, restarts 1 , PID 1234 ",    // no line end
        "running since 37 seconds, restarts 1 , PID 1234 \n",   // one blank
        "running since  037 seconds, restarts 1 , PID 1234 \n", // leading zero
        "running since  37 seconds, restarts 1 , PID -0 \n",
        "running since  4294967296 seconds, restarts 1 , PID 1 \n",
        "running since  1 seconds, restarts 1 , PID 2147483648 \n",
        "running since  1 seconds, restarts 1 , PID 1 \n\n",
        "running since  1 seconds, restarts 1 , PID 1 \r\r\n",
        "running since  1 seconds, restarts  , PID 1 \n",
    };
    for (const char* text : refused) {
        EXPECT_FALSE(parses(text)) << text;
    }
    EXPECT_FALSE(parses(std::string("running since  1 seconds, restarts 1 , PID 1 \n") + '\0'));
}

std::string normalised(const char* path) {
    char out[64];
    std::strcpy(out, path);
    normalise_folder_path(out);
    return out;
}

TEST(FolderLock, OneNameForEverySpellingOfAFolder) {
    EXPECT_EQ(normalised("c:\\work\\"), "C:\\WORK");
    EXPECT_EQ(normalised("C:\\Work"), "C:\\WORK");
    EXPECT_EQ(normalised("c:\\"), "C:\\");
    EXPECT_EQ(normalised("\\\\server\\share\\dir\\"), "\\\\SERVER\\SHARE\\DIR");
    EXPECT_EQ(normalised("C:\\caf\xe9"), "C:\\CAF\xe9"); // ASCII letters only

    EXPECT_EQ(fnv1a_64(""), 0xcbf29ce484222325u);
    EXPECT_EQ(fnv1a_64("a"), 0xaf63dc4c8601ec8cu);
    char name[folder_lock_name_size];
    folder_lock_name("", true, name);
    EXPECT_STREQ(name, "Global\\kq2-supervisor-cbf29ce484222325");
    folder_lock_name("a", false, name);
    EXPECT_STREQ(name, "Local\\kq2-supervisor-af63dc4c8601ec8c");
}

// The hash of a folder's identity as the system gives it, its trailing backslashes dropped.
std::uint64_t wide_hash(const std::u16string& identity) {
    std::uint16_t units[64];
    std::copy(identity.begin(), identity.end(), units);
    return fnv1a_64(Utf16Text{units, trimmed_folder_size(Utf16Text{units, identity.size()})});
}

TEST(FolderLock, WideNamesOfAsciiFoldersAreTheAnsiOnes) {
    // As the ANSI build named "C:\", "C:\windows\system32", "C:\PROG~FBU", "c:\users\public\\",
    // "\\server\share\Dir\" and "D:\".
    EXPECT_EQ(wide_hash(u"C:\\"), 0x0ca03d19ab36a96cu);
    EXPECT_EQ(wide_hash(u"C:\\WINDOWS\\SYSTEM32"), 0xa2f5d396274c5bdfu);
    EXPECT_EQ(wide_hash(u"C:\\PROGRAM FILES"), 0xd8f3a02f74c73cc7u);
    EXPECT_EQ(wide_hash(u"C:\\USERS\\PUBLIC\\\\"), 0xa9a18af0b0dc9469u);
    EXPECT_EQ(wide_hash(u"\\\\SERVER\\SHARE\\DIR\\"), 0xcf098a625fafd326u);
    EXPECT_EQ(wide_hash(u"D:\\"), 0xe150761992ae0cf5u);
}

TEST(FolderLock, TheOldNameIsTakenOnlyWhereTheAnsiPathConvertsBackExactly) {
    // Recorded conversions: code page, name, its bytes (null: the call failed), whether a default
    // character was used, the bytes converted back, and whether the old name is taken.
    const struct {
        unsigned code_page;
        std::u16string name;
        const char* bytes;
        bool used_default;
        std::u16string back;
        bool exact;
    } cases[] = {
        {1252, u"C:\\Caf\u00e9", "C:\\Caf\xe9", false, u"C:\\Caf\u00e9", true},
        {1252, u"C:\\\u03a9", "C:\\?", true, u"C:\\?", false},
        {1252, u"C:\\\u03a9", "C:\\O", false, u"C:\\O", false}, // a best fit
        {932, u"C:\\\u8868", "C:\\\x95\x5c", false, u"C:\\\u8868", true},
        {932, u"C:\\Caf\u00e9", "C:\\Cafe", false, u"C:\\Cafe", false},
        {65001, u"C:\\Caf\u00e9", "C:\\Caf\xc3\xa9", false, u"C:\\Caf\u00e9", true},
        {65001, u"C:\\X\U0001F600", "C:\\X\xf0\x9f\x98\x80", false, u"C:\\X\U0001F600", true},
        {65001, u"C:\\X" + std::u16string(1, char16_t(0xd800)), "C:\\X\xef\xbf\xbd", false,
         u"C:\\X\ufffd", false},
        {65001, u"C:\\Caf\u00e9", nullptr, false, u"", false}, // as with the flags on Windows
    };
    for (const auto& c : cases) {
        const Utf16Text name{reinterpret_cast<const std::uint16_t*>(c.name.data()), c.name.size()};
        const Utf16Text back{reinterpret_cast<const std::uint16_t*>(c.back.data()), c.back.size()};
        EXPECT_EQ(ansi_name_exact(c.bytes != nullptr, c.used_default, name, back), c.exact)
            << c.code_page << " " << (c.bytes != nullptr ? c.bytes : "(failed)");
    }
}

TEST(FolderLock, EachUnitSequenceHashesAsItsOwnUtf8) {
    // "表" is 95 5C in Shift-JIS: its trail byte is no backslash to drop.
    EXPECT_EQ(wide_hash(u"C:\\\u8868\\"), fnv1a_64("C:\\\xe8\xa1\xa8"));
    EXPECT_EQ(wide_hash(u"\u0436\U0001F600"), fnv1a_64("\xd0\xb6\xf0\x9f\x98\x80"));
    // A lone surrogate in its own three bytes: not U+FFFD, so it shares no name with one.
    EXPECT_EQ(wide_hash(std::u16string(1, char16_t(0xd800))), fnv1a_64("\xed\xa0\x80"));
    EXPECT_EQ(wide_hash(std::u16string(1, char16_t(0xdc00)) + u"a"), fnv1a_64("\xed\xb0\x80"
                                                                              "a"));
    EXPECT_NE(wide_hash(std::u16string(1, char16_t(0xd800))), wide_hash(u"\ufffd"));
}

// Who made an object of the folder's names: the refusal's words, and whether the count is used.
TEST(ObjectOwner, TheRefusalNamesAnotherAccountAndOnlyTheUsersOwnCountIsTrusted) {
    const char* const today = "another supervisor already watches this folder";
    const struct {
        OwnerFacts facts;
        const char* said;
        bool trusted;
    } rows[] = {
        {{true, true, true, false, ""}, today, true},
        {{true, true, false, true, ""}, today, false},   // an elevated 1.2.0's Administrators
        {{true, false, false, false, ""}, today, false}, // opened, the owner not read
        {{true, true, false, false, "NT AUTHORITY\\LOCAL SERVICE"},
         "another account, NT AUTHORITY\\LOCAL SERVICE, holds this folder's lock",
         false},
        {{false, false, false, false, ""}, "another account holds this folder's lock", false},
    };
    for (const auto& row : rows) {
        char room[account_name_size + 64];
        TextBuf out = text_buf(room, sizeof room);
        put_lock_holder(out, row.facts);
        EXPECT_STREQ(room, row.said);
        EXPECT_EQ(count_trusted(row.facts), row.trusted) << row.said;
        // kq2stat names the same account, and no other.
        EXPECT_EQ(other_account(row.facts) != nullptr, std::strchr(row.said, ',') != nullptr)
            << row.said;
    }
}

} // namespace
