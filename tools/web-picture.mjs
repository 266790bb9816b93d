// Measures how good the page's picture is in its first seconds
// (docs/PERFORMANCE.md):
//   node tools/web-picture.mjs BUILD_WEB XMASTRACE_RENDER RUN_DIR [REFERENCE_SAMPLES]
// under a display (the desktop program needs one; xvfb-run is enough).
// Opens the page in Chromium on ANGLE over EGL (the machine's Mesa: a weak
// GPU), takes window.xmastrace.snapshot() at set moments and prints each
// one's PSNR against a still of REFERENCE_SAMPLES (default 512) samples by
// xmastrace_render at the page's CSS size. The stills take minutes on a
// software renderer and are kept in build/web-picture/ for the next run.
// XMASTRACE_VIEWPORT=768 or =390 measures one viewport only; XMASTRACE_TOUR=1
// measures the tour instead, against the video's frames.
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

// Box-filters each PNG Blob of `pictures` (in the page) to `cssWidth` and
// returns its PSNR against the picture at `url`.
async function psnrsInPage(pictures, cssWidth, url) {
  const pixelsOf = async (blob) => {
    const bitmap = await createImageBitmap(blob, { colorSpaceConversion: 'none' });
    const copy = Object.assign(document.createElement('canvas'), { width: bitmap.width, height: bitmap.height });
    copy.getContext('2d').drawImage(bitmap, 0, 0);
    return { width: bitmap.width, rgba: copy.getContext('2d').getImageData(0, 0, bitmap.width, bitmap.height).data };
  };
  const reference = await pixelsOf(await (await fetch(url)).blob());
  const results = [];
  for (const picture of pictures) {
    const { width, rgba } = await pixelsOf(picture);
    const factor = Math.round(width / cssWidth);
    const height = rgba.length / 4 / width;
    let sum = 0;
    for (let y = 0; y < reference.rgba.length / 4 / cssWidth; ++y) {
      for (let x = 0; x < cssWidth; ++x) {
        for (let c = 0; c < 3; ++c) {
          let box = 0;
          for (let dy = 0; dy < factor; ++dy) {
            for (let dx = 0; dx < factor; ++dx) {
              box += rgba[4 * (Math.min(height - 1, y * factor + dy) * width + x * factor + dx) + c];
            }
          }
          sum += ((box / (factor * factor) - reference.rgba[4 * (y * cssWidth + x) + c]) / 255) ** 2;
        }
      }
    }
    results.push(-10 * Math.log10(sum / (reference.rgba.length / 4 * 3)));
  }
  return results;
}

// Takes a snapshot at each of `moments` milliseconds after the start
// (`ready` or the navigation); then, the moments past, returns each one's
// samples, when it was taken and its PSNR against the still at `url`. All
// in the page: a picture takes seconds to come out of it, which would push
// the later moments back.
function snapshotsAt(page, moments, from, cssWidth, url) {
  return page.evaluate(async ({ moments, from, cssWidth, url, psnrs }) => {
    const start = from === 'ready' ? window.readyAt : 0;
    const shots = [];
    for (const at of moments) {
      await new Promise((done) => setTimeout(done, Math.max(0, start + at - performance.now())));
      const taken = performance.now() - start;
      const snapshot = await window.xmastrace.snapshot();
      shots.push({ taken, read: performance.now() - start, snapshot });
    }
    const measured = await eval(`(${psnrs})`)(shots.map((shot) => shot.snapshot.picture), cssWidth, url);
    return shots.map(({ taken, read, snapshot }, i) => ({ taken, read, samples: snapshot.samples,
                                                          psnr: measured[i] }));
  }, { moments, from, cssWidth, url, psnrs: psnrsInPage.toString() });
}

// The video's frame nearest path time `seconds` at kTourFps, with
// kTourReferenceSamples raw samples, as a PNG (a one-frame piece, decoded).
const kTourFps = 120;
const kTourReferenceSamples = 128;
function tourReference(seconds, { width, height }) {
  const frame = Math.round(seconds * kTourFps);
  const name = join(cache, `tour_${frame}_${width}x${height}_${kTourReferenceSamples}`);
  if (!existsSync(`${name}.png`)) {
    execFileSync(renderProgram, ['--video', `${name}.mp4`, '--fps', String(kTourFps), '--frames', `${frame}-${frame}`,
                                 '--samples', String(kTourReferenceSamples), '--no-denoise',
                                 '--size', `${width}x${height}`],
                 { cwd: runDir, stdio: ['ignore', 'ignore', 'inherit'] });
    execFileSync('ffmpeg', ['-v', 'error', '-i', `${name}.mp4`, '-frames:v', '1', `${name}.png`]);
  }
  return { frame, url: `data:image/png;base64,${readFileSync(`${name}.png`).toString('base64')}` };
}

// Along the tour (XMASTRACE_TOUR=1): a snapshot every `every` ms for
// `count` of them, each against the video's frame at its path time.
async function measureTour(browser, origin, { every = 1000, count = 12 } = {}) {
  const viewport = { width: 768, height: 512 };
  const context = await browser.newContext({ viewport, deviceScaleFactor: 1 });
  await context.addInitScript(noteReady);
  const page = await context.newPage();
  await page.goto(`${origin}/index.html?ui=0&tour${process.env.XMASTRACE_PICTURE_QUERY ?? ''}`);
  await page.waitForFunction(() => window.readyAt !== undefined || xmastrace.failure, null, { timeout: 120000 });
  const shots = await page.evaluate(async ({ every, count }) => {
    window.tourShots = [];
    for (let i = 0; i < count; ++i) {
      await new Promise((done) => setTimeout(done, every));
      window.tourShots.push(await window.xmastrace.snapshot());
    }
    return window.tourShots.map((shot) => ({ tourTime: shot.tourTime, samples: shot.samples }));
  }, { every, count });
  const measured = [];
  for (const [i, shot] of shots.entries()) {
    const { frame, url } = tourReference(shot.tourTime, viewport);
    const [psnr] = await page.evaluate(async ({ i, url, psnrs }) =>
      eval(`(${psnrs})`)([window.tourShots[i].picture], 768, url), { i, url, psnrs: psnrsInPage.toString() });
    measured.push(psnr);
    console.log(`  tour ${shot.tourTime.toFixed(3)} s (frame ${frame} at ${kTourFps} fps): ` +
                `${shot.samples} samples, ${psnr.toFixed(1)} dB`);
  }
  const mean = measured.reduce((a, b) => a + b, 0) / measured.length;
  console.log(`tour at 768x512: lowest ${Math.min(...measured).toFixed(1)} dB, mean ${mean.toFixed(1)} dB ` +
              `against ${kTourReferenceSamples}-sample video frames`);
  await context.close();
}

const { server, origin } = await servePage(buildWeb);
const browser = await launchChromium(['--use-angle=gl-egl', '--ignore-gpu-blocklist']);
const query = process.env.XMASTRACE_PICTURE_QUERY ?? '';
console.log(`Chromium on ANGLE over EGL; against ${referenceSamples}-sample stills${query ? `; ${query}` : ''}`);
if (process.env.XMASTRACE_TOUR) await measureTour(browser, origin);
for (const setting of process.env.XMASTRACE_TOUR ? [] : kViewports) {
  if (process.env.XMASTRACE_VIEWPORT && !setting.name.startsWith(process.env.XMASTRACE_VIEWPORT)) continue;
  const still = referenceStill(setting.viewport);
  const context = await browser.newContext({ viewport: setting.viewport,
                                             deviceScaleFactor: setting.deviceScaleFactor });
  await context.addInitScript(noteReady);
  const page = await context.newPage();
  await page.goto(`${origin}/index.html?ui=0${query}`);
  // A moment counted from the navigation may come before `ready`: the
  // moving picture is what is shown then.
  const started = setting.from === 'ready' ? () => window.readyAt !== undefined || xmastrace.failure
                                           : () => xmastrace.firstShown !== null || xmastrace.failure;
  await page.waitForFunction(started, null, { timeout: 120000 });
  const url = `data:image/png;base64,${readFileSync(still).toString('base64')}`;
  const shots = await snapshotsAt(page, setting.moments, setting.from, setting.viewport.width, url);
  // A picture the GPU has not drawn yet is read only once it has: `read`
  // says when the visitor could see it at the latest.
  const line = shots.map((shot) => `${(shot.taken / 1000).toFixed(2)} s after ${setting.from} ` +
                                   `(read at ${(shot.read / 1000).toFixed(2)} s): ` +
                                   `${shot.samples} samples, ${shot.psnr.toFixed(1)} dB`);
  const [readyAt, frames] = await page.evaluate(() => [window.readyAt, window.frameLog]);
  console.log(`${setting.name} (ready ${(readyAt / 1000).toFixed(2)} s after navigation): ${line.join('; ')}`);
  console.log(`  ${startUp(frames)}`);
  await context.close();
}
await browser.close();
server.close();
