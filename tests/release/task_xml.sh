#!/usr/bin/env bash
# The Task Scheduler template, as far as it can be checked here (Wine's schtasks cannot import a
# task XML): well-formed, UTF-16LE with a byte-order mark, the same bytes in the release zip, and
# holding the settings the supervisor's README relies on.
# Usage: task_xml.sh TASK_XML ZIP
set -u
xml=$1 zip=$2
fail() { echo "task xml: $*"; exit 1; }
xmllint --noout "$xml" || fail "not well-formed"
[ "$(head -c 4 "$xml" | od -An -tx1 | tr -d ' ')" = fffe3c00 ] || fail "not UTF-16LE with a BOM"
unzip -p "$zip" kq2-supervisor-task.xml | cmp -s - "$xml" || fail "differs in the zip"
# An XPath and the text it must give, over a UTF-8 copy without the task namespace.
plain=$(iconv -f UTF-16 -t UTF-8 "$xml" | sed -e 's/ encoding="UTF-16"//' -e 's/ xmlns="[^"]*"//')
while read -r path expected; do
  got=$(xmllint --xpath "string($path)" - <<<"$plain")
  [ "$got" = "$expected" ] || fail "$path is '$got', not '$expected'"
done <<'TABLE'
count(/Task/Triggers/BootTrigger) 1
/Task/Triggers/TimeTrigger/Repetition/Interval PT5M
/Task/Settings/MultipleInstancesPolicy IgnoreNew
/Task/Settings/ExecutionTimeLimit PT0S
/Task/Settings/DisallowStartIfOnBatteries false
/Task/Settings/StopIfGoingOnBatteries false
count(/Task/Settings/RestartOnFailure) 1
/Task/Settings/Priority 4
substring-after(/Task/Actions/Exec/Command,/Task/Actions/Exec/WorkingDirectory) \supervisor.exe
TABLE
