-- One machine-readable line at the end of a wrk run:
-- RESULT requests_per_second p50_ms p99_ms errors
function done(summary, latency, requests)
  local seconds = summary.duration / 1e6
  local errors = summary.errors.connect + summary.errors.read + summary.errors.write
    + summary.errors.status + summary.errors.timeout
  io.write(string.format("RESULT %.1f %.3f %.3f %d %d\n", summary.requests / seconds,
    latency:percentile(50) / 1000, latency:percentile(99) / 1000, errors, summary.requests))
end
