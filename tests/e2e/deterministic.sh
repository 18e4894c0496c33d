#!/bin/sh
# The whole sequence twice in virtual time: the same frames and the same sound.
korvax=$1
first=$("$korvax" --clock virtual --hash) || { echo "FAIL: first run exited $?"; exit 1; }
second=$("$korvax" --clock virtual --hash) || { echo "FAIL: second run exited $?"; exit 1; }
echo "$first"
echo "$second"
[ "$first" = "$second" ] || { echo "FAIL: the runs differ"; exit 1; }
echo "$first" | grep -q "digest" || { echo "FAIL: no digest"; exit 1; }
echo ok
