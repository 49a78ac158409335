#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program in an X server of its own under the tests' window
# manager.
source "$(dirname "$0")/../../../e2e/harness.sh"
e2e_start_x
e2e_start_wm
"$@"
