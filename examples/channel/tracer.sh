#!/usr/bin/env bash
# Runs the channel flood and then the tracer plume on its last flow field.
#   bash tracer.sh [path to quellfax]   (in a copy of this directory)
set -euo pipefail
q=${1:-quellfax}
"$q" -q channel.qfx
"$q" -q tracer.qfx
