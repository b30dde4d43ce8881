#!/usr/bin/env bash
# The demo: for now only the usage text of the built client.
set -u
"${1:-build}/vortcp"
exit 0
