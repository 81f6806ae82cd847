#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for
# the given number of seconds (default 60) from its seed corpus. The readers
# of what comes from the network take inputs up to the 1 MiB a request body
# or answer may be; every input has 2 seconds, so an input that makes a
# reader slow is a finding like a crash (libFuzzer's own defaults, 4 KB
# inputs and 20 minutes each, never meet a reader that is quadratic). Exits
# non-zero when a target found something; the input is left in build/fuzz/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
seconds=${1:-60}
bash scripts/deps.sh
# Only the fuzz targets and what they link are built, not the tests.
BUILD_TYPE=RelWithDebInfo BUILD_TARGET=fuzzers bash scripts/build.sh build/fuzz -DCMAKE_CXX_COMPILER=clang++-14 \
  -DQUILLORA_FUZZ=ON -DQUILLORA_BUILD_GUI=OFF -DQUILLORA_BUILD_BENCH=OFF

# Seeds of the shapes that cost a reader most, near the limits: a start tag
# with as many attributes as it may carry, and prefixes bound on thousands of
# nested elements around thousands of elements that resolve one.
# The first argument is the corpus, the second what the target reads before
# the text (a byte that picks a mode), if anything.
hostile_seeds() {
  python3 - "$1" "${2:-}" <<'EOF'
import sys
out, lead = sys.argv[1], sys.argv[2]
env = ('<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Header>%s</soap:Header>'
       '<soap:Body/></soap:Envelope>')
attrs = "<h:x xmlns:h=\"urn:h\" " + " ".join('a%d="v"' % i for i in range(254)) + "/>"
nested = "".join('<e xmlns:p%d="urn:%d">' % (i, i) for i in range(3000)) + "<p7:b/>" * 60000 + "</e>" * 3000
for name, body in (("hostile-attributes", env % attrs), ("hostile-bindings", env % nested)):
    with open("%s/%s" % (out, name), "w") as f:
        f.write(lead + body)
EOF
}

failed=0
for bin in build/fuzz/fuzz/fuzz_*; do
  # The build folder also holds each target's generated-code folder.
  [ -f "$bin" ] && [ -x "$bin" ] || continue
  name=$(basename "$bin")
  seeds="fuzz/corpus/${name#fuzz_}"
  work="build/fuzz/corpus-$name"
  mkdir -p "$work"
  [ -d "$seeds" ] && cp -n "$seeds"/* "$work"/ 2>/dev/null || true
  limits=(-timeout=2)
  case "$name" in
    fuzz_xml_pull_parser | fuzz_soap_response)
      limits+=(-max_len=1048576)
      hostile_seeds "$work" 1 # with namespaces; the first operation's answer
      ;;
    fuzz_result_document | fuzz_server_request | fuzz_server_request_diff)
      limits+=(-max_len=1048576)
      hostile_seeds "$work"
      ;;
    fuzz_http_response | fuzz_server_head)
      limits+=(-max_len=1048576)
      ;;
  esac
  echo "== $name for ${seconds}s"
  status=0
  "$bin" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=4096 "${limits[@]}" \
    -artifact_prefix="build/fuzz/$name-" "$work" >"build/fuzz/$name.log" 2>&1 || status=$?
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY' "build/fuzz/$name.log" || true
  if [ "$status" -ne 0 ]; then
    echo "!! $name found an input that crashes, leaks or is slow (see build/fuzz/$name.log)"
    failed=1
  fi
done
exit "$failed"
