#!/usr/bin/env bash
# The main job of ./run.sh while the viewer window is still being built: the
# command-line front end classifies sample recorder names of both families.
set -euo pipefail
BUILD=$1
CLI="$BUILD/tools/kinetta-cli/kinetta-cli"
echo "== TX40 family =="
"$CLI" names --family tx40 012_153012A_M.MP4 012_153012A_R.MP4 012_153012_G.MP4 \
  JB03_012_153012A_M.MP4 012_153012P_M.MP4
echo "== TX50 family =="
"$CLI" names --family tx50 012_153012ANN_F.MP4 012_153012GTO_F.MP4 012_153012_ANN_.MP4 \
  012_153012PNN_R.DAT
