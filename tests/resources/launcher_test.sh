#!/usr/bin/env bash
# The menu's launcher with a HOME it cannot use: unset, empty or relative HOME
# falls back to the password database's home folder; a home folder it cannot
# write still starts the window, in a temporary folder, and says so on stderr.
#
#   launcher_test.sh LAUNCHER
#
# A stand-in for the window, beside a copy of the launcher, prints the folder it
# was started in. The cases run as an unprivileged user (nobody) when this runs as
# root, so an unwritable folder is unwritable; as another user they run as that
# user. Prints one line per case; exits 1 when any fails.
set -uo pipefail
launcher=$(realpath "$1")
user=65534  # nobody
[[ $(id -u) -eq 0 ]] || user=$(id -u)

work=$(mktemp -d /tmp/orvandel-launch-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -p "$work/bin" "$work/cwd" "$work/tmp"
cp "$launcher" "$work/bin/orvandel-launch"
printf '#!/bin/sh\npwd\n' >"$work/bin/orvandel"
chmod 755 "$work/bin/orvandel-launch" "$work/bin/orvandel"

as_user=()
if [[ $(id -u) -eq 0 ]]; then
  as_user=(setpriv --reuid="$user" --regid="$user" --clear-groups)
  chown "$user" "$work/cwd" "$work/tmp"
  passwd_home=$(getent passwd "$user" | cut -d: -f6)
else
  passwd_home=$(getent passwd "$(id -u)" | cut -d: -f6)
fi
# The password database's home of the test user. nobody's is /nonexistent on
# Debian, which nobody can create: then the launcher must name that folder on
# stderr (it was asked) and start in a temporary folder.
expect_home=
if [[ $(id -u) -ne 0 && -w $passwd_home ]]; then
  expect_home=$passwd_home/.config/orvandel
fi

failures=0
# name, expected folder ("TEMP" for a fresh temporary folder), then env assignments
check() {
  local name=$1 expected=$2
  shift 2
  local out err status
  out=$(cd "$work/cwd" && "${as_user[@]}" env -i PATH="${path:-/usr/bin:/bin}" TMPDIR="$work/tmp" "$@" \
    "$work/bin/orvandel-launch" 2>"$work/stderr")
  status=$?
  err=$(cat "$work/stderr")
  local ok=1
  ((status == 0)) || ok=0
  if [[ $expected == TEMP* ]]; then
    [[ $out == "$work"/tmp/orvandel.* && -d $out ]] || ok=0
    [[ $err == *"$out"* && $err == *"${expected#TEMP}"* ]] || ok=0
  else
    [[ $out == "$expected" && -z $err ]] || ok=0
  fi
  if ((ok)); then
    echo "ok   $name: started in $out"
  else
    echo "FAIL $name: status $status, started in '$out', expected '$expected'; stderr: $err"
    failures=$((failures + 1))
  fi
}

writable=$work/home
mkdir -p "$writable" "$work/locked"
[[ ${#as_user[@]} -eq 0 ]] || chown "$user" "$writable"
chmod 555 "$work/locked"
mkdir -p "$work/fakebin" "$work/pwhome"
[[ ${#as_user[@]} -eq 0 ]] || chown "$user" "$work/pwhome"
printf '#!/bin/sh\n[ "$1 $2" = "passwd %s" ] && echo "tester:x:%s:%s::%s:/bin/sh"\n' \
  "$(id -u $user)" "$(id -u $user)" "$(id -g $user)" "$work/pwhome" >"$work/fakebin/getent"
chmod 755 "$work/fakebin/getent"

check "absolute HOME" "$writable/.config/orvandel" HOME="$writable"
check "XDG_CONFIG_HOME wins" "$writable/xdg/orvandel" HOME="$writable" XDG_CONFIG_HOME="$writable/xdg"
for variant in "unset HOME:" "empty HOME:HOME=" "relative HOME:HOME=home"; do
  name=${variant%%:*}
  assignment=${variant#*:}
  if [[ -n $expect_home ]]; then
    check "$name (password database)" "$expect_home" ${assignment:+"$assignment"}
  else
    check "$name (password database's home unusable)" "TEMP$passwd_home/.config/orvandel" \
      ${assignment:+"$assignment"}
  fi
  # A password database that names a usable home (a stand-in getent).
  path="$work/fakebin:/usr/bin:/bin" check "$name (stand-in password database)" \
    "$work/pwhome/.config/orvandel" ${assignment:+"$assignment"}
  # Nothing may land inside the folder the launcher was started from.
  if [[ -n $(ls -A "$work/cwd") ]]; then
    echo "FAIL $name: wrote into the working folder: $(ls -A "$work/cwd")"
    failures=$((failures + 1))
  fi
done
check "unwritable home" "TEMP$work/locked/.config/orvandel" HOME="$work/locked"
check "unwritable XDG_CONFIG_HOME" TEMP HOME="$work/locked" XDG_CONFIG_HOME="$work/locked/cfg"

((failures == 0)) || exit 1
