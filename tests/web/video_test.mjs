// The greeting's video made in the page, in headless Chromium:
// node tests/web/video_test.mjs BUILD_WEB XMASTRACE_RENDER RUN_DIR (the
// roomgen built beside XMASTRACE_RENDER makes a greeting's letters). The
// page's MP4 is checked with Debian's ffmpeg and ffprobe, and against
// xmastrace_render's with the same options (rendered through EGL, so no
// display is needed) by the compare_videos helper built beside it.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { writeFileSync, mkdtempSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { test, after } from 'node:test';
import { fileURLToPath } from 'node:url';
import { pageOpener } from '../../tools/page-helpers.mjs';
import { launchChromium, servePage } from '../../tools/page-server.mjs';

const [buildWeb, renderProgram, runDir] = process.argv.slice(2).map((path) => resolve(path));
const compareVideos = join(dirname(renderProgram), 'tests/compare_videos');
const roomgen = join(dirname(renderProgram), 'tools/roomgen/roomgen');
const makeGreeting = fileURLToPath(new URL('../../tools/roomgen/make-greeting.sh', import.meta.url));

const { server, origin } = await servePage(buildWeb);

const browser = await launchChromium(['--enable-unsafe-swiftshader']);
after(async () => {
  await browser.close();
  server.close();
});

const openPage = pageOpener(browser, origin);
const open = (initScript = null, query = '') => openPage(query, {
  contextOptions: { viewport: { width: 192, height: 128 } }, initScript, isError: null });

const kTiny = { seconds: 1, fps: 8, size: '96x64', samples: 2 };
const work = mkdtempSync(join(tmpdir(), 'xmastrace-video-'));

// The MP4 the page makes, as bytes.
async function pageVideo(page, options) {
  const base64 = await page.evaluate(async (options) => {
    const blob = await window.xmastrace.makeVideo(options);
    const bytes = new Uint8Array(await blob.arrayBuffer());
    let text = '';
    for (const byte of bytes) text += String.fromCharCode(byte);
    return `${blob.type} ${btoa(text)}`;
  }, options);
  const [type, data] = base64.split(' ');
  assert.equal(type, 'video/mp4');
  return Buffer.from(data, 'base64');
}

// The MP4's top-level boxes in order.
function topBoxes(bytes) {
  const types = [];
  for (let at = 0; at + 8 <= bytes.length && bytes.readUInt32BE(at) >= 8; at += bytes.readUInt32BE(at)) {
    types.push(bytes.toString('latin1', at + 4, at + 8));
  }
  return types;
}

// 8 H.264 frames over one second with sound as long, decoding without an
// error, and the index first, so that a phone plays while it downloads.
function checkTinyVideo(bytes) {
  const order = topBoxes(bytes);
  assert.ok(order.indexOf('moov') >= 0 && order.indexOf('moov') < order.indexOf('mdat'), order.join(' '));
  const file = join(work, 'tiny.mp4');
  writeFileSync(file, bytes);
  execFileSync('ffmpeg', ['-v', 'error', '-xerror', '-i', file, '-f', 'null', '-']);
  const { streams } = JSON.parse(execFileSync('ffprobe', [
    '-v', 'error', '-count_frames', '-show_entries', 'stream=codec_type,codec_name,pix_fmt,nb_read_frames,duration',
    '-of', 'json', file], { encoding: 'utf8' }));
  const video = streams.find((s) => s.codec_type === 'video');
  const sound = streams.find((s) => s.codec_type === 'audio');
  assert.deepEqual([video.codec_name, video.pix_fmt, video.nb_read_frames], ['h264', 'yuv420p', '8']);
  assert.ok(Math.abs(video.duration - 1) < 1e-3, `video lasts ${video.duration} s`);
  assert.ok(sound, 'an audio track');
  assert.ok(Math.abs(sound.duration - 1) < 0.05, `audio lasts ${sound.duration} s`);
}

// A link's video is the desktop's video of that greeting, made in its
// directory by `make greeting`'s script: the same frames, the words on the
// wall included, encoded twice. The page's picture comes back afterwards
// with its samples.
test('a link\'s tiny video has its frames, length and tune, and is the desktop\'s video', async () => {
  const text = 'From|Anna';
  const greeting = join(work, 'greeting');
  execFileSync(makeGreeting, [roomgen, runDir, text, greeting], { stdio: 'ignore' });
  const { page, errors } = await open(null, `?text=${encodeURIComponent(text)}`);
  await page.waitForFunction(() => window.xmastrace.samples >= 64, null, { timeout: 60000 });
  const before = await page.evaluate(() => window.xmastrace.samples);
  const bytes = await pageVideo(page, kTiny);
  // The picture goes on from the samples it had, not from none.
  assert.ok(await page.evaluate(() => window.xmastrace.samples) >= before);
  checkTinyVideo(bytes);
  const pageFile = join(work, 'page.mp4');
  const desktopFile = join(work, 'desktop.mp4');
  writeFileSync(pageFile, bytes);
  const env = { ...process.env };
  delete env.DISPLAY;
  execFileSync(renderProgram, ['--video', desktopFile, '--size', '96x64', '--samples', '2', '--seconds', '1',
                               '--fps', '8'], { cwd: greeting, env, stdio: 'ignore' });
  // Exit 0: both decode with errors as failures, every frame matches.
  const figures = execFileSync(compareVideos, [desktopFile, pageFile], { encoding: 'utf8' });
  console.log(`page video against xmastrace_render: ${figures.trim()}`);
  assert.match(figures, /^frames 8,/);
  const lowest = (figures) => Number(/lowest PSNR ([\d.]+) dB/.exec(figures)[1]);
  assert.ok(lowest(figures) >= 35, figures);

  // `temporal` carries each frame's samples into the next, as --temporal
  // does: nearer the desktop's carried video than its fresh one.
  const carriedFile = join(work, 'page-carried.mp4');
  writeFileSync(carriedFile, await pageVideo(page, { ...kTiny, temporal: true }));
  const desktopCarried = join(work, 'desktop-carried.mp4');
  execFileSync(renderProgram, ['--video', desktopCarried, '--size', '96x64', '--samples', '2', '--seconds', '1',
                               '--fps', '8', '--temporal'], { cwd: greeting, env, stdio: 'ignore' });
  const carried = execFileSync(compareVideos, [desktopCarried, carriedFile], { encoding: 'utf8' });
  // Exit 1 there: frames that differ.
  const fresh = spawnSync(compareVideos, [desktopFile, carriedFile], { encoding: 'utf8' }).stdout;
  console.log(`carried page video against xmastrace_render --temporal: ${carried.trim()}; against fresh: ${fresh.trim()}`);
  assert.ok(lowest(carried) >= 35 && lowest(carried) > lowest(fresh) + 1, `${carried} / ${fresh}`);

  assert.deepEqual(errors, []);
});

// Cancelled half-way, the video leaves no file, no progress bar and no
// frames behind: the next one is whole and the page's picture goes on.
test('a cancelled video leaves nothing', async () => {
  const { page, errors } = await open();
  const outcome = await page.evaluate(async () => {
    const made = window.xmastrace.makeVideo({ seconds: 60, fps: 8, size: '96x64', samples: 4 });
    const progress = document.getElementById('video-progress');
    while (!/^[1-9]\d*\//.test(progress.querySelector('span').textContent)) {
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
    window.xmastrace.cancelVideo();
    const error = await made.then(() => null, (e) => e.name);
    return { error, progressHidden: progress.hidden, offered: !document.getElementById('video-done').hidden,
             link: document.getElementById('video-download').hasAttribute('href') };
  });
  assert.deepEqual(outcome, { error: 'AbortError', progressHidden: true, offered: false, link: false });
  // At once, not after the rest of the frames.
  const samples = await page.evaluate(() => window.xmastrace.samples);
  await page.waitForFunction((samples) => window.xmastrace.samples !== samples, samples, { timeout: 5000 });
  checkTinyVideo(await pageVideo(page, kTiny));
  assert.deepEqual(errors, []);
});

// A key frame every two seconds, whatever the frame rate, so that a player
// seeks in a long video without decoding it from its start.
test('a video has a key frame every two seconds', async () => {
  const { page, errors } = await open();
  const file = join(work, 'keys.mp4');
  writeFileSync(file, await pageVideo(page, { seconds: 4.5, fps: 4, size: '96x64', samples: 1 }));
  const { packets } = JSON.parse(execFileSync('ffprobe', [
    '-v', 'error', '-select_streams', 'v:0', '-show_entries', 'packet=pts_time,flags', '-of', 'json', file],
  { encoding: 'utf8' }));
  assert.equal(packets.length, 18);
  const keys = packets.filter((p) => p.flags.startsWith('K')).map((p) => Number(p.pts_time));
  assert.deepEqual(keys, [0, 2, 4]);
  assert.deepEqual(errors, []);
});

test('without VideoEncoder the page says so and offers no video', async () => {
  const { page } = await open(() => { delete window.VideoEncoder; });
  await page.waitForFunction(() => !document.getElementById('video-note').hidden);
  const shown = await page.evaluate(async () => ({
    note: document.getElementById('video-note').textContent,
    button: !document.getElementById('video').hidden,
    refusal: await window.xmastrace.makeVideo({}).then(() => '', (e) => e.message),
  }));
  assert.match(shown.note, /VideoEncoder/);
  assert.equal(shown.button, false);
  assert.equal(shown.refusal, shown.note);
});
