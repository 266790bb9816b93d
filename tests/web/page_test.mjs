// The browser build in headless Chromium: node tests/web/page_test.mjs
// BUILD_WEB XMASTRACE_RENDER RUN_DIR. Needs a display only for the desktop
// reference pictures (greetings by `make greeting`'s script and the roomgen
// beside XMASTRACE_RENDER); Chromium renders WebGL 2 on its software rasteriser.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, mkdtempSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { test, after } from 'node:test';
import { fileURLToPath } from 'node:url';
import { canvasPixels, pageOpener } from '../../tools/page-helpers.mjs';
import { launchChromium, servePage } from '../../tools/page-server.mjs';

const [buildWeb, renderProgram, runDir] = process.argv.slice(2).map((path) => resolve(path));
const roomgen = join(dirname(renderProgram), 'tools/roomgen/roomgen');
const makeGreeting = fileURLToPath(new URL('../../tools/roomgen/make-greeting.sh', import.meta.url));

const { server, origin } = await servePage(buildWeb);

async function launch(extraArgs = []) {
  return launchChromium(['--enable-unsafe-swiftshader', ...extraArgs]);
}
const browser = await launch();
after(async () => {
  await browser.close();
  server.close();
});

// Opens the page, collecting every console error and uncaught exception. The
// page before is closed first: one left drawing would share Chromium's GPU
// process, the software rasteriser, with every later test.
const openPage = pageOpener(browser, origin);
const open = (query, contextOptions = { viewport: { width: 384, height: 256 } }, prepare = null) =>
  openPage(query, { contextOptions, prepare });

// RGBA bytes of a PNG (a file, or its bytes), decoded by the page.
function pngPixels(page, file) {
  const bytes = Buffer.isBuffer(file) ? file : readFileSync(file);
  const url = `data:image/png;base64,${bytes.toString('base64')}`;
  return page.evaluate(async (url) => {
    const image = new Image();
    image.src = url;
    await image.decode();
    const copy = Object.assign(document.createElement('canvas'),
                               { width: image.width, height: image.height });
    const context = copy.getContext('2d');
    context.drawImage(image, 0, 0);
    return Array.from(context.getImageData(0, 0, copy.width, copy.height).data);
  }, url);
}

// The letters' mesh the page built for a link's words (in its own file
// system) must be the one `make greeting` wrote into `dir`, byte for byte.
async function expectSameLetters(page, dir, text) {
  const pageObj = await page.evaluate(() => new TextDecoder().decode(FS.readFile('/data/xmas/qm.obj')));
  const desktopObj = readFileSync(join(dir, 'data/xmas/qm.obj'), 'utf8');
  assert.ok(pageObj === desktopObj, `${text}: the page's qm.obj (${pageObj.length} bytes) is not ` +
            `make greeting's (${desktopObj.length} bytes)`);
}

// Share of pixels whose RGB channels all lie within `tolerance`.
function matchingShare(a, b, tolerance) {
  assert.equal(a.length, b.length);
  let matching = 0;
  for (let i = 0; i < a.length; i += 4) {
    if ([0, 1, 2].every((c) => Math.abs(a[i + c] - b[i + c]) <= tolerance)) ++matching;
  }
  return matching / (a.length / 4);
}

test('the first picture appears with no console error and shows the room; the tune waits for a touch', async () => {
  const { page, errors, firstPicture } = await open('?samples=2');
  console.log(`first picture after ${firstPicture} ms`);
  assert.equal(await page.evaluate(() => window.xmastrace.failure), null);
  const pixels = await canvasPixels(page);
  let lit = 0;
  for (let i = 0; i < pixels.length; i += 4) lit += pixels[i] + pixels[i + 1] + pixels[i + 2] > 60;
  assert.ok(lit > pixels.length / 8, `only ${lit} lit pixels`);

  // The tune's player is made before the first touch, which only starts it.
  await page.waitForTimeout(1000);
  assert.equal(await page.evaluate(() => window.xmastrace.playing), false, 'the tune played untouched');
  await page.mouse.click(100, 100);
  await page.waitForFunction(() => window.xmastrace.playing, null, { timeout: 20000 });
  assert.deepEqual(errors, []);
});

// A desktop primary view in a working directory, at the canvas's size, once each.
const references = new Map();
function desktopView(dir, view, size) {
  const key = `${dir} ${view} ${size}`;
  if (!references.has(key)) {
    const file = join(mkdtempSync(join(tmpdir(), 'xmastrace-web-')), `${view}.png`);
    execFileSync(renderProgram, ['--view', view, '--size', size, '--out', file],
                 { cwd: dir, stdio: 'ignore' });
    references.set(key, file);
  }
  return references.get(key);
}

async function desktopShare(page, dir, view = 'color') {
  const size = await page.evaluate(() => `${xmastrace.width}x${xmastrace.height}`);
  const desktop = await pngPixels(page, desktopView(dir, view, size));
  return matchingShare(await canvasPixels(page), desktop, 2);
}

async function expectDesktopPicture(page, dir, what, view = 'color') {
  const share = await desktopShare(page, dir, view);
  console.log(`same picture (${what}): ${(share * 100).toFixed(2)} % of pixels within 2/255`);
  assert.ok(share >= 0.99, `${what}: only ${share} of the pixels match`);
}

test('?view=color matches the desktop primary view', async () => {
  const { page } = await open('?view=color&ui=0');
  await expectDesktopPicture(page, runDir, 'the room');
});

test('a link\'s words are the letters `make greeting` writes for them', async () => {
  for (const text of ['HELLO', 'From|Anna \u2665', 'Joyeux Noe\u0308l,|Zo\u00eb & Fran\u00e7oise',
                      '\u0421 \u0420\u043e\u0436\u0434\u0435\u0441\u0442\u0432\u043e\u043c|\u5723\u8bde\u5feb\u4e50 \ud83c\udf84',
                      '\u05e9\u05dc\u05d5\u05dd (2027)!|Hi, \u05e9\u05dc\u05d5\u05dd']) {
    const dir = join(mkdtempSync(join(tmpdir(), 'xmastrace-web-')), 'greeting');
    execFileSync(makeGreeting, [roomgen, runDir, text, dir], { stdio: 'ignore' });
    const { page, errors } = await open(`?text=${encodeURIComponent(text)}&view=color&ui=0`);
    assert.deepEqual(errors, []);
    await expectSameLetters(page, dir, text);
    await expectDesktopPicture(page, dir, text);
    // The letters cover about 1.5 % of the picture: enough to tell them apart.
    assert.ok(await desktopShare(page, runDir) < 0.99, `${text}: the room still says QM`);
  }
});

test('a link in every script gives the letters\' file `make greeting` writes, byte for byte', async () => {
  for (const text of ['\u039a\u03b1\u03bb\u03ac \u03a7\u03c1\u03b9\u03c3\u03c4\u03bf\u03cd\u03b3\u03b5\u03bd\u03bd\u03b1',
                      '\u30e1\u30ea\u30fc\u30af\u30ea\u30b9\u30de\u30b9|\uba54\ub9ac \ud06c\ub9ac\uc2a4\ub9c8\uc2a4',
                      'Ch\u00fac m\u1eebng|Gi\u00e1ng Sinh \u2b50\ufe0f', 'Cha\u0300o Zoe\u0308!',
                      '\u05d7\u05d2 \u05de\u05d5\u05dc\u05d3 \u05e9\u05de\u05d7|Merry Christmas,|\u05e9\u05dc\u05d5\u05dd (Anna & Tom)!']) {
    const dir = join(mkdtempSync(join(tmpdir(), 'xmastrace-web-')), 'greeting');
    execFileSync(makeGreeting, [roomgen, runDir, text, dir], { stdio: 'ignore' });
    const { page, errors } = await open(`?text=${encodeURIComponent(text)}&view=color&ui=0`);
    assert.deepEqual(errors, []);
    await expectSameLetters(page, dir, text);
  }
});

test('refused words stay text and leave the room as it is', async () => {
  const { page } = await open('?text=<b>x</b>%EE%80%80&view=color');
  await page.click('#own');
  assert.equal(await page.inputValue('#words'), '<b>x</b>\ue000');
  assert.equal(await page.$('b'), null);
  assert.match(await page.textContent('#notice'), /U\+E000 cannot be written on the wall/);
  assert.ok(await page.isVisible('#notice'));
  // Words the wall refuses get no link to send, by Enter or by hand.
  assert.equal(await page.inputValue('#link'), '');
  assert.ok(await page.isDisabled('#copy') && await page.isDisabled('#show'));
  await expectDesktopPicture(page, runDir, 'refused words');
});

test('the panel checks words as they are typed and shows its link', async () => {
  const { page } = await open('?samples=1');
  await page.click('#own');
  // Typed keys, W S A D among them, reach the field rather than the camera.
  await page.keyboard.type('I'.repeat(49));
  assert.match(await page.textContent('#check'), /49 characters; at most 48/);
  assert.equal(await page.inputValue('#link'), '');
  // A refused character that would reverse, hide or reshape the message is
  // named by its code point alone; one that reads on its own is isolated.
  await page.fill('#words', '\u202eHI');
  assert.match(await page.textContent('#check'), /^U\+202E cannot be written/);
  await page.fill('#words', '\u0301E');
  assert.match(await page.textContent('#check'), /^U\+0301 cannot be written/);
  await page.fill('#words', 'A\u0627');
  assert.equal(await page.textContent('#check bdi'), '\u0627');
  await page.fill('#words', '');
  await page.keyboard.type('From|Anna \u2665');
  assert.equal(await page.textContent('#check'), '');
  assert.match(await page.inputValue('#link'), /\/index\.html\?text=From%7CAnna%20%E2%99%A5$/);
  await page.click('#show');
  await page.waitForURL(/text=/);
  await page.waitForFunction(() => window.xmastrace.ready);
  assert.equal(await page.inputValue('#words'), 'From|Anna \u2665');
});

test('a drag restarts the sampling and a resize re-sizes the picture', async () => {
  const { page } = await open('?samples=1000&ui=0', { viewport: { width: 120, height: 80 },
                                                 deviceScaleFactor: 2 });
  assert.deepEqual(await page.evaluate(() => [xmastrace.width, xmastrace.height]), [240, 160]);
  await page.waitForFunction(() => window.xmastrace.samples >= 4);
  const before = await canvasPixels(page);
  // Each step a frame of its own: the camera turns while the button is down.
  const nextFrame = () => page.evaluate(() => new Promise((done) => requestAnimationFrame(done)));
  await page.mouse.move(60, 40);
  await page.mouse.down();
  for (const x of [70, 80, 90, 100]) {
    await nextFrame();
    await page.mouse.move(x, 50);
  }
  await nextFrame();
  // Still held: the moving picture is path-traced light, about as bright as
  // the resting one, never the flat primary view (over twice as bright: its
  // walls are an unlit grey).
  const brightness = (pixels) => pixels.reduce((sum, value, i) => (i % 4 === 3 ? sum : sum + value), 0);
  const moving = brightness(await canvasPixels(page)) / brightness(before);
  console.log(`while dragging: ${moving.toFixed(2)} of the resting picture's light`);
  assert.ok(moving > 0.7 && moving < 1.4, `the moving picture has ${moving} of the resting one's light`);
  await page.mouse.up();
  const samples = await page.evaluate(() => xmastrace.samples);
  assert.ok(samples < 4, `${samples} samples after the drag`);
  const share = matchingShare(before, await canvasPixels(page), 8);
  assert.ok(share < 0.7, `the view did not change (${share} alike)`);

  await page.setViewportSize({ width: 100, height: 60 });
  await page.waitForFunction(() => xmastrace.width === 200 && xmastrace.height === 120);
});

// The canvas keeps no drawing buffer: the browser empties it once shown. A
// frame that draws only a band must leave the picture on screen, and
// snapshot() and "save" must give that picture, read from the page's own
// copy.
test('snapshot() and save give the picture on screen, which frames of bands leave in place', async () => {
  const { page, errors } = await open('?samples=5&budget=5&ui=0');
  // Compared in the page: whole pictures take seconds to come out of it.
  // Against snapshot() taken now: whether it equals the one taken before,
  // and the share of a PNG's pixels (by its URL) within 2 of it, and lit.
  const inPage = async () => {
    window.pixelsIn = async (blob) => {
      const bitmap = await createImageBitmap(blob, { colorSpaceConversion: 'none' });
      const copy = Object.assign(document.createElement('canvas'), { width: bitmap.width, height: bitmap.height });
      copy.getContext('2d').drawImage(bitmap, 0, 0);
      return copy.getContext('2d').getImageData(0, 0, copy.width, copy.height).data;
    };
    window.compareWith = async (url) => {
      const now = await pixelsIn((await xmastrace.snapshot()).picture);
      const other = await pixelsIn(await (await fetch(url)).blob());
      let [same, alike, lit] = [now.length === window.before?.length, 0, 0];
      for (let i = 0; i < now.length; i += 4) {
        same &&= [0, 1, 2].every((c) => now[i + c] === window.before[i + c]);
        alike += [0, 1, 2].every((c) => Math.abs(now[i + c] - other[i + c]) <= 2);
        lit += other[i] + other[i + 1] + other[i + 2] > 60;
      }
      window.before = now;
      return { same, alike: alike / (now.length / 4), lit: lit / (now.length / 4) };
    };
  };
  const compare = (target, png) =>
    target.evaluate((url) => compareWith(url), `data:image/png;base64,${png.toString('base64')}`);
  await page.evaluate(inPage);

  // Between two pictures, frames draw bands only: while the picture stays
  // the same around a screenshot, the screen must show it.
  let steady = 0;
  while ((await page.evaluate(() => xmastrace.samples)) < 5) {
    await page.evaluate(async () => { window.before = await pixelsIn((await xmastrace.snapshot()).picture); });
    const seen = await compare(page, await page.locator('#canvas').screenshot());
    assert.ok(seen.lit > 0.125, `the screen went dark (${seen.lit} lit)`);
    if (!seen.same) continue;
    ++steady;
    assert.ok(seen.alike >= 0.99, `the screen is not the snapshot (${seen.alike} alike)`);
  }
  assert.ok(steady > 0, 'the picture never stayed the same across a screenshot');

  const { png, samples, tourTime } = await page.evaluate(async () => {
    const { picture, samples, tourTime } = await xmastrace.snapshot();
    // In slices: a grainy picture's PNG has more bytes than a call takes
    // arguments.
    const bytes = new Uint8Array(await picture.arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return { png: btoa(text), samples, tourTime };
  });
  assert.deepEqual([samples, tourTime], [5, null]);
  const picture = Buffer.from(png, 'base64');
  assert.deepEqual([picture.readUInt32BE(16), picture.readUInt32BE(20)], [384, 256]);
  const resting = await compare(page, await page.locator('#canvas').screenshot());
  assert.ok(resting.alike >= 0.99, `the resting screen is not the snapshot (${resting.alike} alike)`);
  assert.deepEqual(errors, []);

  // "save" writes the same picture.
  const withBar = (await open('?samples=2')).page;
  await withBar.waitForFunction(() => xmastrace.samples === 2);
  await withBar.evaluate(inPage);
  const [download] = await Promise.all([withBar.waitForEvent('download'), withBar.click('#save')]);
  const saved = await compare(withBar, readFileSync(await download.path()));
  assert.equal(saved.alike, 1);
  assert.ok(saved.lit > 0.125, `the saved picture is dark (${saved.lit} lit)`);
});

// Under the frame budget the first picture is a lit one at a lower
// resolution, in the lower-left part of the targets; the samples after it
// must reach the whole canvas. Each quarter is lit as without the budget.
test('a picture after a smaller moving one is lit alike in every quarter', async () => {
  const quarterLight = async (query) => {
    const { page, errors } = await open(query);
    await page.waitForFunction(() => xmastrace.samples === 4, null, { timeout: 60000 });
    assert.deepEqual(errors, []);
    const [width, height] = await page.evaluate(() => [xmastrace.width, xmastrace.height]);
    const pixels = await canvasPixels(page);
    const light = [0, 0, 0, 0];
    for (let i = 0; i < pixels.length; i += 4) {
      const x = (i / 4) % width;
      const y = Math.floor(i / 4 / width);
      light[(x < width / 2 ? 0 : 1) + (y < height / 2 ? 0 : 2)] += pixels[i] + pixels[i + 1] + pixels[i + 2];
    }
    return light;
  };
  const budgeted = await quarterLight('?samples=4&ui=0');
  const plain = await quarterLight('?samples=4&budget=0&ui=0');
  for (let quarter = 0; quarter < 4; ++quarter) {
    const ratio = budgeted[quarter] / plain[quarter];
    assert.ok(ratio > 0.85 && ratio < 1.15, `quarter ${quarter}: ${ratio} of the light without a budget`);
  }
});

test('show and copy wait until the words are checked', async () => {
  let release;
  const loaded = new Promise((done) => { release = done; });
  const { page } = await open('?samples=1', undefined, (page) =>
    page.route('**/index.data', async (route) => { await loaded; await route.continue(); }));
  await page.click('#own');
  await page.keyboard.type('hello<>\ue000');
  assert.ok(await page.isDisabled('#copy') && await page.isDisabled('#show'));
  assert.equal(await page.inputValue('#link'), '');
  release();
  await page.waitForFunction(() => window.xmastrace.ready);
  assert.match(await page.textContent('#check'), /U\+E000 cannot be written/);
  assert.ok(await page.isDisabled('#copy'));
  await page.fill('#words', 'hello');
  assert.ok(await page.isEnabled('#copy'));
});

test('URL options are used whole or named as ignored, without blocking the picture', async () => {
  const small = { viewport: { width: 96, height: 64 } };
  const { page } = await open('?samples=1.9&view=COLOR&fast=maybe&ui=no', small);
  // Neither one sample (parseInt's reading) nor a primary view.
  await page.waitForFunction(() => window.xmastrace.samples >= 3);
  assert.ok(await page.isVisible('#bar'));
  const note = await page.textContent('#note');
  for (const name of ['samples', 'view', 'fast', 'ui']) {
    assert.match(note, new RegExp(`\\?${name} is ignored`));
  }
  const underNote = await page.evaluate(() => {
    const box = document.getElementById('note').getBoundingClientRect();
    return document.elementFromPoint(box.right - 2, box.top + 2).id;
  });
  assert.equal(underNote, 'canvas');

  // ui is read by fast's words.
  const { page: fine } = await open('?samples=2&fast=false&ui=false', small);
  assert.ok(await fine.isHidden('#note'));
  assert.ok(await fine.isHidden('#bar'));
});

// The program takes at most one wheel notch a frame: each step gets a frame
// of its own.
const nextFrame = (page) => page.evaluate(() => new Promise((done) => requestAnimationFrame(done)));

test('the primary views, a pinch and a new pixel ratio', async () => {
  const small = { viewport: { width: 96, height: 64 }, hasTouch: true };
  const position = await open('?view=position&ui=0', small);
  await expectDesktopPicture(position.page, runDir, 'position', 'position');
  const { page } = await open('?view=normal&ui=0', small);
  await expectDesktopPicture(page, runDir, 'normal', 'normal');

  // Spreading two fingers by a wheel notch's worth moves closer: after a
  // notch of the wheel away, the picture comes back rather than moving on.
  // (Alike, not equal: each drawing of a primary view has its own jitter.)
  const start = await canvasPixels(page);
  await page.mouse.move(48, 32);
  await page.mouse.wheel(0, 100);
  await nextFrame(page);
  await nextFrame(page);
  const away = await canvasPixels(page);
  const cdp = await page.context().newCDPSession(page);
  const touch = async (type, points) => {
    await cdp.send('Input.dispatchTouchEvent',
                   { type, touchPoints: points.map(([x, y], id) => ({ x, y, id })) });
    await nextFrame(page);
  };
  await touch('touchStart', [[44, 32], [52, 32]]);
  await touch('touchMove', [[30, 32], [66, 32]]);
  await touch('touchMove', [[18, 32], [78, 32]]);
  await touch('touchEnd', []);
  await nextFrame(page);
  const pinched = await canvasPixels(page);
  const [likeStart, likeAway] = [matchingShare(start, pinched, 2), matchingShare(away, pinched, 2)];
  console.log(`after the pinch: ${likeStart} like the start, ${likeAway} like a notch away`);
  assert.ok(likeStart > likeAway + 0.02, 'the pinch did not bring the camera closer');

  // A move to a screen with twice the pixel density: same CSS size, twice
  // the pixels.
  await cdp.send('Emulation.setDeviceMetricsOverride',
                 { width: 96, height: 64, deviceScaleFactor: 2, mobile: false });
  await page.waitForFunction(() => xmastrace.width === 192 && xmastrace.height === 128,
                             null, { timeout: 10000 });
});

test('without WebGL the page says what is missing', async () => {
  const noWebgl = await launch(['--disable-webgl']);
  try {
    const page = await noWebgl.newPage();
    await page.goto(`${origin}/index.html`);
    await page.waitForFunction(() => window.xmastrace.failure);
    assert.match(await page.textContent('#message'), /WebGL 2/);
    assert.ok(await page.isVisible('#message'));
  } finally {
    await noWebgl.close();
  }
});
