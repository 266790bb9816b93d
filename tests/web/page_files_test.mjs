// The files the browser build copies beside the page follow their sources:
// node tests/web/page_files_test.mjs BUILD_WEB XMASTRACE_RENDER RUN_DIR.
// A copy older than its source, as after an edit of only that source, is
// brought up to date by the build `make web` runs, with no C++ changed.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, utimesSync, writeFileSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const [buildWeb, , runDir] = process.argv.slice(2).map((path) => resolve(path));
const webDir = fileURLToPath(new URL('../../web/', import.meta.url));

const copies = {
  'page.js': join(webDir, 'page.js'),
  'video.js': join(webDir, 'video.js'),
  'page.css': join(webDir, 'page.css'),
  'mp4-muxer.js': join(webDir, 'node_modules/mp4-muxer/build/mp4-muxer.js'),
  'sound.mp3': join(runDir, 'data/sound.mp3'),
};

test('an edited page script, style or tune reaches build-web on the next build', () => {
  const longAgo = new Date('2000-01-01T00:00:00Z');
  for (const name of Object.keys(copies)) {
    const copy = join(buildWeb, name);
    writeFileSync(copy, 'a copy from before the edit\n');
    utimesSync(copy, longAgo, longAgo);
  }
  execFileSync('cmake', ['--build', buildWeb], {
    stdio: 'ignore',
    env: { ...process.env, NODE_PATH: process.env.NODE_PATH ?? '/usr/share/nodejs' },
  });
  for (const [name, source] of Object.entries(copies)) {
    assert.ok(readFileSync(join(buildWeb, name)).equals(readFileSync(source)), `${name} is stale`);
  }
});
