// What a watched folder shows its readers: the status line read back, and the folder lock's name.
#include "watch/folder_lock.h"
#include "watch/status_line.h"

#include <gtest/gtest.h>

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

} // namespace
