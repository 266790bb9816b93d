// Measures the browser build's figures (docs/PERFORMANCE.md):
//   node tools/web-figures.mjs BUILD_WEB XMASTRACE_RENDER RUN_DIR [REFERENCE_SAMPLES]
// under a display (the desktop program needs one; xvfb-run is enough).
// Prints the page's compressed size, the time to the first picture, a path
// sample's time in Chromium (SwiftShader, and ANGLE over EGL on the
// machine's Mesa) beside the desktop's, and the 64-sample error of both
// against a desktop reference of REFERENCE_SAMPLES (default 1024; 0 leaves
// that out) samples.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { gzipSync } from 'node:zlib';
import { launchChromium, servePage } from './page-server.mjs';

const [buildWeb, renderProgram, runDir] = process.argv.slice(2, 5).map((p) => resolve(p));
const referenceSamples = Number(process.argv[5] ?? 1024);
const work = mkdtempSync(join(tmpdir(), 'xmastrace-figures-'));

const kPageFiles = ['index.html', 'index.js', 'index.wasm', 'index.data', 'page.js', 'page.css',
                    'video.js', 'mp4-muxer.js', 'sound.mp3'];
const { server, origin } = await servePage(buildWeb);

// ANGLE over GLX runs on the same Mesa llvmpipe as the desktop program;
// over EGL it reaches Mesa's OpenGL ES driver, as a phone's Chrome reaches
// its GPU's.
const kBackends = {
  swiftshader: ['--enable-unsafe-swiftshader'],
  'angle-gl (Mesa llvmpipe, GLX)': ['--use-angle=gl', '--ignore-gpu-blocklist'],
  'angle-gl-egl (Mesa llvmpipe, OpenGL ES)': ['--use-angle=gl-egl', '--ignore-gpu-blocklist'],
};
function launch(backend) {
  return launchChromium(kBackends[backend]);
}

async function openPage(browser, query, width, height) {
  const page = await browser.newPage({ viewport: { width, height } });
  const start = Date.now();
  await page.goto(`${origin}/index.html${query}`);
  await page.waitForFunction(() => window.xmastrace.ready || window.xmastrace.failure, null,
                             { timeout: 120000 });
  return { page, firstPicture: Date.now() - start };
}

async function pixelsOf(page, pngFile) {
  const url = pngFile ? `data:image/png;base64,${readFileSync(pngFile).toString('base64')}` : null;
  return page.evaluate(async (url) => {
    let source;
    if (url) {
      source = new Image();
      source.src = url;
      await source.decode();
    } else {
      source = await createImageBitmap((await window.xmastrace.snapshot()).picture,
                                       { colorSpaceConversion: 'none' });
    }
    const copy = Object.assign(document.createElement('canvas'),
                               { width: source.width, height: source.height });
    copy.getContext('2d').drawImage(source, 0, 0);
    return Array.from(copy.getContext('2d').getImageData(0, 0, copy.width, copy.height).data);
  }, url);
}

function rmsError(a, b) {
  let sum = 0;
  let count = 0;
  for (let i = 0; i < a.length; i += 4) {
    for (let c = 0; c < 3; ++c, ++count) sum += (a[i + c] - b[i + c]) ** 2;
  }
  return Math.sqrt(sum / count);
}

function desktop(args, file) {
  return execFileSync(renderProgram, [...args, '--out', file], { cwd: runDir, encoding: 'utf8',
                                                                 stdio: ['ignore', 'pipe', 'ignore'] });
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// Size, as a static host serves it compressed.
let total = 0;
for (const file of kPageFiles) total += gzipSync(readFileSync(join(buildWeb, file)), { level: 9 }).length;
console.log(`page download (gzip -9): ${(total / 1e6).toFixed(2)} MB`);

// First picture, 384x256, on the default software rasteriser: the page as
// it is, and a link whose words the page builds into the room first.
for (const [what, query] of [['', ''], [', a link\'s two lines', '&text=From%7CAnna%20%E2%99%A5']]) {
  const browser = await launch('swiftshader');
  const times = [];
  for (let run = 0; run < 3; ++run) {
    const { page, firstPicture } = await openPage(browser, `?samples=1&ui=0${query}`, 384, 256);
    times.push(firstPicture);
    await page.close();
  }
  console.log(`first picture (swiftshader, 384x256${what}): median ${median(times)} ms of ${times.join(', ')}`);
  await browser.close();
}

// A path sample at 768x512, side by side with the desktop.
const kFrom = 2;
const kTo = 10;
for (const backend of Object.keys(kBackends)) {
  const browser = await launch(backend);
  const { page } = await openPage(browser, `?samples=${kTo}&ui=0`, 768, 512);
  const ms = await page.evaluate(async ([from, to]) => {
    const at = (n) => new Promise((done) => {
      const look = () => (xmastrace.samples >= n ? done(performance.now()) : requestAnimationFrame(look));
      look();
    });
    const start = await at(from);
    return ((await at(to)) - start) / (to - from);
  }, [kFrom, kTo]);
  console.log(`path sample 768x512, chromium ${backend}: ${ms.toFixed(1)} ms (frames, primary passes included)`);
  await browser.close();
}
const bench = desktop(['--bench', '--samples', String(kTo), '--size', '768x512'], join(work, 'b.png'));
console.log(`path sample 768x512, desktop: ${/path sample: .*?([\d.]+) ms wall/.exec(bench)[1]} ms`);

// Noise at 64 samples against a long desktop render.
if (referenceSamples > 0) {
  const reference = join(work, 'reference.png');
  const desktop64 = join(work, 'desktop64.png');
  desktop(['--samples', String(referenceSamples), '--size', '384x256'], reference);
  desktop(['--samples', '64', '--size', '384x256'], desktop64);
  const browser = await launch('swiftshader');
  const { page } = await openPage(browser, '?samples=64&ui=0', 384, 256);
  await page.waitForFunction(() => window.xmastrace.samples >= 64, null, { timeout: 600000, polling: 1000 });
  const truth = await pixelsOf(page, reference);
  const web = rmsError(await pixelsOf(page), truth);
  const own = rmsError(await pixelsOf(page, desktop64), truth);
  console.log(`64 samples vs ${referenceSamples}: page ${web.toFixed(2)}, desktop ${own.toFixed(2)} ` +
              `(RMS, 8-bit), ratio ${(web / own).toFixed(3)}`);
  await browser.close();
}
server.close();
