-- wrk script: POST one GetForumPostListByColumn envelope (column, page size
-- 15, page 1) with the service account in the credential header, exactly as
-- the client writes it.
local host = os.getenv("VARNEL_SITE_HOST") or "127.0.0.1"
local user = os.getenv("VARNEL_SERVICE_USER") or "QuilloraAgent"
local password = os.getenv("VARNEL_SERVICE_PASSWORD") or "k7Varnel#2007-svc"
local column = os.getenv("VARNEL_COLUMN") or "1"

local function escape(text)
  return (text:gsub("&", "&amp;"):gsub("<", "&lt;"):gsub(">", "&gt;"))
end

local ns = "http://" .. host .. "/Services/VarnelServices"
wrk.method = "POST"
wrk.path = "/Varnel/Web/Services/VarnelServices.asmx"
wrk.headers["Content-Type"] = "text/xml; charset=utf-8"
wrk.headers["SOAPAction"] = '"' .. ns .. '/GetForumPostListByColumn"'
wrk.body = '<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"'
  .. ' xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"'
  .. ' xmlns:xsd="http://www.w3.org/2001/XMLSchema"'
  .. ' xmlns:soapenc="http://schemas.xmlsoap.org/soap/encoding/">'
  .. '<soap:Header xmlns="' .. ns .. '"><snp:CredentialSoapHeader xmlns:snp="' .. ns .. '">'
  .. '<Username>' .. escape(user) .. '</Username><Password>' .. escape(password) .. '</Password>'
  .. '</snp:CredentialSoapHeader></soap:Header><soap:Body>'
  .. '<GetForumPostListByColumn xmlns="' .. ns .. '"><forumColumnID>' .. column .. '</forumColumnID>'
  .. '<pageSize>15</pageSize><currentPageIndex>1</currentPageIndex></GetForumPostListByColumn>'
  .. '</soap:Body></soap:Envelope>'

-- wrk counts every answer of 400 or more (a refused header is a 500 fault)
-- as an error, and report.lua prints the count: a fault cannot pass for speed.
dofile(os.getenv("VARNEL_BENCH_DIR") .. "/report.lua")
