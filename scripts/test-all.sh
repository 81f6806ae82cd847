#!/usr/bin/env bash
# Runs every test on a fresh Debian 12 machine: installs what is missing,
# builds the logic under AddressSanitizer + UndefinedBehaviorSanitizer and
# runs its tests, then builds the desktop client and runs the headless GUI
# tests. Warnings are errors.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1

status=0
results=()

echo "== logic build (sanitizers)"
BUILD_TYPE=Debug bash scripts/build.sh build/asan -DQUILLORA_SANITIZE=ON -DQUILLORA_WERROR=ON \
  -DQUILLORA_BUILD_GUI=OFF -DQUILLORA_BUILD_BENCH=OFF
echo "== logic tests"
ctest --test-dir build/asan -L logic --output-on-failure -j 2 --output-junit "$here/build/asan/junit.xml" || status=1
results+=("build/asan/junit.xml")

echo "== client build"
bash scripts/build.sh build/release -DQUILLORA_WERROR=ON
if ctest --test-dir build/release -N -L gui | grep -q 'Total Tests: [1-9]'; then
  echo "== GUI tests (offscreen)"
  ctest --test-dir build/release -L gui --output-on-failure --output-junit "$here/build/release/junit.xml" || status=1
  results+=("build/release/junit.xml")
fi

echo "== Debian packages (build, contents, dpkg -i, installed programs)"
ctest --test-dir build/release -L package --output-on-failure --output-junit "$here/build/release/junit-packages.xml" ||
  status=1
results+=("build/release/junit-packages.xml")

python3 - "${results[@]}" <<'PY'
import sys, xml.etree.ElementTree as ET
passed = failed = skipped = 0
for path in sys.argv[1:]:
    try:
        root = ET.parse(path).getroot()
    except Exception:
        continue
    for case in root.iter("testcase"):
        status = case.get("status", "")
        if case.find("failure") is not None or case.find("error") is not None or status == "fail":
            failed += 1
        elif case.find("skipped") is not None or status in ("notrun", "disabled"):
            skipped += 1
        else:
            passed += 1
print(f"tests: {passed} passed, {failed} failed, {skipped} skipped")
PY
exit $status
