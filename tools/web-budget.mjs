// Measures the page's frame budget (docs/PERFORMANCE.md):
//   node tools/web-budget.mjs BUILD_WEB [BACKEND [SECONDS]]
// BACKEND: angle-egl (default: Chromium's ANGLE over EGL on the machine's
// Mesa, the weak GPU) or swiftshader. For three viewports and for the
// default budget beside ?budget=0 it prints the first picture's time, the
// intervals between the program's frames at rest and during a drag
// (median / p90 / max; a frame held back while the GPU catches up is no
// frame), how long a drag takes to reach the picture, and full-resolution
// samples per second. XMASTRACE_VIEWPORT=390,768 measures those viewports
// alone; XMASTRACE_DENOISE=0 turns the page's denoiser off first (F2), and
// XMASTRACE_PAGE_QUERY ("&reuse=0") adds to the page's URL. A single drag's
// time varies by a frame or two of the GPU's from run to run:
// XMASTRACE_DRAGS=N drags N times, each from bands at rest, and prints each.
import { resolve } from 'node:path';
import { launchChromium, servePage } from './page-server.mjs';

const buildWeb = resolve(process.argv[2]);
const backend = process.argv[3] ?? 'angle-egl';
const seconds = Number(process.argv[4] ?? 6);
const drags = Math.max(1, Number(process.env.XMASTRACE_DRAGS ?? 1));
// Long enough for the page to draw bands at rest again after a drag.
const kSecondsBetweenDrags = 2;

const { server, origin } = await servePage(buildWeb);

const kBackends = {
  'angle-egl': ['--use-angle=gl-egl', '--ignore-gpu-blocklist'],
  swiftshader: ['--enable-unsafe-swiftshader'],
};
const kViewports = [
  { name: '390x844, ratio 3', viewport: { width: 390, height: 844 }, deviceScaleFactor: 3 },
  { name: '1920x1080, ratio 1', viewport: { width: 1920, height: 1080 }, deviceScaleFactor: 1 },
  { name: '768x512, ratio 1', viewport: { width: 768, height: 512 }, deviceScaleFactor: 1 },
];

// Every frame the program runs reports to Module.onFrame.
function recordFrames() {
  window.frameTimes = [];
  addEventListener('DOMContentLoaded', () => {
    const report = Module.onFrame;
    Module.onFrame = (...args) => {
      window.frameTimes.push(performance.now());
      report(...args);
    };
  });
}

const sorted = (values) => [...values].sort((a, b) => a - b);
function spread(times) {
  const gaps = sorted(times.slice(1).map((t, i) => t - times[i]));
  if (gaps.length === 0) return 'no frames';
  const at = (share) => gaps[Math.min(gaps.length - 1, Math.floor(share * gaps.length))];
  return `${at(0.5).toFixed(0)} / ${at(0.9).toFixed(0)} / ${gaps[gaps.length - 1].toFixed(0)} ms`;
}
const framesSince = (page, from) => page.evaluate((from) => frameTimes.filter((t) => t >= from), from);
const now = (page) => page.evaluate(() => performance.now());

function dragLine(reaches, drawns) {
  const ms = (values) => values.map((value) => value.toFixed(0)).join(', ');
  if (drawns.length === 1) return `a drag shown after ${ms(reaches)} ms (drawn after ${ms(drawns)} ms); `;
  return `${drawns.length} drags shown after at most ${Math.max(...reaches).toFixed(0)} ms, ` +
         `drawn after ${ms(drawns)} ms; `;
}

async function dragOnce(page, width, height) {
  await page.mouse.move(width / 2, height / 2);
  await page.evaluate(() => {
    window.movedAt = undefined;
    if (window.watchingMoves) return;
    window.watchingMoves = true;
    addEventListener('mousemove', () => { window.movedAt ??= performance.now(); });
  });
  await page.mouse.down();
  const shownBefore = await page.evaluate(() => xmastrace.lastShown);
  const dragFrom = await now(page);
  await page.mouse.move(width / 2 + 5, height / 2);
  await page.waitForFunction((before) => xmastrace.lastShown !== before, shownBefore,
                             { timeout: 30000, polling: 'raf' });
  const reach = (await page.evaluate(() => xmastrace.lastShown)) - dragFrom;
  await page.waitForFunction(() => xmastrace.lastShown > window.movedAt, null,
                             { timeout: 30000, polling: 'raf' });
  const drawn = await page.evaluate(() => {
    Module._xmastraceShownPicture(Module.pageState ?? 0);  // reads it back: waits for the GPU
    Module.shownPicture = null;
    return performance.now() - window.movedAt;
  });
  return { reach, drawn };
}

async function measure(browser, setting, budget) {
  const context = await browser.newContext({ viewport: setting.viewport,
                                             deviceScaleFactor: setting.deviceScaleFactor });
  await context.addInitScript(recordFrames);
  const page = await context.newPage();
  await page.goto(`${origin}/index.html?ui=0${budget}${process.env.XMASTRACE_PAGE_QUERY ?? ''}`);
  await page.waitForFunction(() => xmastrace.ready || xmastrace.failure, null, { timeout: 120000 });
  // F2: the plain average, as before the page denoised by default.
  if (process.env.XMASTRACE_DENOISE === '0') await page.evaluate(() => Module._xmastraceTogglePress(Module.pageState, 259));
  const size = await page.evaluate(() => `${xmastrace.width}x${xmastrace.height}`);
  const first = await page.evaluate(() => xmastrace.firstShown);

  // At rest: frames and whole samples over the window.
  const restFrom = await now(page);
  const samplesFrom = await page.evaluate(() => xmastrace.samples);
  await page.waitForTimeout(seconds * 1000);
  const rest = await framesSince(page, restFrom);
  const samples = await page.evaluate(() => xmastrace.samples) - samplesFrom;
  const rate = samples / ((await now(page)) - restFrom) * 1000;

  // Drags: the time until the picture first changes. `reach` counts from
  // the press to the first new picture the page issues (which may be the
  // press's own); `drawn` from the first move's event to the GPU having
  // drawn a picture issued after it, an upper bound of when the visitor
  // sees the move. Each drag after the first starts from bands at rest.
  const { width, height } = setting.viewport;
  const reaches = [], drawns = [];
  for (let drag = 0; drag < drags; ++drag) {
    if (drag > 0) {
      await page.mouse.up();
      await page.waitForTimeout(kSecondsBetweenDrags * 1000);
    }
    const { reach, drawn } = await dragOnce(page, width, height);
    reaches.push(reach);
    drawns.push(drawn);
  }
  const moveFrom = await now(page);
  for (let step = 0; step < 60; ++step) {
    await page.mouse.move(width / 2 + 5 + (step % 20) * 3, height / 2 + (step % 7));
    await page.waitForTimeout(30);
  }
  const drag = await framesSince(page, moveFrom);
  await page.mouse.up();
  await context.close();
  console.log(`${setting.name} (${size}), ${budget || 'default budget'}: first picture ` +
              `${first.toFixed(0)} ms; frames at rest ${spread(rest)}, during a drag ${spread(drag)}; ` +
              dragLine(reaches, drawns) +
              `${rate.toFixed(2)} samples/s`);
}

const browser = await launchChromium(kBackends[backend]);
console.log(`backend ${backend}, ${seconds} s at rest each`);
const only = process.env.XMASTRACE_VIEWPORT;
for (const setting of kViewports) {
  if (only && !only.split(',').some((name) => setting.name.startsWith(name))) continue;
  for (const budget of ['', '&budget=0']) await measure(browser, setting, budget);
}
await browser.close();
server.close();
