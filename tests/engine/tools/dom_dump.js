// Prints the DOM Chromium builds for each HTML file (scripts off), one line a
// node as tree_dump.cpp prints the engine's and gumbo's trees:
//
//   node dom_dump.js FILE... > browser.txt
//
// Uses the shared oracle's playwright-core (PLAYWRIGHT_DIR, else /tmp/oracle)
// and Debian's chromium (CHROMIUM, else /usr/bin/chromium).
'use strict';
const path = require('path');

const from = process.env.PLAYWRIGHT_DIR || '/tmp/oracle';
const { chromium } = require(require.resolve('playwright-core', { paths: [from] }));

(async () => {
  const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox'],
  });
  const context = await browser.newContext({ javaScriptEnabled: false });
  await context.route('**/*', (route) =>
    route.request().url().startsWith('file:') ? route.continue() : route.abort());
  for (const file of process.argv.slice(2)) {
    const page = await context.newPage();
    await page.goto('file://' + path.resolve(file));
    const lines = await page.evaluate(() => {
      const out = [];
      // As the engine writes a JSON string (appendJsonString): \" \\ \n \r \t, other
      // control characters as \u00XX.
      const quoted = (text) => '"' + text.replace(/["\\\u0000-\u001f]/g, (c) => {
        const named = { '"': '\\"', '\\': '\\\\', '\n': '\\n', '\r': '\\r', '\t': '\\t' }[c];
        return named || '\\u' + c.charCodeAt(0).toString(16).padStart(4, '0');
      }) + '"';
      const prefix = (node) =>
        node.namespaceURI === 'http://www.w3.org/1998/Math/MathML' ? 'math '
          : node.namespaceURI === 'http://www.w3.org/2000/svg' ? 'svg ' : '';
      const walk = (parent, depth) => {
        for (const child of parent.childNodes) {
          const indent = '| ' + '  '.repeat(depth);
          if (child.nodeType === Node.ELEMENT_NODE) {
            // The parsers lower-case ASCII letters only.
            const name = child.localName.replace(/[A-Z]/g, (c) => c.toLowerCase());
            out.push(indent + '<' + prefix(child) + name + '>');
            walk(child.localName === 'template' && child.content ? child.content : child, depth + 1);
          } else if (child.nodeType === Node.TEXT_NODE || child.nodeType === Node.CDATA_SECTION_NODE) {
            out.push(indent + quoted(child.data));
          }
        }
      };
      walk(document, 0);
      return out;
    });
    console.log('== ' + path.basename(file) + '\n' + lines.join('\n'));
    await page.close();
  }
  await browser.close();
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
