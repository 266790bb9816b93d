// The page in Firefox and WebKitGTK, each held to Chromium's page:
// node tests/web/engines_test.mjs BUILD_WEB XMASTRACE_RENDER RUN_DIR (the last
// two are unused here). Both engines need a display for WebGL 2; without
// DISPLAY tools/engines.mjs starts an Xvfb. An engine that is not installed
// is skipped, saying which package brings it.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { engineMissing, launchEngine } from '../../tools/engines.mjs';
import { servePage } from '../../tools/page-server.mjs';

const [buildWeb] = process.argv.slice(2).map((path) => resolve(path));
const { server, origin } = await servePage(buildWeb);
after(() => server.close());

// MiniBrowser's window is no narrower than about 450 CSS pixels.
const kSize = { width: 480, height: 320 };
const kPictures = {
  room: '?view=color&ui=0',
  words: `?text=${encodeURIComponent('From|Anna \u2665')}&view=color&ui=0`,
  // Whole passes, the picture every device must reach.
  samples: '?samples=16&budget=0&ui=0',
};

async function show(engine, query) {
  const start = Date.now();
  await engine.goto(`${origin}/index.html${query}`);
  await engine.waitFor(() => window.xmastrace.ready || window.xmastrace.failure, null, 120000);
  assert.equal(await engine.evaluate(() => window.xmastrace.failure), null);
  return Date.now() - start;
}

function finished(engine, samples) {
  return engine.waitFor((samples) => window.xmastrace.samples >= samples, samples, 300000);
}

// The RGBA bytes of the picture shown, from the page's snapshot() through a
// 2D canvas, as base64 since WebDriver carries JSON.
async function canvasPixels(engine) {
  const base64 = await engine.evaluate(async () => {
    const { picture } = await window.xmastrace.snapshot();
    const source = await createImageBitmap(picture, { colorSpaceConversion: 'none' });
    const copy = Object.assign(document.createElement('canvas'),
                               { width: source.width, height: source.height });
    copy.getContext('2d').drawImage(source, 0, 0);
    const bytes = copy.getContext('2d').getImageData(0, 0, copy.width, copy.height).data;
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) {
      text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    }
    return btoa(text);
  });
  return Buffer.from(base64, 'base64');
}

// Share of pixels whose RGB channels all lie within `tolerance`.
function matchingShare(a, b, tolerance) {
  assert.equal(a.length, b.length, 'pictures of different sizes');
  let matching = 0;
  for (let i = 0; i < a.length; i += 4) {
    if ([0, 1, 2].every((c) => Math.abs(a[i + c] - b[i + c]) <= tolerance)) ++matching;
  }
  return matching / (a.length / 4);
}

// Root mean square difference of the RGB channels, in 8-bit steps.
function rmsDifference(a, b) {
  assert.equal(a.length, b.length, 'pictures of different sizes');
  let sum = 0;
  for (let i = 0; i < a.length; i += 4) {
    for (const c of [0, 1, 2]) sum += (a[i + c] - b[i + c]) ** 2;
  }
  return Math.sqrt(sum / (a.length / 4 * 3));
}

// The page's video as a file.
async function pageVideo(engine, options) {
  const base64 = await engine.evaluate(async (options) => {
    const blob = await window.xmastrace.makeVideo(options);
    const bytes = new Uint8Array(await blob.arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) {
      text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    }
    return `${blob.type} ${btoa(text)}`;
  }, options);
  const [type, data] = base64.split(' ');
  assert.equal(type, 'video/mp4');
  const file = join(mkdtempSync(join(tmpdir(), 'xmastrace-engines-')), `${engine.name}.mp4`);
  writeFileSync(file, Buffer.from(data, 'base64'));
  return file;
}

// A player's reading: FFmpeg decodes it without a complaint (a decoder
// description it cannot read is only a complaint to it, but no picture to
// Apple's players), it has `frames` H.264 frames and lasts as long as they
// do. Returns ffprobe's streams.
function checkVideo(file, frames) {
  const decoded = spawnSync('ffmpeg', ['-v', 'error', '-xerror', '-i', file, '-f', 'null', '-'], { encoding: 'utf8' });
  assert.deepEqual([decoded.status, decoded.stderr], [0, '']);
  const { streams } = JSON.parse(execFileSync('ffprobe', [
    '-v', 'error', '-count_frames', '-show_entries', 'stream=codec_type,codec_name,profile,nb_read_frames,duration',
    '-of', 'json', file], { encoding: 'utf8' }));
  const video = streams.find((s) => s.codec_type === 'video');
  assert.deepEqual([video.codec_name, video.nb_read_frames], ['h264', String(frames)]);
  assert.ok(Math.abs(video.duration - 1) < 1e-3, `video lasts ${video.duration} s`);
  return streams;
}

// Chromium's pictures, and the noise of 16 samples there: their distance
// from the same camera's 64.
const chromium = {};
before(async () => {
  const engine = await launchEngine('chromium', kSize);
  try {
    for (const [name, query] of Object.entries(kPictures)) {
      await show(engine, query);
      if (name === 'samples') await finished(engine, 16);
      chromium[name] = await canvasPixels(engine);
    }
    await show(engine, '?samples=64&budget=0&ui=0');
    await finished(engine, 64);
    chromium.samples64 = await canvasPixels(engine);
    chromium.noise16 = rmsDifference(chromium.samples, chromium.samples64);
  } finally {
    await engine.close();
  }
});

for (const name of ['firefox', 'webkit']) {
  describe(name, { skip: engineMissing(name) || false }, () => {
    let engine = null;
    before(async () => { engine = await launchEngine(name, kSize); });
    after(() => engine?.close());

    test('starts, matches Chromium\'s room and shows a link\'s words', async () => {
      console.log(`${name} ${engine.version}: first picture after ${await show(engine, kPictures.room)} ms`);
      const room = await canvasPixels(engine);
      const share = matchingShare(room, chromium.room, 2);
      console.log(`${name}: ${(share * 100).toFixed(2)} % of the room within 2/255 of Chromium's`);
      assert.ok(share >= 0.99, `${share} of the room as in Chromium`);

      await show(engine, kPictures.words);
      const words = await canvasPixels(engine);
      assert.ok(matchingShare(words, chromium.words, 2) >= 0.99, 'the words differ from Chromium\'s');
      assert.ok(matchingShare(words, chromium.room, 2) < 0.99, 'the wall still says QM');
    });

    // Drawn in bands under the frame budget, the 16 samples are those of
    // whole passes in Chromium: the same random numbers, so they differ
    // from them far less than from a better picture, and are as far as
    // Chromium's from its 64. A pass lost, drawn twice or summed at a lower
    // precision differs by about the noise itself.
    test('16 samples under the frame budget are Chromium\'s', async () => {
      const start = Date.now();
      await show(engine, '?samples=16&ui=0');
      await finished(engine, 16);
      const pixels = await canvasPixels(engine);
      const difference = rmsDifference(pixels, chromium.samples);
      const error = rmsDifference(pixels, chromium.samples64) / chromium.noise16;
      console.log(`${name}: 16 samples in ${Date.now() - start} ms; RMS ${difference.toFixed(3)} ` +
                  `from Chromium's, whose own 16 are ${chromium.noise16.toFixed(3)} from its 64; ` +
                  `${error.toFixed(3)}x their distance from Chromium's 64`);
      assert.ok(difference <= chromium.noise16 * 0.5, `RMS difference ${difference}`);
      assert.ok(error <= 1.1, `${error} times Chromium's error`);
    });

    test('a lost context comes back with its picture', async () => {
      await show(engine, kPictures.room);
      const before = await canvasPixels(engine);
      const lose = (action) => engine.evaluate((action) => {
        window.loseExtension ??= document.getElementById('canvas').getContext('webgl2')
          .getExtension('WEBGL_lose_context');
        window.loseExtension[action]();
      }, action);
      await lose('loseContext');
      await engine.waitFor(() => window.xmastrace.lost);
      await lose('restoreContext');
      await engine.waitFor(() => !window.xmastrace.lost && window.xmastrace.ready);
      assert.ok(matchingShare(await canvasPixels(engine), before, 2) >= 0.99);
    });

    // Where the engine encodes H.264 the video is whole; where not, the
    // page says so instead of offering a button that fails.
    test('the video, or a note saying why there is none', async () => {
      await show(engine, '?samples=1');
      const h264 = await engine.evaluate(async () => typeof VideoEncoder !== 'undefined' &&
        (await VideoEncoder.isConfigSupported({ codec: 'avc1.42001f', width: 96, height: 64 })).supported);
      const offered = await engine.waitFor(() => {
        const note = document.getElementById('video-note');
        const button = document.getElementById('video');
        return (!note.hidden || !button.hidden) && { note: note.hidden ? '' : note.textContent,
                                                     button: !button.hidden };
      });
      console.log(`${name}: H.264 ${h264 ? 'offered' : 'not offered'}; ${JSON.stringify(offered)}`);
      if (!h264) {
        assert.deepEqual([offered.button, /H\.264|VideoEncoder/.test(offered.note)], [false, true]);
        return;
      }
      assert.deepEqual(offered, { note: '', button: true });
      const streams = checkVideo(await pageVideo(engine, { seconds: 1, fps: 8, size: '96x64', samples: 2 }), 8);
      const sound = streams.find((s) => s.codec_type === 'audio');
      assert.ok(sound && Math.abs(sound.duration - 1) < 0.05, `sound lasts ${sound?.duration} s`);
      console.log(`${name}: video of ${streams.map((s) => [s.codec_name, s.profile].filter(Boolean).join(' ')).join(' and ')}`);
    });
  });
}

// Firefox's encoder, played by Chromium's: at High profile the second
// chunk comes after the third (a B-frame), and its decoder description
// repeats the first byte of each parameter set, which its key frames carry
// whole. The page must take Baseline and the key frame's parameter sets;
// an encoder that reorders only once the video runs must fail the video,
// not leave it a frame short.
test('Firefox\'s reordering encoder and its description give a clean video, or a failed one', async () => {
  const engine = await launchEngine('chromium', { width: 96, height: 64 });
  try {
    await show(engine, '?samples=1');
    await engine.evaluate(() => {
      const Encoder = window.VideoEncoder;
      const parameterSets = (avcc) => {
        const sps = avcc.subarray(8, 8 + ((avcc[6] << 8) | avcc[7]));
        const at = 8 + sps.length + 1;
        return [sps, avcc.subarray(at + 2, at + 2 + ((avcc[at] << 8) | avcc[at + 1]))];
      };
      const withLength = (unit, bytes) => [...(bytes === 4 ? [0, 0] : []), unit.length >> 8, unit.length & 0xff, ...unit];
      const asFirefox = (chunk, meta) => {
        if (!meta?.decoderConfig) return [chunk, meta];
        const avcc = new Uint8Array(meta.decoderConfig.description);
        const sets = parameterSets(avcc);
        const [sps, pps] = sets.map((unit) => [unit[0], ...unit]);
        const description = new Uint8Array([...avcc.subarray(0, 6), ...withLength(sps, 2), 1, ...withLength(pps, 2)]);
        const data = new Uint8Array(chunk.byteLength);
        chunk.copyTo(data);
        const keyFrame = new EncodedVideoChunk({ type: chunk.type, timestamp: chunk.timestamp, duration: chunk.duration,
                                                 data: new Uint8Array([...sets.flatMap((unit) => withLength(unit, 4)), ...data]) });
        return [keyFrame, { ...meta, decoderConfig: { ...meta.decoderConfig, description } }];
      };
      window.VideoEncoder = class extends Encoder {
        constructor({ output, error }) {
          let count = 0;
          let held = null;
          super({ error, output: (chunk, meta) => {
            [chunk, meta] = asFirefox(chunk, meta);
            if (this.reorders && count++ === 1) {
              held = [chunk, meta];
              return;
            }
            output(chunk, meta);
            if (held) output(...held);
            held = null;
          } });
        }
        configure(config) {
          this.reorders = window.reorders(config);
          super.configure(config);
        }
      };
    });
    const options = { seconds: 1, fps: 4, size: '96x64', samples: 1 };
    await engine.evaluate(() => { window.reorders = (config) => config.codec.startsWith('avc1.64'); });
    const streams = checkVideo(await pageVideo(engine, options), 4);
    assert.match(streams.find((s) => s.codec_type === 'video').profile, /Baseline/);

    const outcome = await engine.evaluate((options) => {
      window.reorders = (config) => config.width === 96;
      return window.xmastrace.makeVideo(options).then((blob) => `made ${blob.size} bytes`, (e) => e.message);
    }, options);
    assert.match(outcome, /monotonically/);
  } finally {
    await engine.close();
  }
});
