-- The client's request envelope: the service account in the credential
-- header, the operation's parameters in its wrapper element.
local host = os.getenv("VARNEL_SITE_HOST") or "127.0.0.1"
local user = os.getenv("VARNEL_SERVICE_USER") or "QuilloraAgent"
local password = os.getenv("VARNEL_SERVICE_PASSWORD") or "k7Varnel#2007-svc"

local function escape(text)
  return (text:gsub("&", "&amp;"):gsub("<", "&lt;"):gsub(">", "&gt;"))
end

local ns = "http://" .. host .. "/Services/VarnelServices"
local head = '<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"'
  .. ' xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"'
  .. ' xmlns:xsd="http://www.w3.org/2001/XMLSchema"'
  .. ' xmlns:soapenc="http://schemas.xmlsoap.org/soap/encoding/">'
  .. '<soap:Header xmlns="' .. ns .. '"><snp:CredentialSoapHeader xmlns:snp="' .. ns .. '">'
  .. '<Username>' .. escape(user) .. '</Username><Password>' .. escape(password) .. '</Password>'
  .. '</snp:CredentialSoapHeader></soap:Header><soap:Body>'

-- `fields` is a list of {name, value} pairs, written in that order.
function envelope(operation, fields)
  local parts = {head, '<', operation, ' xmlns="', ns, '">'}
  for _, f in ipairs(fields) do
    parts[#parts + 1] = '<' .. f[1] .. '>' .. escape(tostring(f[2])) .. '</' .. f[1] .. '>'
  end
  parts[#parts + 1] = '</' .. operation .. '></soap:Body></soap:Envelope>'
  return table.concat(parts)
end

function soap_headers(operation)
  return {["Content-Type"] = "text/xml; charset=utf-8", ["SOAPAction"] = '"' .. ns .. '/' .. operation .. '"'}
end

-- wrk runs one Lua state per thread: each learns its number and the count
-- of threads, so that the threads walk disjoint sequences of calls.
local threads = {}
function setup(thread)
  thread:set("thread_number", #threads)
  table.insert(threads, thread)
end

-- The n-th call of this thread, counted over all threads of the run and
-- started at VARNEL_CALL_OFFSET (earlier runs' calls).
local calls = 0
function next_call_number()
  local n = tonumber(os.getenv("VARNEL_CALL_OFFSET") or "0") + calls * tonumber(os.getenv("VARNEL_THREADS") or "1")
    + (thread_number or 0)
  calls = calls + 1
  return n
end
