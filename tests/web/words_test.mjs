// The glyph blocks the page fetches for a greeting's words:
// node tests/web/words_test.mjs BUILD_WEB XMASTRACE_RENDER RUN_DIR.
// They hold Unifont's lines as the desktop reads them, each in the block its
// code point names, and a text in any script needs few enough of them.
import assert from 'node:assert/strict';
import { readFileSync, readdirSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { test } from 'node:test';
import { gzipSync } from 'node:zlib';
import { blockName } from '../../tools/unifont-blocks.mjs';

const [buildWeb] = process.argv.slice(2).map((path) => resolve(path));
const glyphDir = join(buildWeb, 'glyphs');
const cache = readFileSync(join(buildWeb, 'CMakeCache.txt'), 'utf8');
const unifontPath = /^XMASTRACE_UNIFONT_HEX:FILEPATH=(.*)$/m.exec(cache)[1];

const kMaxTextDownload = 300 * 1024;

// What the page fetches for a text (page.js's blocksFor).
function blocksFor(text) {
  const composed = text.normalize('NFC');
  const names = new Set();
  for (const c of composed + composed.toUpperCase()) {
    const code = c.codePointAt(0);
    if (code < 0x10000) names.add(blockName(code));
  }
  return [...names];
}

const gzipped = new Map();
function gzipSize(name) {
  if (!gzipped.has(name)) {
    let size = 0;
    try {
      size = gzipSync(readFileSync(join(glyphDir, `${name}.hex`))).length;
    } catch {}  // a block Unifont has no glyph in is never there: the page gets a 404
    gzipped.set(name, size);
  }
  return gzipped.get(name);
}

test('the blocks hold every Unifont line, each in its own block', () => {
  const source = readFileSync(unifontPath, 'latin1').split('\n').filter((l) => l.includes(':'));
  const placed = new Map();
  for (const file of readdirSync(glyphDir)) {
    for (const line of readFileSync(join(glyphDir, file), 'latin1').split('\n')) {
      if (!line) continue;
      const code = parseInt(line.slice(0, line.indexOf(':')), 16);
      assert.equal(`${blockName(code)}.hex`, file, line);
      placed.set(line, (placed.get(line) ?? 0) + 1);
    }
  }
  assert.equal(placed.size, source.length);
  for (const line of source) assert.equal(placed.get(line.trim()), 1, line);
});

test('a text in any script downloads at most 300 kB of glyphs', () => {
  const texts = ['Joyeux No\u00ebl, Zo\u00eb & \u0141ukasz', 'Ch\u00fac m\u1eebng Gi\u00e1ng Sinh',
    '\u0421 \u0420\u043e\u0436\u0434\u0435\u0441\u0442\u0432\u043e\u043c',
    '\u039a\u03b1\u03bb\u03ac \u03a7\u03c1\u03b9\u03c3\u03c4\u03bf\u03cd\u03b3\u03b5\u03bd\u03bd\u03b1',
    '\u30e1\u30ea\u30fc\u30af\u30ea\u30b9\u30de\u30b9', '\uba54\ub9ac \ud06c\ub9ac\uc2a4\ub9c8\uc2a4',
    '\u05d7\u05d2 \u05de\u05d5\u05dc\u05d3 \u05e9\u05de\u05d7', '\u0645\u064a\u0644\u0627\u062f \u0645\u062c\u064a\u062f'];
  for (const text of texts) {
    const bytes = blocksFor(text).reduce((sum, name) => sum + gzipSize(name), 0);
    assert.ok(bytes <= kMaxTextDownload, `${text}: ${bytes} bytes`);
    console.log(`${text}: ${blocksFor(text).length} blocks, ${(bytes / 1024).toFixed(1)} kB gzip`);
  }
  // The worst a text of 48 characters can ask for: ideographs from 48
  // different blocks, the heaviest ones.
  const heaviest = readdirSync(glyphDir).map((file) => gzipSize(file.replace('.hex', '')))
    .sort((a, b) => b - a).slice(0, 48).reduce((sum, size) => sum + size, 0);
  console.log(`the 48 heaviest blocks: ${(heaviest / 1024).toFixed(1)} kB gzip`);
  assert.ok(heaviest <= kMaxTextDownload, `${heaviest} bytes`);
});
