#!/usr/bin/env bash
# Checks what a built tree installs and packs: installs it into a scratch
# DESTDIR below /usr, validates the menu and software-centre entries and the
# manual pages, runs the installed programs and the shell completion from
# there, then builds the Debian package and checks it with dpkg-deb and
# lintian. Usage: tools/check-install.sh [BUILD_FOLDER] (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
export LC_ALL=C.UTF-8

work=$(mktemp -d "${TMPDIR:-/tmp}/varnok-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
dest=$work/dest
fail() { echo "check-install: $*" >&2; exit 1; }

DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
usr=$dest/usr
app_id=org.varnok.Quillet

desktop-file-validate "$usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/$app_id.metainfo.xml" >/dev/null
# The desktop entry, the metainfo file and the icons must also fit together.
appstreamcli validate-tree --no-net "$dest" >/dev/null

for page in varnok varnok-run; do
  # man prints its warnings on stderr, which must stay empty.
  warnings=$(MANWIDTH=80 man --warnings -l "$usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man $page: $warnings"
done

for size in 16 24 32 48 64 128 256; do
  [[ -f $usr/share/icons/hicolor/${size}x$size/apps/$app_id.png ]] || fail "no ${size}px icon"
done
[[ -f $usr/share/icons/hicolor/scalable/apps/$app_id.svg ]] || fail "no scalable icon"

# The installed batch runner: its version and a small job.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[[ $("$usr/bin/varnok-run" --version) == "varnok-run $version" ]] || fail "varnok-run --version"
mkdir -p "$work/job/sub"
printf 'colour and Colour\n' >"$work/job/a.txt"
printf 'no match\n' >"$work/job/sub/b.txt"
printf 'colour\ncolor\n--\n' | "$usr/bin/varnok-run" -y -q -r -m '*.txt' -c - "$work/job" >"$work/report" 2>/dev/null
[[ $(cat "$work/job/a.txt") == "color and color" && -f $work/job/a.BAK ]] || fail "the installed varnok-run did not edit"
[[ $(cat "$work/report") == "    2      $work/job/a.txt"$'\n'"    0      $work/job/sub/b.txt" ]] ||
  fail "unexpected report: $(cat "$work/report")"

# The installed desktop program finds the installed help file.
[[ $("$usr/bin/varnok" --help-file) == "$usr/share/varnok/Quillets.hlp" ]] || fail "varnok --help-file"

# The completion: options, and the configuration names of the store file.
mkdir -p "$work/config/Tavrin Software"
printf 'Windows Registry Editor Version 5.00\r\n\r\n%s\r\n"x"="1"\r\n\r\n%s\r\n\r\n%s\r\n' \
  '[HKEY_CURRENT_USER\Tavrin Software\Quillets\Others\Weekly job]' \
  '[hkey_current_user\tavrin software\quillets\others\WEEKLY JOB\Varnok\Dialog]' \
  '[HKEY_CURRENT_USER\Tavrin Software\Quillets\Others\daily]' >"$work/config/Tavrin Software/Quillets.reg"
completions=$(XDG_CONFIG_HOME=$work/config bash --norc -c '
  source /usr/share/bash-completion/bash_completion
  source "$1"
  complete_line() {
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    COMPREPLY=(); _varnok_run; echo "${COMPREPLY[*]}"
  }
  complete_line varnok-run --co
  complete_line varnok-run --config ""
  complete_line varnok-run --config w' _ "$usr/share/bash-completion/completions/varnok-run")
[[ $completions == $'--config --color\nWeekly\\ job daily\nWeekly\\ job' ]] ||
  fail "unexpected completions: $completions"

# The Debian package.
rm -f "$build"/varnok_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(echo "$build"/varnok_*.deb)
contents=$(dpkg-deb --contents "$package" | awk '{print $6}' | grep -v '/$' | sort)
expected=$(cd "$dest" && find . -type f | sort)
[[ $contents == "$expected" ]] || fail "the package's files differ from the installation:
$(diff <(echo "$expected") <(echo "$contents"))"
dpkg-deb --field "$package" Depends | grep -q 'libqt6widgets6' || fail "no library dependencies"
# No error; the warnings are listed.
lint=$(lintian --fail-on error --tag-display-limit 0 "$package" 2>&1) || fail "lintian: $lint"
lint=$(grep -v 'root privileges' <<<"$lint" || true)
echo "lintian: ${lint:-no errors, no warnings}"
echo "check-install: $(basename "$package") and the installation are sound"
