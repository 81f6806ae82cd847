-- wrk script: CreatForumReply, a write. The calls walk every (answerer,
-- question) pair before any pair comes round again, so that no member
-- answers one question more than the five times the rules allow as long as
-- the calls of all runs stay under 5 x answerers x questions.
dofile(os.getenv("VARNEL_BENCH_DIR") .. "/envelope.lua")
local data = dofile(os.getenv("VARNEL_BENCH_DATA"))
local path = "/Varnel/Web/Services/VarnelServices.asmx"
local headers = soap_headers("CreatForumReply")

function request()
  local n = next_call_number()
  local answerer = data.answerers[n % #data.answerers + 1]
  local question = data.questions[math.floor(n / #data.answerers) % #data.questions + 1]
  return wrk.format("POST", path, headers, envelope("CreatForumReply", {{"forumPostID", question},
    {"userID", answerer}, {"forumColumnID", data.column}, {"contentText", "Bench answer " .. n}}))
end

dofile(os.getenv("VARNEL_BENCH_DIR") .. "/report.lua")
