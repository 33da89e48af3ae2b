#!/usr/bin/env bash
# Builds every libFuzzer target of fuzz/ with the fuzz preset (Clang) and runs
# each one briefly: NORVANE_FUZZ_SECONDS each (default 5), starting from its
# seeds in fuzz/corpus/<target>/ when there are any. Without clang it does
# nothing. Crashes land in build/fuzz/artifacts/ and make the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found, fuzzing skipped"
  exit 0
fi
# clang alone is not enough: the sanitizer and libFuzzer runtimes come in a
# package of their own. One line and no fuzzing where they are missing, rather
# than a failed configure that stops the test run.
probe="$(mktemp -d)"
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/p.cpp"
if ! clang++ -fsanitize=address,undefined,fuzzer "$probe/p.cpp" -o "$probe/p" >"$probe/log" 2>&1; then
  echo "fuzz: clang++ cannot link a sanitized libFuzzer program ($(grep -m1 -i error "$probe/log" || true)), fuzzing skipped"
  exit 0
fi
seconds="${NORVANE_FUZZ_SECONDS:-5}"
# One input running longer than this is a hang and fails the run.
input_seconds="${NORVANE_FUZZ_INPUT_SECONDS:-10}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -- -k 0
build="$PWD/build/fuzz"
# Targets that write temporary files do so in their working folder; a target
# stopped by its time limit may leave one behind, so they work inside build/.
mkdir -p "$build/artifacts" "$build/work"
for source in fuzz/*_fuzz.cpp; do
  target="$(basename "$source" .cpp)"
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  seeds=()
  if [ -d "fuzz/corpus/$target" ]; then
    seeds+=("$PWD/fuzz/corpus/$target")
  fi
  echo "fuzz: $target for ${seconds} s"
  if ! (cd "$build/work" && "$build/fuzz/$target" -max_total_time="$seconds" -timeout="$input_seconds" -max_len=16384 \
      -artifact_prefix="$build/artifacts/$target-" "$corpus" "${seeds[@]}") >"$build/$target.log" 2>&1; then
    tail -n 40 "$build/$target.log"
    exit 1
  fi
  grep -E "^Done" "$build/$target.log" | tail -n 1 || true
done
