#!/usr/bin/env bash
# Refreshes the screenshots of the user manual in docs/help/images, then rebuilds the default
# preset so that Tolvane_help.pdf shows them. The window tests take the pictures: their
# help-screen class writes them where TOLVANE_HELP_SCREENS points.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
# The window tests first: the manual cannot be laid out while a picture is missing.
cmake --build --preset default --target ui_tests
# One program holds every window test class; all of them run, which takes a few seconds.
QT_QPA_PLATFORM=offscreen TOLVANE_HELP_SCREENS=docs/help/images build/tests/ui/ui_tests -silent
cmake --build --preset default
ls -l docs/help/images build/Tolvane_help.pdf
