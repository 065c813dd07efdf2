#!/usr/bin/env bash
# Fuzzes the command-line code for as long as one likes, then tells how much
# of it the grown corpus reaches.
#   scripts/fuzz.sh [seconds]     (default 300)
# New inputs are kept in build/host-sanitize/tests/fuzz/corpus, so each run
# goes on from where the last one stopped. An input that breaks a check is
# saved as build/fuzz-crash-* and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
scripts/deps.sh

cmake --preset host-sanitize >/dev/null
cmake --build --preset host-sanitize -j 2 --target command_line_fuzzer
corpus=build/host-sanitize/tests/fuzz/corpus
mkdir -p "$corpus"
build/host-sanitize/tests/fuzz/command_line_fuzzer -max_total_time="$seconds" \
  -max_len=20000 -print_final_stats=1 -artifact_prefix=build/fuzz-crash- \
  "$corpus" tests/fuzz/corpus 2>build/fuzz.log || { tail -40 build/fuzz.log; exit 1; }
grep -E '^stat::number_of_executed_units|^#[0-9]+[[:space:]]+DONE' build/fuzz.log

# Every input of both corpora once more, in a build that records which lines
# and branches of the command-line code they reach.
cmake --preset fuzz-coverage >/dev/null
cmake --build --preset fuzz-coverage -j 2 --target command_line_fuzzer
profiles=build/fuzz-coverage/profiles
rm -rf "$profiles"
LLVM_PROFILE_FILE="$profiles/%p.profraw" build/fuzz-coverage/tests/fuzz/command_line_fuzzer \
  -runs=0 -max_len=20000 "$corpus" tests/fuzz/corpus 2>/dev/null
llvm-profdata-14 merge -sparse "$profiles"/*.profraw -o "$profiles/merged.profdata"
llvm-cov-14 report build/fuzz-coverage/tests/fuzz/command_line_fuzzer \
  -instr-profile="$profiles/merged.profdata" -show-branch-summary launcher/command_line.cpp
