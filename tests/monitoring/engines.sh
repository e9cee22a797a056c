#!/usr/bin/env bash
# The shipped monitoring definitions, read by the engines themselves: promtool checks the rules and
# runs their unit tests; Icinga 2 and Nagios check a minimal configuration that includes theirs,
# and must count the objects the definitions make, so that one that loads nothing fails.
set -u
defs=$(cd "$(dirname "$0")/../../monitoring" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "monitoring engines: $*"
  status=1
}
promtool check rules "$defs/kq2.rules.yml" >"$work/out" 2>&1 || fail "promtool check rules: $(cat "$work/out")"
promtool test rules "$defs/kq2.rules.test.yml" >"$work/out" 2>&1 || fail "promtool test rules: $(cat "$work/out")"

# One host with two folders, one without: two services. As root the daemon would switch to its own
# user, who cannot write here; its state, cache and log go to this folder.
cat >"$work/icinga2.conf" <<CONF
include "$defs/kq2-icinga2.conf"
object CheckCommand "alive" { command = [ "/bin/true" ] }
object Host "shop-1" { check_command = "alive"; vars.kq2_folders = [ "C:\\\\kq2", "D:\\\\kq2-second" ] }
object Host "shop-2" { check_command = "alive" }
CONF
ICINGA2_USER=$(id -un) ICINGA2_GROUP=$(id -gn) icinga2 daemon -C -c "$work/icinga2.conf" -DDataDir="$work" \
  -DLogDir="$work" -DCacheDir="$work" -DSpoolDir="$work" -DInitRunDir="$work" >"$work/out" 2>&1 &&
  [ "$(grep -cE '/ConfigItem: Instantiated (2 Services|2 Hosts|2 CheckCommands)\.$' "$work/out")" = 3 ] ||
  fail "icinga2 daemon -C: $(cat "$work/out")"

# Nagios too reads its configuration again as its own user, unless told to stay this one.
printf 'cfg_file=%s\n' "$defs/kq2-nagios.cfg" "$work/objects.cfg" >"$work/nagios.cfg"
printf '%s\n' "resource_file=$work/resource.cfg" "nagios_user=$(id -un)" "nagios_group=$(id -gn)" >>"$work/nagios.cfg"
echo '$USER1$=/usr/lib/nagios/plugins' >"$work/resource.cfg"
cat >"$work/objects.cfg" <<'CONF'
define timeperiod {
  timeperiod_name 24x7
  alias always
  sunday 00:00-24:00
}
define command {
  command_name notify
  command_line /bin/true
}
define contact {
  contact_name ops
  host_notification_period 24x7
  service_notification_period 24x7
  host_notification_options n
  service_notification_options n
  host_notification_commands notify
  service_notification_commands notify
}
define host {
  host_name shop-1
  address 192.0.2.10
  max_check_attempts 3
  check_period 24x7
  notification_period 24x7
  contacts ops
}
define service {
  use kq2-service
  host_name shop-1
  service_description kq2 C:\kq2
  check_command check_kq2!check_kq2
  contacts ops
}
CONF
nagios4 -v "$work/nagios.cfg" >"$work/out" 2>&1 && grep -q 'Checked 1 services\.' "$work/out" &&
  grep -q 'Checked 2 commands\.' "$work/out" || fail "nagios4 -v: $(cat "$work/out")"
[ "$status" = 0 ] && echo "monitoring engines: promtool, Icinga 2 and Nagios accept the definitions"
exit "$status"
