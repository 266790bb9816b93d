// The page's video under a careless or hostile script, in headless
// Chromium: node tests/web/video_guard_test.mjs BUILD_WEB XMASTRACE_RENDER
// RUN_DIR (only the page is needed). Mistaken options, a video the tab
// cannot draw or hold, a cancel followed at once by the next video, and the
// graphics lost before and during a video.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { test, after } from 'node:test';
import { pageOpener } from '../../tools/page-helpers.mjs';
import { launchChromium, servePage } from '../../tools/page-server.mjs';

const [buildWeb] = process.argv.slice(2).map((path) => resolve(path));
const { server, origin } = await servePage(buildWeb);
const browser = await launchChromium(['--enable-unsafe-swiftshader']);
const work = mkdtempSync(join(tmpdir(), 'xmastrace-guard-'));
after(async () => {
  await browser.close();
  server.close();
});

// GL calls on objects of a lost context, and the errors WebGL reports.
const kGlTrouble = /does not belong to this context|INVALID_|Feedback loop/;

const openPage = pageOpener(browser, origin);
async function open() {
  const { page, errors } = await openPage('', {
    contextOptions: { viewport: { width: 192, height: 128 } },
    isError: (m) => kGlTrouble.test(m.text()),
  });
  assert.equal(await page.evaluate(() => window.xmastrace.failure), null);
  return { page, errors };
}

const kTiny = { seconds: 1, fps: 8, size: '96x64', samples: 2 };
const kLong = { seconds: 60, fps: 8, size: '96x64', samples: 4 };

// Page helpers, in the page: a video's outcome as text, and the wait for
// the long video's first frame (the progress still reads the video before
// it until the long one has its plan).
const helpers = () => {
  window.outcome = (made) => made.then((blob) => `made ${blob.size}`, (e) => `${e.name}: ${e.message}`);
  window.firstFrame = async ({ seconds, fps }) => {
    const span = document.querySelector('#video-progress span');
    const drawing = new RegExp(`^[1-9]\\d*/${seconds * fps} `);
    while (!drawing.test(span.textContent)) await new Promise((done) => setTimeout(done, 20));
  };
};

// The frames' mean luma, 0 to 255, as ffmpeg decodes them.
function meanLuma(bytes) {
  const file = join(work, 'video.mp4');
  writeFileSync(file, bytes);
  const gray = execFileSync('ffmpeg', ['-v', 'error', '-xerror', '-i', file, '-f', 'rawvideo', '-pix_fmt', 'gray',
                                       '-'], { maxBuffer: 1 << 26 });
  return gray.reduce((sum, level) => sum + level, 0) / gray.length;
}

async function tinyVideo(page) {
  const base64 = await page.evaluate(async (options) => {
    const bytes = new Uint8Array(await (await window.xmastrace.makeVideo(options)).arrayBuffer());
    let text = '';
    for (const byte of bytes) text += String.fromCharCode(byte);
    return btoa(text);
  }, kTiny);
  return Buffer.from(base64, 'base64');
}

test('mistaken options and a video too large to draw or hold are refused before any work', async () => {
  const { page, errors } = await open();
  await page.evaluate(helpers);
  const refusals = await page.evaluate(async () => {
    // A refusal comes at once; a video that starts instead is stopped.
    const refusal = (options) => Promise.race([
      window.outcome(window.xmastrace.makeVideo(options)),
      new Promise((done) => setTimeout(done, 15000)).then(() => {
        window.xmastrace.cancelVideo();
        return 'not refused';
      })]);
    return [
      await refusal({ smaples: 2 }),
      await refusal({ denoise: 0 }),
      await refusal({ fast: 'false' }),
      await refusal({ fps: '30' }),
      await refusal('768x512'),
      await refusal({ size: '4096x2304', seconds: 1, fps: 1, samples: 1 }),
      await refusal({ seconds: 3600, fps: 120, size: '768x512' }),
    ];
  });
  console.log(`refused: ${refusals[5]}`);
  assert.match(refusals[0], /^RangeError: unknown option for a video: 'smaples'$/);
  assert.match(refusals[1], /^TypeError: bad value for denoise: '0' is no boolean$/);
  assert.match(refusals[2], /^TypeError: bad value for fast: 'false' is no boolean$/);
  assert.match(refusals[3], /^TypeError: bad value for fps: '30' is no number$/);
  assert.match(refusals[4], /^TypeError: the video's options are no object/);
  // 9.4 million pixels: 2.25 times what the page draws.
  assert.match(refusals[5], /^RangeError: bad value for --size: '4096x2304': a page draws at most 4194304 pixels.* \(try 2730x1536\)$/);
  // About 5.4 GB at the page's bit rate.
  assert.match(refusals[6], /^RangeError: The video would be about 5,366 MB, more than the 128 MB a page can safely hold/);
  assert.ok(await page.isHidden('#video-progress'));
  assert.ok(await page.isEnabled('#video'));
  assert.deepEqual(errors, []);
});

test('a cancelled video does not hold up the next one', async () => {
  const { page, errors } = await open();
  await page.evaluate(helpers);
  const outcomes = await page.evaluate(async ([long, tiny]) => {
    // Cancelled while it draws, and while it prepares.
    const drawing = window.outcome(window.xmastrace.makeVideo(long));
    await window.firstFrame(long);
    window.xmastrace.cancelVideo();
    const afterDrawing = window.outcome(window.xmastrace.makeVideo(tiny));
    const results = [await drawing, await afterDrawing];
    const preparing = window.outcome(window.xmastrace.makeVideo(tiny));
    window.xmastrace.cancelVideo();
    const afterPreparing = window.outcome(window.xmastrace.makeVideo(tiny));
    results.push(await preparing, await afterPreparing);
    results.push(document.getElementById('video-progress').hidden, document.getElementById('video').disabled);
    return results;
  }, [kLong, kTiny]);
  assert.match(outcomes[0], /^AbortError/);
  assert.match(outcomes[1], /^made \d+$/);
  assert.match(outcomes[2], /^AbortError/);
  assert.match(outcomes[3], /^made \d+$/);
  assert.deepEqual(outcomes.slice(4), [true, false]);
  assert.deepEqual(errors, []);
});

// The reported fault: a video after an earlier one, asked for while the
// graphics were away, drew with the earlier one's objects and came out
// black, as a success.
test('no video is made while the graphics are lost, and the next one after their return has a picture', async () => {
  const { page, errors } = await open();
  await page.evaluate(helpers);
  await tinyVideo(page);
  const lose = (action) => page.evaluate((action) => {
    window.loseExtension ??= document.getElementById('canvas').getContext('webgl2').getExtension('WEBGL_lose_context');
    window.loseExtension[action]();
  }, action);

  const during = page.evaluate(async (long) => {
    const made = window.outcome(window.xmastrace.makeVideo(long));
    await window.firstFrame(long);
    return made;
  }, kLong);
  await page.evaluate((long) => window.firstFrame(long), kLong);
  // The browser tells the page of a loss a task later: a frame that could
  // not be read back in between fails for the loss, not as a fault of its own.
  await page.evaluate(() => {
    window.loseExtension ??= document.getElementById('canvas').getContext('webgl2').getExtension('WEBGL_lose_context');
    window.loseExtension.loseContext();
    Module.onVideoFrame([], 1);
  });
  assert.match(await during, /^Error: The graphics were reset/);
  await page.waitForFunction(() => window.xmastrace.lost);
  await lose('restoreContext');
  await page.waitForFunction(() => !window.xmastrace.lost);

  // The browser tells the page of a loss a task later; a video started in
  // between must still fail for the loss, not as a fault of its own.
  const startedUntold = await page.evaluate(() => {
    window.loseExtension.loseContext();
    return Module.ccall('xmastraceVideoStart', 'number', ['number', 'string'],
                        [Module.videoState, '--video\ngreeting.mp4\n--size\n96x64']);
  });
  assert.equal(startedUntold, -1);
  await page.waitForFunction(() => window.xmastrace.lost);
  assert.ok(await page.isDisabled('#video'));
  const whileLost = await page.evaluate(() => window.outcome(window.xmastrace.makeVideo({ seconds: 2, fps: 4,
                                                                                          size: '96x64',
                                                                                          samples: 1 })));
  assert.match(whileLost, /^Error: The graphics were reset: make the video again once the picture is back\.$/);

  await lose('restoreContext');
  await page.waitForFunction(() => !window.xmastrace.lost);
  assert.ok(await page.isEnabled('#video'));
  const luma = meanLuma(await tinyVideo(page));
  console.log(`the video after the graphics' return: mean luma ${luma.toFixed(1)}`);
  assert.ok(luma > 20, `the video's mean luma is ${luma}`);
  assert.deepEqual(errors, []);
});
