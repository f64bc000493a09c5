#!/usr/bin/env node
// Regenerates tests/engine/cell_text_cases.inc: for every case in
// cell_text_cases.src.js it writes the case's HTML document to a temp file,
// loads it in headless Chromium (file:// URL, page scripts off), reads the
// innerText of the first cell (rows[0].cells[0]) of the first table that has
// rows, and emits one C++ brace-initialiser row per case:
//
//   {"name", R"html(<document>)html", "expected innerText"},
//
// Usage:
//   node make_cell_text_cases.js [--src FILE] [--out FILE] [--pw DIR]
//                                [--chromium PATH] [--keep-html DIR] [--stdout]
//
//   --src        case definitions (default: cell_text_cases.src.js next to this script)
//                (style_sheet_cases.src.js with --out ../style_sheet_cases.inc makes the
//                style-sheet table)
//   --out        output .inc (default: ../cell_text_cases.inc next to this script)
//   --pw         directory whose node_modules holds playwright-core
//                (default: $PLAYWRIGHT_DIR, else /tmp/oracle, else normal require)
//   --chromium   browser (default: $CHROMIUM, else /usr/bin/chromium)
//   --keep-html  also leave the documents as DIR/<name>.html (e.g. to cross-check
//                with the oracle: node oracle.js -o OUT DIR)
//   --stdout     print the .inc instead of writing it
//   --json FILE  also write {name: expected} as JSON (handy for reviewing a diff)
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { pathToFileURL } = require('url');

const DOC_PREFIX = '<!doctype html><meta charset="utf-8">';

function parseArgs(argv) {
  const o = {
    src: path.join(__dirname, 'cell_text_cases.src.js'),
    out: path.join(__dirname, '..', 'cell_text_cases.inc'),
    pw: process.env.PLAYWRIGHT_DIR || null,
    chromium: process.env.CHROMIUM || '/usr/bin/chromium',
    keepHtml: null,
    stdout: false,
    json: null,
  };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const val = () => { if (i + 1 >= argv.length) throw new Error(`missing value for ${a}`); return argv[++i]; };
    switch (a) {
      case '--src': o.src = path.resolve(val()); break;
      case '--out': o.out = path.resolve(val()); break;
      case '--pw': o.pw = val(); break;
      case '--chromium': o.chromium = val(); break;
      case '--keep-html': o.keepHtml = path.resolve(val()); break;
      case '--stdout': o.stdout = true; break;
      case '--json': o.json = path.resolve(val()); break;
      default: throw new Error(`unknown argument ${a}`);
    }
  }
  return o;
}

function loadPlaywright(dir) {
  const tries = [];
  if (dir) tries.push(path.join(path.resolve(dir), 'node_modules', 'playwright-core'));
  tries.push(path.join('/tmp/oracle', 'node_modules', 'playwright-core'));
  tries.push('playwright-core');
  for (const t of tries) {
    try { return require(t); } catch (e) { /* next */ }
  }
  throw new Error('playwright-core not found; run "npm ci" in a copy of the oracle and pass --pw DIR');
}

// ---- case list -------------------------------------------------------------

function loadCases(src) {
  const groups = require(src);
  const seen = new Set();
  const out = [];
  for (const g of groups) {
    if (!/^[a-z][a-z0-9]*$/.test(g.group)) throw new Error(`bad group name ${g.group}`);
    for (const [name, body, options] of g.cases) {
      if (!/^[a-z][a-z0-9_]*$/.test(name)) throw new Error(`bad case name ${name}`);
      if (!name.startsWith(g.group + '_')) throw new Error(`case ${name} is not prefixed by ${g.group}_`);
      if (seen.has(name)) throw new Error(`duplicate case name ${name}`);
      seen.add(name);
      // { whole: true }: the body is the whole document (no doctype: quirks mode).
      const html = options && options.whole ? body : DOC_PREFIX + body;
      if (html.includes(')html"')) throw new Error(`case ${name}: document contains )html"`);
      out.push({ group: g.group, comment: g.comment, name, html });
    }
  }
  return out;
}

// ---- C++ literal writing ---------------------------------------------------

function octal(cp) { return '\\' + cp.toString(8).padStart(3, '0'); }

function ucn(cp) {
  return cp > 0xffff ? '\\U' + cp.toString(16).padStart(8, '0') : '\\u' + cp.toString(16).padStart(4, '0');
}

// One code point as it appears inside an ordinary "..." literal.
function escapeCp(cp, ch) {
  switch (cp) {
    case 0x5c: return '\\\\';
    case 0x22: return '\\"';
    case 0x0a: return '\\n';
    case 0x09: return '\\t';
    case 0x0d: return '\\r';
    case 0x0c: return '\\f';
    case 0x0b: return '\\v';
    default:
      if (cp < 0x20 || cp === 0x7f) return octal(cp);
      if (cp >= 0x80) return ucn(cp);
      return ch;
  }
}

function cString(s) {
  let r = '';
  for (const ch of s) r += escapeCp(ch.codePointAt(0), ch);
  return '"' + r.replace(/\?\?/g, '?\\?') + '"';
}

// Characters that are written outside the raw string (as an adjacent ordinary
// literal) so the .inc stays readable and survives editors: C0/C1 controls other
// than LF and TAB, and invisible or space-like code points.
function needsSplice(cp) {
  if (cp === 0x0a || cp === 0x09) return false;
  if (cp < 0x20 || (cp >= 0x7f && cp <= 0xa0)) return true;
  return cp === 0xad || cp === 0x034f || cp === 0x061c || cp === 0x180e ||
    (cp >= 0x2000 && cp <= 0x200f) || (cp >= 0x2028 && cp <= 0x202f) ||
    (cp >= 0x205f && cp <= 0x206f) || cp === 0x3000 || cp === 0x3164 ||
    (cp >= 0xfe00 && cp <= 0xfe0f) || cp === 0xfeff || cp >= 0xfff0 && cp <= 0xffff;
}

function htmlLiteral(html) {
  const parts = [];
  let raw = '';
  let esc = '';
  const flushRaw = () => { if (raw) parts.push('R"html(' + raw + ')html"'); raw = ''; };
  const flushEsc = () => { if (esc) parts.push('"' + esc + '"'); esc = ''; };
  for (const ch of html) {
    const cp = ch.codePointAt(0);
    if (cp === 0x0a) {
      // Spaces/tabs at a line end go outside the raw string too, so that
      // editors that strip trailing white space cannot change the document.
      const m = /[ \t]+$/.exec(raw);
      if (m) {
        raw = raw.slice(0, m.index);
        flushRaw();
        for (const t of m[0]) esc += escapeCp(t.codePointAt(0), t);
      }
    }
    if (needsSplice(cp)) { flushRaw(); esc += escapeCp(cp, ch); } else { flushEsc(); raw += ch; }
  }
  flushRaw(); flushEsc();
  return parts.length ? parts.join(' ') : '""';
}

// ---- browser ---------------------------------------------------------------

const LAUNCH_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--lang=en-US', '--disable-extensions', '--mute-audio',
  '--host-resolver-rules=MAP * ~NOTFOUND',
];

// Runs in the page: innerText of rows[0].cells[0] of the first table with rows.
function firstCellText() {
  const tables = document.getElementsByTagName('table');
  for (let t = 0; t < tables.length; t++) {
    const rows = tables[t].rows;
    if (!rows || rows.length === 0) continue;
    const cell = rows[0].cells[0];
    return cell ? { ok: true, text: cell.innerText } : { ok: false, why: 'first row has no cells' };
  }
  return { ok: false, why: 'no table with rows' };
}

async function run(opts) {
  const cases = loadCases(opts.src);
  const { chromium } = loadPlaywright(opts.pw);
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'cell-text-cases-'));
  const docDir = opts.keepHtml || path.join(tmp, 'docs');
  fs.mkdirSync(docDir, { recursive: true });
  const udd = path.join(tmp, 'profile');
  const ctx = await chromium.launchPersistentContext(udd, {
    executablePath: opts.chromium, headless: true, args: LAUNCH_ARGS,
    javaScriptEnabled: false, viewport: { width: 1280, height: 800 }, locale: 'en-US',
    timezoneId: 'UTC', serviceWorkers: 'block', env: { ...process.env, TZ: 'UTC' },
  });
  let version = 'unknown';
  const b = ctx.browser();
  if (b) version = b.version();
  await ctx.route('**/*', (route) => {
    const u = route.request().url();
    return /^(file|data|blob|about):/i.test(u) ? route.continue() : route.abort('blockedbyclient');
  });
  const failures = [];
  try {
    for (const c of cases) {
      const file = path.join(docDir, c.name + '.html');
      fs.writeFileSync(file, Buffer.from(c.html, 'utf8'));
      const page = await ctx.newPage();
      try {
        await page.goto(pathToFileURL(file).href, { waitUntil: 'load', timeout: 30000 });
        const r = await page.evaluate(firstCellText);
        if (!r.ok) failures.push(`${c.name}: ${r.why}`); else c.expected = r.text;
      } catch (e) {
        failures.push(`${c.name}: ${String(e.message || e).split('\n')[0]}`);
      } finally {
        await page.close().catch(() => {});
      }
    }
  } finally {
    await ctx.close().catch(() => {});
    if (!opts.keepHtml) fs.rmSync(tmp, { recursive: true, force: true });
    else fs.rmSync(udd, { recursive: true, force: true });
  }
  if (failures.length) {
    for (const f of failures) console.error('FAIL ' + f);
    throw new Error(`${failures.length} case(s) failed`);
  }

  const lines = [];
  lines.push('// Generated by tests/engine/tools/make_cell_text_cases.js from');
  lines.push(`// tests/engine/tools/${path.basename(opts.src)}; do not edit by hand.`);
  lines.push(`// Expected texts: innerText of rows[0].cells[0] in Chromium ${version} (page scripts off).`);
  lines.push('// Row: {name, html document, expected text with LF line breaks}.');
  lines.push('// clang-format off');
  let group = null;
  for (const c of cases) {
    if (c.group !== group) {
      group = c.group;
      lines.push('');
      lines.push(`// ${c.group}_: ${c.comment}`);
    }
    lines.push(`{${cString(c.name)}, ${htmlLiteral(c.html)}, ${cString(c.expected)}},`);
  }
  lines.push('// clang-format on');
  const text = lines.join('\n') + '\n';
  if (opts.json) {
    const m = {};
    for (const c of cases) m[c.name] = c.expected;
    fs.writeFileSync(opts.json, JSON.stringify(m, null, 1) + '\n');
  }
  if (opts.stdout) process.stdout.write(text);
  else fs.writeFileSync(opts.out, text);
  console.error(`${cases.length} cases, chromium ${version}${opts.stdout ? '' : ' -> ' + opts.out}`);
}

let opts;
try { opts = parseArgs(process.argv.slice(2)); } catch (e) { console.error(e.message); process.exit(2); }
run(opts).catch((e) => { console.error(e && e.message || e); process.exit(1); });
