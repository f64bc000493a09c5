#!/usr/bin/env node
// tabletojson comparison run for Tabrivo's benchmarks.
//
// For each HTML file (given as arguments, or listed one a line in the file
// given with --files-from LIST), reads it as UTF-8 text, calls tabletojson's
// convert() on the string and writes JSON.stringify of the result into OUTDIR
// (-o, default: a fresh temporary folder).  Needs `npm ci` in bench/node first.
//
// Prints: files=N bytes=N seconds=S failed=N (seconds: wall clock of the loop,
// without node start-up, which hyperfine measures anyway).
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const {tabletojson} = require(path.join(__dirname, 'node', 'node_modules', 'tabletojson'));

function main(argv) {
    const paths = [];
    let outDir = null;
    for (let i = 0; i < argv.length; ++i) {
        if (argv[i] === '--files-from') {
            const listing = fs.readFileSync(argv[++i], 'utf-8');
            for (const line of listing.split(/\r?\n/)) if (line.trim()) paths.push(line);
        } else if (argv[i] === '-o') {
            outDir = argv[++i];
        } else {
            paths.push(argv[i]);
        }
    }
    if (outDir === null) outDir = fs.mkdtempSync(path.join(os.tmpdir(), 'tabletojson-bench-'));
    fs.mkdirSync(outDir, {recursive: true});

    let bytes = 0;
    let failed = 0;
    const start = process.hrtime.bigint();
    paths.forEach((file, index) => {
        const raw = fs.readFileSync(file);
        bytes += raw.length;
        try {
            const tables = tabletojson.convert(raw.toString('utf-8'));
            const name = `${String(index).padStart(5, '0')}-${path.basename(file)}.json`;
            fs.writeFileSync(path.join(outDir, name), JSON.stringify(tables));
        } catch (error) {
            ++failed;
            process.stderr.write(`tabletojson_bench: ${file}: ${error}\n`);
        }
    });
    const seconds = Number(process.hrtime.bigint() - start) / 1e9;
    process.stdout.write(`files=${paths.length} bytes=${bytes} seconds=${seconds.toFixed(6)} failed=${failed}\n`);
}

main(process.argv.slice(2));
