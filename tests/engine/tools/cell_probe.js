#!/usr/bin/env node
// Keeps one headless Chromium open (the oracle's settings: page scripts off,
// 1280x800, en-US) and answers, for each HTML file path read as a line on
// standard input, one JSON line: the innerText of every cell, as
// [[row cells...] ...] over all tables in document order (tables without rows
// add nothing). Used by find_cell_diffs.py to minimise pages quickly.
//
//   node cell_probe.js ORACLE_DIR      (ORACLE_DIR holds node_modules/playwright-core)
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const readline = require('readline');
const { pathToFileURL } = require('url');

const oracleDir = path.resolve(process.argv[2] || '/tmp/oracle');
const { chromium } = require(path.join(oracleDir, 'node_modules', 'playwright-core'));

function cellTexts() {
  const rows = [];
  const tables = document.getElementsByTagName('table');
  for (let t = 0; t < tables.length; t++) {
    const tableRows = tables[t].rows;
    if (!tableRows) continue;
    for (let r = 0; r < tableRows.length; r++) {
      rows.push(Array.from(tableRows[r].cells, (cell) => cell.innerText));
    }
  }
  return rows;
}

async function main() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'cell-probe-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--lang=en-US',
      '--host-resolver-rules=MAP * ~NOTFOUND'],
    javaScriptEnabled: false,
    viewport: { width: 1280, height: 800 },
    locale: 'en-US',
    timezoneId: 'UTC',
  });
  await context.route('**/*', (route) => (/^(file|data|blob|about):/i.test(route.request().url())
    ? route.continue() : route.abort('blockedbyclient')));
  const page = context.pages()[0] || await context.newPage();
  const lines = readline.createInterface({ input: process.stdin });
  for await (const line of lines) {
    let answer;
    try {
      await page.goto(pathToFileURL(line.trim()).href, { waitUntil: 'load', timeout: 30000 });
      answer = { rows: await page.evaluate(cellTexts) };
    } catch (e) {
      answer = { error: String(e) };
    }
    process.stdout.write(JSON.stringify(answer) + '\n');
  }
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
}

main().catch((e) => { console.error(e); process.exit(1); });
