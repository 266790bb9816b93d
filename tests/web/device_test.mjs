// The page on devices that differ from the desk: a GPU that resets, a window
// larger than the GPU draws, a phone held upright. Run as
// node tests/web/device_test.mjs BUILD_WEB XMASTRACE_RENDER RUN_DIR (the
// desktop program is not needed here).
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

// Opens the page, collecting console errors, uncaught exceptions and the
// GL errors WebGL reports as warnings. The page before is closed first: it
// would go on drawing in the GPU process every page shares.
const openPage = pageOpener(browser, origin);
async function open(query, contextOptions = { viewport: { width: 384, height: 256 } }) {
  const opened = await openPage(query, {
    contextOptions,
    isError: (m) => m.type() === 'error' || /INVALID_|OUT_OF_MEMORY|out of range/.test(m.text()),
    // Software rendering takes its time over a large window.
    timeout: 120000,
  });
  assert.equal(await opened.page.evaluate(() => window.xmastrace.failure), null);
  return opened;
}

// RGBA bytes of the canvas, scaled to at most `width` pixels across, read
// through a 2D canvas (the WebGL one keeps its drawing buffer).
function largestDifference(a, b) {
  assert.equal(a.length, b.length);
  let largest = 0;
  for (let i = 0; i < a.length; i += 4) {
    for (const c of [0, 1, 2]) largest = Math.max(largest, Math.abs(a[i + c] - b[i + c]));
  }
  return largest;
}

// The hit-colour view paints the letters pure yellow.
function yellowPixels(pixels) {
  let count = 0;
  for (let i = 0; i < pixels.length; i += 4) {
    count += pixels[i] > 200 && pixels[i + 1] > 200 && pixels[i + 2] < 80;
  }
  return count;
}

// The extension is only handed out while the context lives, so it is kept.
const loseContext = (page, action) => page.evaluate((action) => {
  window.loseExtension ??= document.getElementById('canvas').getContext('webgl2')
    .getExtension('WEBGL_lose_context');
  window.loseExtension[action]();
}, action);

test('a lost GPU context comes back with the picture it had', async () => {
  const { page, errors } = await open('?view=color');
  const before = await canvasPixels(page);
  assert.ok(await page.isEnabled('#save'));

  await loseContext(page, 'loseContext');
  await page.waitForFunction(() => window.xmastrace.lost);
  assert.match(await page.textContent('#status'), /graphics were reset/);
  assert.ok(await page.isVisible('#status'));
  // A lost canvas is blank: no picture to save.
  assert.ok(await page.isDisabled('#save'));

  await loseContext(page, 'restoreContext');
  await page.waitForFunction(() => !window.xmastrace.lost);
  assert.ok(!(await page.isVisible('#status')));
  assert.ok(await page.isEnabled('#save'));
  const difference = largestDifference(before, await canvasPixels(page));
  assert.ok(difference <= 2, `the restored picture differs by ${difference}/255`);
  assert.deepEqual(errors, []);

  // A context that does not come back leaves a way out.
  await loseContext(page, 'loseContext');
  await page.waitForSelector('#reload', { state: 'visible', timeout: 10000 });
  assert.match(await page.textContent('#status'), /could not be restored/);
});

test('a window larger than the GPU draws gets a capped buffer that fills it', async () => {
  const { page, errors } = await open('?view=color&ui=0', {
    viewport: { width: 3000, height: 2000 }, deviceScaleFactor: 3 });
  const state = await page.evaluate(() => {
    const canvas = document.getElementById('canvas');
    const gl = canvas.getContext('webgl2');
    const box = canvas.getBoundingClientRect();
    return { width: xmastrace.width, height: xmastrace.height, bufferWidth: canvas.width,
             bufferHeight: canvas.height, cssWidth: box.width, cssHeight: box.height,
             maxTexture: gl.getParameter(gl.MAX_TEXTURE_SIZE), glError: gl.getError() };
  });
  console.log(`9000x6000 device pixels drawn at ${state.width}x${state.height}`);
  assert.equal(state.glError, 0);
  assert.deepEqual(errors, []);
  assert.deepEqual([state.bufferWidth, state.bufferHeight], [state.width, state.height]);
  assert.deepEqual([state.cssWidth, state.cssHeight], [3000, 2000]);
  assert.ok(state.width <= state.maxTexture && state.height <= state.maxTexture);
  assert.ok(state.width * state.height <= 4194304, `${state.width * state.height} pixels`);
  assert.ok(Math.abs(state.width / state.height - 1.5) < 0.01);
  // Not flat: the room's many colours, the letters' yellow among them.
  const pixels = await canvasPixels(page, 600);
  const colours = new Set();
  for (let i = 0; i < pixels.length; i += 4) {
    colours.add(pixels[i] << 16 | pixels[i + 1] << 8 | pixels[i + 2]);
  }
  assert.ok(colours.size > 20, `${colours.size} colours`);
  assert.ok(yellowPixels(pixels) > 0);
});

test('a phone held upright shows all the letters', async () => {
  const wide = await open('?view=color&ui=0', { viewport: { width: 768, height: 512 } });
  const wideYellow = yellowPixels(await canvasPixels(wide.page));
  const { page, errors } = await open('?view=color&ui=0',
                                      { viewport: { width: 390, height: 844 } });
  const upright = yellowPixels(await canvasPixels(page));
  // The same horizontal extent: the letters shrink with the picture's width.
  const expected = wideYellow * (390 / 768) ** 2;
  console.log(`letters' yellow: ${wideYellow} pixels at 768x512, ${upright} at 390x844 ` +
              `(${(upright / expected * 100).toFixed(0)} % of the width-scaled count)`);
  assert.ok(wideYellow > 4000);
  assert.ok(upright >= expected * 0.5, `${upright} yellow pixels`);
  assert.deepEqual(errors, []);
});

// The mean of the canvas's colour channels, 0 to 255.
async function meanLevel(page) {
  const pixels = await canvasPixels(page);
  let sum = 0;
  for (let i = 0; i < pixels.length; i += 4) sum += pixels[i] + pixels[i + 1] + pixels[i + 2];
  return sum / (pixels.length / 4 * 3);
}

// A watchdog resets a weak GPU during the heavy first compile: the context
// is lost while the page asks whether its programs are built, before the
// loss event can tell it, and given back a moment later.
test('a GPU reset during start-up leads to the picture once the graphics return', async () => {
  const { page } = await openPage('?samples=2', {
    contextOptions: { viewport: { width: 192, height: 128 } },
    isError: null,
    timeout: 120000,
    initScript: () => {
      const ask = WebGL2RenderingContext.prototype.getProgramParameter;
      const kCompletionStatus = 0x91B1, kLinkStatus = 0x8B82;
      let lost = false;
      WebGL2RenderingContext.prototype.getProgramParameter = function (program, name) {
        if (!lost && (name === kCompletionStatus || name === kLinkStatus)) {
          lost = true;
          const extension = this.getExtension('WEBGL_lose_context');
          extension.loseContext();
          setTimeout(() => extension.restoreContext(), 300);
        }
        return ask.call(this, program, name);
      };
    },
  });
  await page.waitForFunction(() => (window.xmastrace.ready && window.xmastrace.samples >= 2) ||
                             window.xmastrace.failure, null, { timeout: 120000 });
  assert.equal(await page.evaluate(() => window.xmastrace.failure), null);
  assert.ok(!(await page.isVisible('#status')));
  assert.ok(await meanLevel(page) > 10);
});

// Lost with one sample in and the second half drawn in bands, then given
// back: the picture of eight samples must be as bright as a fresh page's,
// with no sample counted whose light was never added.
test('a restore in the middle of a banded pass keeps every sample', async () => {
  const viewport = { viewport: { width: 384, height: 256 } };
  const fresh = await open('?samples=8&budget=2', viewport);
  await fresh.page.waitForFunction(() => window.xmastrace.samples === 8, null, { timeout: 120000 });
  const freshLevel = await meanLevel(fresh.page);

  // Watched from the page's first frame, so that the loss comes in the
  // frame after the first sample, while the second is in its first bands.
  // At this size the second is still in bands when the loss event comes;
  // frames drawn into the lost context before it count their samples too.
  const { page, errors } = await openPage('?samples=8&budget=2', {
    contextOptions: viewport,
    isError: (m) => /Feedback loop|INVALID_/.test(m.text()),
    initScript: () => {
      const look = () => {
        if (window.xmastrace?.samples !== 1) return requestAnimationFrame(look);
        window.loseExtension = document.getElementById('canvas').getContext('webgl2')
          .getExtension('WEBGL_lose_context');
        window.loseExtension.loseContext();
      };
      requestAnimationFrame(look);
    },
    // Not waited for: the loss may come before the page says it is ready.
    prepare: () => {},
  });
  await page.waitForFunction(() => window.xmastrace.lost, null, { timeout: 120000 });
  await page.waitForTimeout(300);
  await loseContext(page, 'restoreContext');
  await page.waitForFunction(() => !window.xmastrace.lost && window.xmastrace.samples === 8, null,
                             { timeout: 120000 });
  const level = await meanLevel(page);
  console.log(`mean level after a restore: ${level.toFixed(2)}, fresh: ${freshLevel.toFixed(2)}`);
  // One sample lost of eight is 12.5 % darker.
  assert.ok(Math.abs(level / freshLevel - 1) < 0.04, `${level} against ${freshLevel}`);
  assert.deepEqual(errors, []);
});

// An iPhone's GPU cannot blend into 32-bit float targets and offers no
// EXT_float_blend; Chromium blends them regardless, so the stand-in refuses
// every blended draw (the page blends nothing else) as such a GPU would.
// The page must then sum its samples by drawing, to the same picture bit
// for bit, and gather the denoiser's noise (which a video uses) the same way.
test('a GPU without float blending sums the samples by drawing, to the same picture', async () => {
  const query = '?samples=6&budget=0&ui=0';
  const whole = await open(query);
  await whole.page.waitForFunction(() => window.xmastrace.samples === 6, null, { timeout: 120000 });
  const expected = await canvasPixels(whole.page);

  const { page, errors } = await openPage(query, {
    isError: (m) => m.type() === 'error' || /INVALID_/.test(m.text()),
    timeout: 120000,
    initScript: () => {
      const proto = WebGL2RenderingContext.prototype;
      const { getExtension, getSupportedExtensions, drawArrays, drawElements } = proto;
      proto.getExtension = function (name) {
        return name === 'EXT_float_blend' ? null : getExtension.call(this, name);
      };
      proto.getSupportedExtensions = function () {
        return getSupportedExtensions.call(this).filter((name) => name !== 'EXT_float_blend');
      };
      for (const [name, draw] of [['drawArrays', drawArrays], ['drawElements', drawElements]]) {
        proto[name] = function (...args) {
          if (!this.isEnabled(this.BLEND)) return draw.apply(this, args);
          console.error('INVALID_OPERATION: blending into a 32-bit float target');
        };
      }
    },
  });
  assert.equal(await page.evaluate(() => window.xmastrace.failure), null);
  await page.waitForFunction(() => window.xmastrace.samples === 6, null, { timeout: 120000 });
  assert.equal(largestDifference(await canvasPixels(page), expected), 0);
  const video = await page.evaluate(() => window.xmastrace.makeVideo({ seconds: 1, fps: 2, size: '96x64', samples: 2 })
    .then((blob) => blob.size, (error) => error.message));
  assert.equal(typeof video, 'number', video);
  assert.deepEqual(errors, []);
});
