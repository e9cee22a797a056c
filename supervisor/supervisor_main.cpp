#include "supervisor_main.h"

#include "../platform/platform.h"
#include "../watch/text_buf.h"
#include "child_argv.h"
#include "startup_checks.h"
#include "watchdog.h"

#include <cstdlib>

void supervisor_main(int argc, char** argv) {
    static ChildArgv child;
    static History history;
    history_start(history);
    switch (build_child_argv(argc, argv, child, std::malloc, std::free)) {
    case ChildArgvStatus::OutOfMemory:
        print_message(out_of_memory_message);
        exit_process(1);
    case ChildArgvStatus::TooManyArguments:
        print_message("too much arguments \n");
        history_event(history, EventType::Error, EventId::TooManyArguments,
                      "too much arguments: at most 17 are passed to kq2.exe; nothing was started");
        exit_process(1);
    case ChildArgvStatus::Ok:
        break;
    }
    // Before anything else: a second supervisor in this folder would fight the first over the
    // heartbeat, so it leaves the folder, the console and the worker untouched.
    OwnerFacts holder{};
    switch (take_folder_lock(holder)) {
    case FolderLock::HeldByAnother: {
        char said[account_name_size + 64] = {};
        TextBuf w = text_buf(said, sizeof said);
        put_lock_holder(w, holder);
        const std::size_t words = w.size;
        put_text(w, " \n");
        print_message(said);
        said[words] = '\0';
        history_refused(history, said);
        exit_process(1);
    }
    case FolderLock::Unavailable:
        history_say(history, EventId::LockUnavailable,
                    "warning: this folder's lock cannot be taken, so a second supervisor here "
                    "is not refused\n");
        break;
    case FolderLock::Taken:
        history_share_refusals(history);
        break;
    }
    // Only once the command line is accepted and the folder is ours: a refused start leaves the
    // console as it was.
    console_quick_edit_off();
    warn_at_start(history);
    static WatchdogState state;
    run_watchdog(state, child, history);
}
