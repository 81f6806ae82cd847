-- wrk script: GetMessage, the poll every signed-in client makes on its timer,
-- for the members prepare.py signed in (each bound to this address), in turn.
dofile(os.getenv("VARNEL_BENCH_DIR") .. "/envelope.lua")
local data = dofile(os.getenv("VARNEL_BENCH_DATA"))
local path = "/Varnel/Web/Services/VarnelServices.asmx"
local headers = soap_headers("GetMessage")

function request()
  local n = next_call_number()
  local member = data.members[n % #data.members + 1]
  return wrk.format("POST", path, headers, envelope("GetMessage", {{"userID", member}}))
end

dofile(os.getenv("VARNEL_BENCH_DIR") .. "/report.lua")
