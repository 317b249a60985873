#!/usr/bin/env bash
# Saves a PNG of every window of the desktop program, page by page, into
# screenshots/: the report window (also after an undo), the settings dialog's five pages, the
# folder chooser, the About box, the wizard's six pages, the wild-card window,
# the two configuration windows, the box of the change-list check and the
# preview window (sorted by count, a long name shortened) in a light and a
# dark palette, and with renames; the report window and the
# About box in a dark theme, the report window during a run in a folder with a
# 200-character path, the print dialog, and the run history with the undo's
# question over it; a first start: the question about a configuration with
# nothing stored, and the empty report window with its hint. The windows are
# shown on a virtual X display, with a
# settings folder of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target tst_report_screenshots tst_dialog

rm -rf screenshots
mkdir -p screenshots
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
shoot() {
  XDG_CONFIG_HOME=$config XDG_STATE_HOME=$config VARNOK_SCREENSHOT_DIR=$PWD/screenshots QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$@" -silent
}
shoot build/bin/tst_report_screenshots
# The mask page once more, its exclusion list filled.
shoot build/bin/tst_dialog maskPagePicture
ls screenshots
