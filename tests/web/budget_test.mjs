// The page's frame budget in headless Chromium: node tests/web/budget_test.mjs
// BUILD_WEB XMASTRACE_RENDER RUN_DIR (the last two are unused here).
import assert from 'node:assert/strict';
import { resolve } from 'node:path';
import { test, after } from 'node:test';
import { canvasPixels, pageOpener } from '../../tools/page-helpers.mjs';
import { launchChromium, servePage } from '../../tools/page-server.mjs';

const [buildWeb] = process.argv.slice(2).map((path) => resolve(path));

const { server, origin } = await servePage(buildWeb);

const browser = await launchChromium(['--enable-unsafe-swiftshader']);
after(async () => {
  await browser.close();
  server.close();
});

// Counts what the page asks of WebGL: every draw and clear, and the
// scissored bands.
function countGlCalls() {
  window.glCalls = { draws: 0, scissors: 0 };
  const proto = WebGL2RenderingContext.prototype;
  for (const name of ['drawArrays', 'drawElements', 'clear']) {
    const original = proto[name];
    proto[name] = function (...args) {
      ++window.glCalls.draws;
      return original.apply(this, args);
    };
  }
  const scissor = proto.scissor;
  proto.scissor = function (...args) {
    ++window.glCalls.scissors;
    return scissor.apply(this, args);
  };
}

// Opens the page, collecting console errors; the page before is closed, as
// it would otherwise share the software rasteriser.
const openPage = pageOpener(browser, origin);
const open = (query) => openPage(query, { initScript: countGlCalls });

const samplesReach = (page, n) =>
  page.waitForFunction((n) => window.xmastrace.samples >= n, n, { timeout: 120000, polling: 100 });
const glCalls = (page) => page.evaluate(() => ({ ...window.glCalls }));
// WebGL calls over `ms` of a page left alone.
async function drawsDuring(page, ms) {
  const before = await glCalls(page);
  await page.waitForTimeout(ms);
  return (await glCalls(page)).draws - before.draws;
}

// Carried samples are off: the moving picture that starts a banded page
// feeds its history, and a whole pass has none.
test('a sample drawn in bands equals one drawn whole', async () => {
  const pictures = [];
  for (const budget of ['', '&budget=0']) {
    const { page, errors } = await open(`?samples=16&ui=0&reuse=0${budget}`);
    await samplesReach(page, 16);
    const calls = await glCalls(page);
    console.log(`budget ${budget || 'default'}: ${calls.draws} draws, ${calls.scissors} bands`);
    if (budget) assert.equal(calls.scissors, 0);
    else assert.ok(calls.scissors > 2 * 16, `only ${calls.scissors} bands for 16 samples`);
    assert.deepEqual(errors, []);
    pictures.push(await canvasPixels(page));
  }
  assert.equal(pictures[0].length, 384 * 256 * 4);
  let differing = 0;
  for (let i = 0; i < pictures[0].length; ++i) differing += pictures[0][i] !== pictures[1][i];
  assert.equal(differing, 0, `${differing} values differ`);
});

test('a finished or hidden page draws nothing until input or its return wakes it', async () => {
  const { page } = await open('?samples=2&ui=0');
  await samplesReach(page, 2);
  assert.equal(await drawsDuring(page, 1000), 0);
  // A wheel notch moves the camera: the page samples again, then rests.
  await page.mouse.move(100, 100);
  await page.mouse.wheel(0, -100);
  await page.waitForFunction(() => window.xmastrace.samples < 2);
  await samplesReach(page, 2);
  assert.equal(await drawsDuring(page, 1000), 0);

  // A page still sampling stops while hidden and goes on when shown again.
  await page.mouse.wheel(0, 100);
  await page.waitForFunction(() => window.xmastrace.samples < 2);
  const setHidden = (hidden) => page.evaluate((hidden) => {
    Object.defineProperty(document, 'hidden', { configurable: true, get: () => hidden });
    Object.defineProperty(document, 'visibilityState', { configurable: true,
                                                        get: () => (hidden ? 'hidden' : 'visible') });
    document.dispatchEvent(new Event('visibilitychange'));
  }, hidden);
  await setHidden(true);
  await page.waitForTimeout(200);
  const samples = await page.evaluate(() => window.xmastrace.samples);
  assert.equal(await drawsDuring(page, 1000), 0);
  assert.equal(await page.evaluate(() => window.xmastrace.samples), samples);
  await setHidden(false);
  await samplesReach(page, 2);
});
