// Measures the video made in the page (docs/PERFORMANCE.md):
//   node tools/web-video-figures.mjs BUILD_WEB XMASTRACE_RENDER RUN_DIR [SIZE SAMPLES FRAMES] [FRAME_PNG]
// Prints the time per frame in Chromium on ANGLE over EGL (Mesa's OpenGL ES
// driver on llvmpipe) beside xmastrace_render's through EGL on the same
// Mesa, each the difference of a FRAMES-frame and a 2-frame video (so
// start-up is left out); the tiny video's PSNR against the desktop's; and,
// with FRAME_PNG, writes the frame three quarters of the way round of the
// page's timed video there, as the browser decodes it. Needs no display.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { launchChromium, servePage } from './page-server.mjs';

const [buildWeb, renderProgram, runDir] = process.argv.slice(2, 5).map((p) => resolve(p));
const [size = '768x512', samples = '16', frames = '8'] = process.argv.slice(5, 8);
const framePng = process.argv[8] ? resolve(process.argv[8]) : null;
const work = mkdtempSync(join(tmpdir(), 'xmastrace-video-figures-'));

const { server, origin } = await servePage(buildWeb);

// One video per second of length keeps the camera's path the desktop's.
const lengthOf = (count) => ({ seconds: count, fps: 1 });

function desktopSeconds(count, file) {
  const env = { ...process.env };
  delete env.DISPLAY;
  const start = process.hrtime.bigint();
  execFileSync(renderProgram, ['--video', file, '--size', size, '--samples', samples, '--seconds', String(count),
                               '--fps', '1'], { cwd: runDir, env, stdio: 'ignore' });
  return Number(process.hrtime.bigint() - start) / 1e9;
}

const browser = await launchChromium(['--use-angle=gl-egl', '--ignore-gpu-blocklist']);
const page = await browser.newPage({ viewport: { width: 384, height: 256 } });
await page.goto(`${origin}/index.html`);
await page.waitForFunction(() => window.xmastrace.ready || window.xmastrace.failure, null, { timeout: 120000 });

// Seconds from the first frame handed over to the last, and the MP4.
async function pageVideo(options) {
  const result = await page.evaluate(async (options) => {
    const label = document.querySelector('#video-progress span');
    const times = [];
    const watch = new MutationObserver(() => times.push(performance.now()));
    watch.observe(label, { childList: true, characterData: true, subtree: true });
    const blob = await window.xmastrace.makeVideo(options);
    watch.disconnect();
    const bytes = new Uint8Array(await blob.arrayBuffer());
    let text = '';
    for (const byte of bytes) text += String.fromCharCode(byte);
    // The first change is the empty bar, before the first frame.
    return { seconds: (times[times.length - 1] - times[1]) / 1000, frames: times.length - 2, mp4: btoa(text) };
  }, options);
  return { ...result, mp4: Buffer.from(result.mp4, 'base64') };
}

const count = Number(frames);
const long = await pageVideo({ ...lengthOf(count), size, samples: Number(samples) });
const webPerFrame = long.seconds / long.frames;
const desktopPerFrame = (desktopSeconds(count, join(work, 'long.mp4')) - desktopSeconds(2, join(work, 'short.mp4'))) /
                        (count - 2);
console.log(`video frame ${size}, ${samples} samples: page (ANGLE over EGL) ${webPerFrame.toFixed(2)} s, ` +
            `desktop (EGL) ${desktopPerFrame.toFixed(2)} s, ratio ${(webPerFrame / desktopPerFrame).toFixed(2)}`);

if (framePng) {
  const shown = Math.floor(count * 3 / 4);
  const dataUrl = await page.evaluate(async ({ mp4, time }) => {
    const video = document.createElement('video');
    video.muted = true;
    video.src = `data:video/mp4;base64,${mp4}`;
    await new Promise((done) => { video.onloadeddata = done; });
    video.currentTime = time;
    await new Promise((done) => { video.onseeked = done; });
    const copy = Object.assign(document.createElement('canvas'), { width: video.videoWidth, height: video.videoHeight });
    copy.getContext('2d').drawImage(video, 0, 0);
    return copy.toDataURL('image/png');
  }, { mp4: long.mp4.toString('base64'), time: shown + 0.5 });
  writeFileSync(framePng, Buffer.from(dataUrl.split(',')[1], 'base64'));
  console.log(`frame ${shown} of the page's video written: ${framePng}`);
}

const tiny = await pageVideo({ seconds: 1, fps: 8, size: '96x64', samples: 2 });
writeFileSync(join(work, 'page.mp4'), tiny.mp4);
const env = { ...process.env };
delete env.DISPLAY;
execFileSync(renderProgram, ['--video', join(work, 'desktop.mp4'), '--size', '96x64', '--samples', '2',
                             '--seconds', '1', '--fps', '8'], { cwd: runDir, env, stdio: 'ignore' });
const compared = execFileSync(join(dirname(renderProgram), 'tests/compare_videos'),
                              [join(work, 'desktop.mp4'), join(work, 'page.mp4')], { encoding: 'utf8' });
console.log(`tiny video against xmastrace_render: ${compared.trim()}`);
await browser.close();
server.close();
