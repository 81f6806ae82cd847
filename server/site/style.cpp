// The one style sheet of the site: readable type, a header band, quiet
// colours, tables for answers. Works in the client's embedded browser and in
// any desktop browser.
#include "html.h"

namespace varnel::site {

std::string_view styleSheet()
{
    static constexpr std::string_view kCss = R"css(:root {
  --ink: #1f2933;
  --muted: #616e7c;
  --line: #d9e2ec;
  --paper: #ffffff;
  --wash: #f5f7fa;
  --band: #243b53;
  --band-ink: #f0f4f8;
  --accent: #2f6f9f;
  --good: #2f7d4f;
  --warn: #a45d00;
  --bad: #b3261e;
}
* { box-sizing: border-box; }
html { font-size: 15px; }
body {
  margin: 0;
  background: var(--wash);
  color: var(--ink);
  font-family: "Noto Sans", "DejaVu Sans", "Segoe UI", Arial, sans-serif;
  line-height: 1.5;
}
a { color: var(--accent); text-decoration: none; }
a:hover { text-decoration: underline; }
header.band {
  display: flex;
  align-items: baseline;
  gap: 1rem;
  padding: 0.7rem 1.5rem;
  background: var(--band);
  color: var(--band-ink);
}
header.band .brand { color: var(--band-ink); font-size: 1.35rem; font-weight: 700; letter-spacing: 0.02em; }
header.band .zone { color: #bcccdc; font-size: 1rem; }
main { max-width: 960px; margin: 1.2rem auto; padding: 0 1.2rem; }
footer { max-width: 960px; margin: 2rem auto 1.5rem; padding: 0 1.2rem; color: var(--muted); font-size: 0.85rem; }
h1 { font-size: 1.45rem; margin: 0.2rem 0 0.6rem; line-height: 1.3; }
h2 { font-size: 1.1rem; margin: 1.4rem 0 0.5rem; }
p { margin: 0.5rem 0; }
.card {
  background: var(--paper);
  border: 1px solid var(--line);
  border-radius: 6px;
  padding: 1rem 1.2rem;
  margin: 0.8rem 0;
}
.card > h2:first-child { margin-top: 0; }
.meta { color: var(--muted); font-size: 0.9rem; }
.meta span + span::before { content: "\00b7"; margin: 0 0.45rem; }
.crumbs { color: var(--muted); font-size: 0.85rem; margin-bottom: 0.3rem; }
.question-text { white-space: normal; overflow-wrap: anywhere; }
.state { display: inline-block; padding: 0 0.5rem; border-radius: 3px; font-size: 0.8rem; font-weight: 600; color: #fff; }
.state-open { background: var(--good); }
.state-closed { background: var(--muted); }
.state-overdue { background: var(--warn); }
table { width: 100%; border-collapse: collapse; background: var(--paper); border: 1px solid var(--line); }
th, td { padding: 0.55rem 0.7rem; border-bottom: 1px solid var(--line); text-align: left; vertical-align: top; }
th { background: #e9eef4; font-size: 0.85rem; font-weight: 600; color: #334e68; }
tbody tr:nth-child(even) td { background: #fafbfc; }
td.num, th.num { text-align: right; white-space: nowrap; width: 6rem; }
td.who { width: 11rem; }
td.when { width: 9.5rem; white-space: nowrap; color: var(--muted); font-size: 0.9rem; }
td.answer { overflow-wrap: anywhere; }
.notice { padding: 0.7rem 1rem; border-radius: 5px; margin: 0.8rem 0; border: 1px solid; }
.notice.ok { background: #e3f4ea; border-color: #9fd3b4; color: #1e5a37; }
.notice.error { background: #fdecea; border-color: #f1b0aa; color: #8a1c15; }
.notice.info { background: #e8f1f8; border-color: #a9c8e0; color: #1d4a6e; }
form .row { display: flex; gap: 0.8rem; align-items: center; margin: 0.5rem 0; flex-wrap: wrap; }
label { font-weight: 600; min-width: 7rem; }
input[type=text], input[type=password], input[type=number], select, textarea {
  font: inherit;
  padding: 0.35rem 0.5rem;
  border: 1px solid #bcccdc;
  border-radius: 4px;
  background: #fff;
  color: var(--ink);
}
input[type=number] { width: 6rem; text-align: right; }
textarea { width: 100%; min-height: 6rem; }
input[type=text].wide { flex: 1; min-width: 16rem; }
button {
  font: inherit;
  padding: 0.4rem 1.1rem;
  border: 1px solid #1d5b85;
  border-radius: 4px;
  background: var(--accent);
  color: #fff;
  cursor: pointer;
}
button.quiet { background: #fff; color: var(--accent); }
a.button {
  display: inline-block;
  padding: 0.4rem 1.1rem;
  border: 1px solid #1d5b85;
  border-radius: 4px;
  background: var(--accent);
  color: #fff;
  text-decoration: none;
}
.zones { display: grid; grid-template-columns: repeat(auto-fill, minmax(210px, 1fr)); gap: 0.8rem; }
.zones .card { margin: 0; }
.zones ul { margin: 0.3rem 0 0; padding-left: 1.1rem; font-size: 0.9rem; color: var(--muted); }
ul.plain { list-style: none; padding: 0; margin: 0; }
ul.plain li { padding: 0.3rem 0; border-bottom: 1px solid var(--line); }
ul.plain li:last-child { border-bottom: none; }
code, pre { font-family: "DejaVu Sans Mono", monospace; font-size: 0.9rem; }
pre { background: #f0f4f8; padding: 0.7rem 0.9rem; border-radius: 4px; overflow-x: auto; }
.mk-b { font-weight: 700; }
.mk-i { font-style: italic; }
.mk-u { text-decoration: underline; }
.mk-sup { vertical-align: super; font-size: 70%; }
.mk-sub { vertical-align: sub; font-size: 70%; }
.mk-p { display: block; height: 0.5em; }
)css";
    return kCss;
}

} // namespace varnel::site
