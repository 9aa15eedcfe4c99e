// The reader's one style sheet: light and dark by the reader's system, print, narrow screens.
#include "readersite.h"

namespace {

// Colours checked for at least 4.5:1 against their background in both looks: light text
// #1b1b1b, links #0b57a4, muted #4d4d4d on #ffffff; dark text #ececec, links #9cc7ff, muted
// #c2c2c2 on #15171a. Focus is a thick outline in a colour of its own.
const char kSheet[] = R"css(:root {
  color-scheme: light dark;
  --bg: #ffffff; --fg: #1b1b1b; --muted: #4d4d4d; --link: #0b57a4; --visited: #6a2a9c;
  --line: #c9c9c9; --panel: #f2f4f7; --focus: #b34700; --mark: #fff1a8; --mark-fg: #1b1b1b;
}
@media (prefers-color-scheme: dark) {
  :root {
    --bg: #15171a; --fg: #ececec; --muted: #c2c2c2; --link: #9cc7ff; --visited: #d4b0ff;
    --line: #4a4f57; --panel: #22262b; --focus: #ffb070; --mark: #5c4d00; --mark-fg: #fff6cc;
  }
}
* { box-sizing: border-box; }
html { -webkit-text-size-adjust: 100%; text-size-adjust: 100%; }
body {
  margin: 0; background: var(--bg); color: var(--fg);
  font: 1.0625rem/1.55 system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", "DejaVu Sans", sans-serif;
  overflow-wrap: anywhere;
}
a { color: var(--link); text-underline-offset: 0.15em; }
a:visited { color: var(--visited); }
a:focus-visible, button:focus-visible, input:focus-visible, [tabindex]:focus-visible {
  outline: 3px solid var(--focus); outline-offset: 2px;
}
.skip-link {
  position: absolute; left: 0.5rem; top: -4rem; z-index: 10; padding: 0.75rem 1rem;
  background: var(--bg); color: var(--link); border: 2px solid var(--focus);
}
.skip-link:focus { top: 0.5rem; }
.site-header, .site-nav, main, .site-footer { max-width: 50rem; margin: 0 auto; padding: 0 1rem; }
.site-header { padding-top: 0.75rem; }
.search label { display: block; font-weight: 600; margin-bottom: 0.25rem; }
.search-row { display: flex; flex-wrap: wrap; gap: 0.5rem; }
.search input {
  flex: 1 1 12rem; min-width: 0; min-height: 44px; padding: 0.5rem 0.75rem; font: inherit;
  color: var(--fg); background: var(--bg); border: 2px solid var(--muted); border-radius: 4px;
}
.search button {
  min-height: 44px; min-width: 44px; padding: 0.5rem 1.25rem; font: inherit; font-weight: 600;
  color: #ffffff; background: #0b57a4; border: 2px solid #0b57a4; border-radius: 4px; cursor: pointer;
}
.site-name { margin: 0.5rem 0 0; }
.site-name a, .site-nav a, .letters a, .entries a, .breadcrumbs a, .tree a {
  display: inline-flex; align-items: center; min-height: 44px; min-width: 44px;
}
.site-name a { font-weight: 600; }
.site-nav ul, .letters ul, .breadcrumbs ol { list-style: none; margin: 0; padding: 0; display: flex; flex-wrap: wrap; }
.site-nav { border-bottom: 1px solid var(--line); }
.site-nav li { margin-right: 1.25rem; }
.breadcrumbs li { color: var(--muted); }
.breadcrumbs li + li::before { content: "›"; padding: 0 0.5rem; }
.letters li a { justify-content: center; font-weight: 600; }
.letters li { margin: 0 0.25rem 0.25rem 0; }
.letters h2, main h2 { font-size: 1.15rem; margin: 1.25rem 0 0.5rem; }
h1 { font-size: 1.6rem; line-height: 1.25; margin: 1rem 0; }
.entries { padding-left: 1.25rem; }
.tree ul { padding-left: 1.25rem; }
.notice { padding: 0.5rem 0.75rem; background: var(--panel); border-left: 4px solid var(--focus); }
.record, .results { margin-bottom: 2rem; }
.record img, .results img { max-width: 100%; height: auto; }
.record li a, .results li a { display: inline-block; padding: 0.6rem 0; }
.record b, .results b { font-weight: 700; }
.results li { margin-bottom: 0.5rem; }
.results li b { background: var(--mark); color: var(--mark-fg); }
.f-right { float: right; margin: 0 0 0.5rem 1rem; max-width: 45%; }
.f-left { float: left; margin: 0 1rem 0.5rem 0; max-width: 45%; }
.centered { display: block; margin: 0.5rem auto; }
.table-scroll { overflow-x: auto; max-width: 100%; margin: 0.75rem 0; border: 1px solid var(--line); }
.table-scroll table { border-collapse: collapse; min-width: 100%; }
.table-scroll td, .table-scroll th { border: 1px solid var(--line); padding: 0.4rem 0.6rem; vertical-align: top; }
.record hr { border: 0; border-top: 1px solid var(--line); }
.site-footer { border-top: 1px solid var(--line); margin-top: 2rem; padding-bottom: 2rem; color: var(--muted); }
.demo-notice { font-weight: 600; color: var(--fg); }
.answers { margin: 1.5rem 0 2rem; border-top: 1px solid var(--line); }
.answer-form { display: flex; flex-wrap: wrap; gap: 0.75rem 1rem; align-items: flex-end; margin: 0.75rem 0; }
.answer-form .field { flex: 1 1 14rem; min-width: 0; }
.answer-form label { display: block; font-weight: 600; margin-bottom: 0.25rem; }
.answer-form input, .answer-form select {
  width: 100%; min-height: 44px; padding: 0.5rem 0.75rem; font: inherit;
  color: var(--fg); background: var(--bg); border: 2px solid var(--muted); border-radius: 4px;
}
.answer-form button {
  min-height: 44px; min-width: 44px; padding: 0.5rem 1.25rem; font: inherit; font-weight: 600;
  color: #ffffff; background: #0b57a4; border: 2px solid #0b57a4; border-radius: 4px; cursor: pointer;
}
.answer-form select:focus-visible, .answer-form button:focus-visible { outline: 3px solid var(--focus); outline-offset: 2px; }
.hint { margin: 0 0 0.25rem; color: var(--muted); font-size: 0.95rem; }
.answers thead th, .answers tbody th { overflow-wrap: normal; text-align: left; }
.dose { margin: 1rem 0; padding: 0.5rem 0.75rem; background: var(--panel); border-left: 4px solid var(--link); }
.dose h3, .answers h3 { font-size: 1.05rem; margin: 0.75rem 0 0.5rem; }
.dose-terms { display: grid; grid-template-columns: minmax(0, max-content) minmax(0, 1fr); gap: 0.25rem 1rem; margin: 0; }
.dose-terms dt { font-weight: 600; }
.dose-terms dd { margin: 0; }
.dose-amount { font-size: 1.2rem; }
.refusal { font-weight: 600; padding: 0.5rem 0.75rem; background: var(--panel); border-left: 4px solid var(--focus); }
.source { margin: 0.5rem 0 0; padding: 0 0 0 0.75rem; border-left: 2px solid var(--line); color: var(--fg); }
.source-label { color: var(--muted); }
.jumps a { display: inline-block; padding: 0.6rem 0; font-weight: 600; }
.withdrawal-table { width: 100%; }
.quote-row td { font-size: 0.95rem; border-top: 0; }
.visually-hidden {
  position: absolute; width: 1px; height: 1px; margin: -1px; padding: 0; overflow: hidden;
  clip: rect(0 0 0 0); white-space: nowrap; border: 0;
}
@media (max-width: 30rem) {
  .dose-terms { grid-template-columns: minmax(0, 1fr); }
  .dose-terms dd { margin-bottom: 0.25rem; }
}
@media print {
  :root { --bg: #ffffff; --fg: #000000; --muted: #333333; --link: #000000; --visited: #000000; --line: #888888; }
  body { font-size: 11pt; }
  .skip-link, .site-header form, .site-nav, .breadcrumbs, .answer-form { display: none; }
  .site-header, .site-nav, main, .site-footer { max-width: none; padding: 0; }
  a { text-decoration: none; color: #000000; }
  .table-scroll { overflow: visible; border: 0; }
  .record li a, .entries a, .site-name a { min-height: 0; padding: 0; }
  h1, h2, h3 { break-after: avoid; }
  img, tr { break-inside: avoid; }
}
)css";

} // namespace

QByteArray ReaderSite::styleSheet()
{
    return QByteArray(kSheet, int(sizeof(kSheet) - 1));
}
