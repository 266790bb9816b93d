// node tools/unifont-blocks.mjs UNIFONT.hex OUTDIR
// Splits GNU Unifont's .hex file into blocks of 128 code points,
// OUTDIR/XXXX.hex named by the first code point of the block, so the page
// fetches only the glyphs a text needs. The lines stay as Unifont wrote them:
// the page's program reads them as the desktop reads the whole file.
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

export const kBlockSize = 128;

export function blockName(code) {
  return (code - (code % kBlockSize)).toString(16).toUpperCase().padStart(4, '0');
}

function main() {
  const [source, outDir] = process.argv.slice(2);
  if (!source || !outDir) {
    console.error('usage: node tools/unifont-blocks.mjs UNIFONT.hex OUTDIR');
    process.exit(1);
  }
  const blocks = new Map();
  for (const line of readFileSync(source, 'latin1').split('\n')) {
    const match = /^([0-9A-Fa-f]{4,6}):[0-9A-Fa-f]+$/.exec(line.trim());
    if (!match) continue;
    const name = blockName(parseInt(match[1], 16));
    if (!blocks.has(name)) blocks.set(name, []);
    blocks.get(name).push(line.trim());
  }
  mkdirSync(outDir, { recursive: true });
  for (const [name, lines] of blocks) writeFileSync(join(outDir, `${name}.hex`), lines.join('\n') + '\n');
  console.log(`${blocks.size} glyph blocks in ${outDir}`);
}

if (import.meta.url === `file://${process.argv[1]}`) main();
