// Measures how good the page's picture is in its first seconds
// (docs/PERFORMANCE.md):
//   node tools/web-picture.mjs BUILD_WEB XMASTRACE_RENDER RUN_DIR [REFERENCE_SAMPLES]
// under a display (the desktop program needs one; xvfb-run is enough).
// Opens the page in Chromium on ANGLE over EGL (the machine's Mesa: a weak
// GPU), takes window.xmastrace.snapshot() at set moments and prints each
// one's PSNR against a still of REFERENCE_SAMPLES (default 512) samples by
// xmastrace_render at the page's CSS size. The stills take minutes on a
// software renderer and are kept in build/web-picture/ for the next run.
// XMASTRACE_VIEWPORT=768 or =390 measures one viewport only.
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, readFileSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { launchChromium, servePage } from './page-server.mjs';

const [buildWeb, renderProgram, runDir] = process.argv.slice(2, 5).map((p) => resolve(p));
const referenceSamples = Number(process.argv[5] ?? 512);
const cache = resolve(new URL('../build/web-picture', import.meta.url).pathname);
mkdirSync(cache, { recursive: true });

// `from`: the moments are counted from `ready` (the first full picture) or
// from the navigation.
const kViewports = [
  { name: '768x512', viewport: { width: 768, height: 512 }, deviceScaleFactor: 1,
    from: 'ready', moments: [1000, 4000] },
  { name: '390x844, ratio 3', viewport: { width: 390, height: 844 }, deviceScaleFactor: 3,
    from: 'navigation', moments: [2500, 6000] },
];

function referenceStill({ width, height }) {
  const file = join(cache, `still_${width}x${height}_${referenceSamples}.png`);
  if (!existsSync(file)) {
    console.log(`rendering the ${referenceSamples}-sample still at ${width}x${height} (minutes)`);
    execFileSync(renderProgram, ['--samples', String(referenceSamples), '--size', `${width}x${height}`,
                                 '--out', file], { cwd: runDir, stdio: ['ignore', 'ignore', 'inherit'] });
  }
  return file;
}

// `ready`'s moment, in the page's own clock, and every frame the program
// runs, with the samples it reports: where the start-up's time goes.
function noteReady() {
  addEventListener('xmastrace-ready', () => { window.readyAt = performance.now(); }, { once: true });
  window.frameLog = [];
  addEventListener('DOMContentLoaded', () => {
    const report = Module.onFrame;
    Module.onFrame = (samples, ...rest) => {
      window.frameLog.push([performance.now(), samples]);
      report(samples, ...rest);
    };
  });
}

// The first picture, the first sample, and the longest frame interval
// before the first sample, from the frames' times.
function startUp(frames) {
  const first = frames[0]?.[0] ?? NaN;
  const sampled = frames.find(([, samples]) => samples > 0)?.[0] ?? NaN;
  let longest = 0;
  let at = 0;
  for (let i = 1; i < frames.length && frames[i][0] <= sampled; ++i) {
    const gap = frames[i][0] - frames[i - 1][0];
    if (gap > longest) [longest, at] = [gap, frames[i][0]];
  }
  return `first frame ${first.toFixed(0)} ms, first sample shown ${sampled.toFixed(0)} ms, ` +
         `longest frame before it ${longest.toFixed(0)} ms (ending ${at.toFixed(0)} ms)`;
}

// Waits until `at` milliseconds after the start (`ready` or the navigation)
// and takes a snapshot there; its pixels come back box-filtered to the CSS
// size, as RGBA.
function snapshotAt(page, at, from, cssWidth) {
  return page.evaluate(async ({ at, from, cssWidth }) => {
    const start = from === 'ready' ? window.readyAt : 0;
    const wait = start + at - performance.now();
    await new Promise((done) => setTimeout(done, Math.max(0, wait)));
    const taken = performance.now() - start;
    const { picture, samples } = await window.xmastrace.snapshot();
    const bitmap = await createImageBitmap(picture, { colorSpaceConversion: 'none' });
    const copy = Object.assign(document.createElement('canvas'), { width: bitmap.width, height: bitmap.height });
    copy.getContext('2d').drawImage(bitmap, 0, 0);
    const rgba = copy.getContext('2d').getImageData(0, 0, copy.width, copy.height).data;
    const factor = Math.round(bitmap.width / cssWidth);
    const width = Math.floor(bitmap.width / factor);
    const height = Math.floor(bitmap.height / factor);
    const pixels = new Array(width * height * 4).fill(0);
    for (let y = 0; y < height * factor; ++y) {
      for (let x = 0; x < width * factor; ++x) {
        const from = 4 * (y * bitmap.width + x);
        const to = 4 * (Math.floor(y / factor) * width + Math.floor(x / factor));
        for (let c = 0; c < 3; ++c) pixels[to + c] += rgba[from + c] / (factor * factor);
      }
    }
    return { pixels, width, height, samples, taken };
  }, { at, from, cssWidth });
}

function pngPixels(page, file) {
  const url = `data:image/png;base64,${readFileSync(file).toString('base64')}`;
  return page.evaluate(async (url) => {
    const image = new Image();
    image.src = url;
    await image.decode();
    const copy = Object.assign(document.createElement('canvas'), { width: image.width, height: image.height });
    copy.getContext('2d').drawImage(image, 0, 0);
    return Array.from(copy.getContext('2d').getImageData(0, 0, copy.width, copy.height).data);
  }, url);
}

function psnr(a, b) {
  let sum = 0;
  let count = 0;
  for (let i = 0; i < a.length; i += 4) {
    for (let c = 0; c < 3; ++c, ++count) sum += ((a[i + c] - b[i + c]) / 255) ** 2;
  }
  return -10 * Math.log10(sum / count);
}

const { server, origin } = await servePage(buildWeb);
const browser = await launchChromium(['--use-angle=gl-egl', '--ignore-gpu-blocklist']);
const query = process.env.XMASTRACE_PICTURE_QUERY ?? '';
console.log(`Chromium on ANGLE over EGL; against ${referenceSamples}-sample stills${query ? `; ${query}` : ''}`);
for (const setting of kViewports) {
  if (process.env.XMASTRACE_VIEWPORT && !setting.name.startsWith(process.env.XMASTRACE_VIEWPORT)) continue;
  const still = referenceStill(setting.viewport);
  const context = await browser.newContext({ viewport: setting.viewport,
                                             deviceScaleFactor: setting.deviceScaleFactor });
  await context.addInitScript(noteReady);
  const page = await context.newPage();
  await page.goto(`${origin}/index.html?ui=0${query}`);
  await page.waitForFunction(() => window.readyAt !== undefined || xmastrace.failure, null,
                             { timeout: 120000 });
  const reference = await pngPixels(page, still);
  const line = [];
  for (const at of setting.moments) {
    const shot = await snapshotAt(page, at, setting.from, setting.viewport.width);
    line.push(`${(shot.taken / 1000).toFixed(2)} s after ${setting.from}: ${shot.samples} samples, ` +
              `${psnr(shot.pixels, reference).toFixed(1)} dB`);
  }
  const [readyAt, frames] = await page.evaluate(() => [window.readyAt, window.frameLog]);
  console.log(`${setting.name} (ready ${(readyAt / 1000).toFixed(2)} s after navigation): ${line.join('; ')}`);
  console.log(`  ${startUp(frames)}`);
  await context.close();
}
await browser.close();
server.close();
