// The page's tour in headless Chromium: node tests/web/tour_test.mjs
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
const open = pageOpener(browser, origin);

const tourTime = (page) => page.evaluate(() => window.xmastrace.tourTime);

test('?tour moves the room by itself until a click hands the camera back', async () => {
  const { page, errors } = await open('?tour&ui=0&samples=4');
  await page.waitForFunction(() => window.xmastrace.tourTime > 0.2, null, { timeout: 60000, polling: 50 });
  const first = await tourTime(page);
  const before = await canvasPixels(page);
  await page.waitForFunction((t) => window.xmastrace.tourTime > t + 0.3, first, { timeout: 60000, polling: 50 });
  const after = await canvasPixels(page);
  let differing = 0;
  for (let i = 0; i < before.length; ++i) differing += before[i] !== after[i];
  assert.ok(differing > before.length / 50, `only ${differing} values changed while touring`);

  await page.mouse.click(100, 100);
  await page.waitForFunction(() => window.xmastrace.tourTime === null, null, { timeout: 60000, polling: 50 });
  // Handed back, the page gathers its samples and rests as without a tour.
  await page.waitForFunction(() => window.xmastrace.samples >= 4, null, { timeout: 120000, polling: 100 });
  assert.equal(await tourTime(page), null);
  assert.deepEqual(errors, []);
});

test('without ?tour there is none', async () => {
  const { page } = await open('?ui=0&samples=1');
  await page.waitForFunction(() => window.xmastrace.samples >= 1, null, { timeout: 120000, polling: 100 });
  assert.equal(await tourTime(page), null);
});
