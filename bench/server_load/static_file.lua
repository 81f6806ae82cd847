-- wrk script: GET one fixed page of the same server (the ceiling).
dofile(os.getenv("VARNEL_BENCH_DIR") .. "/report.lua")
