// The greeting as an MP4 made in the page: the program draws xmastrace_render's
// frames with its own code (src/platform/web/WebVideo.cpp), WebCodecs encodes
// them and the tune, and mp4-muxer (bundled beside, from npm) writes the file
// with its index at the front, so that phones play it while it downloads.
'use strict';

// H.264 as the desktop writes it: High profile where the browser has it
// (level 4.0, then 5.1 for the largest sizes), else Baseline (3.1, then 5.1).
const kVideoCodecs = ['avc1.640028', 'avc1.640033', 'avc1.42001f', 'avc1.420033'];
// Denoised frames are smooth, but the grain the denoiser leaves in the
// shadows turns to blocks below about this many bits a pixel.
const kBitsPerPixel = 0.25;
const kLeastBitRate = 1_000_000;
const kKeyFrameSeconds = 2;
// The program hands the frames over in the desktop's colours.
const kColorSpace = { primaries: 'bt709', transfer: 'bt709', matrix: 'bt709', fullRange: false };
// AAC where the browser offers it (as the desktop's file has), else Opus,
// which MP4 carries too and which every browser, Android and VLC play.
const kAudioChoices = [
  { codec: 'mp4a.40.2', muxer: 'aac', sampleRate: 44100 },
  { codec: 'opus', muxer: 'opus', sampleRate: 48000 },
];
const kAudioBitRate = 128_000;
const kAudioChunk = 4096;  // sample frames per AudioData
const kTunePieceSeconds = 30;  // rendered at a time
const kFadeSeconds = 1;
// Frames waiting in the encoder before the program draws another.
const kEncoderQueue = 4;
// The file grows in the page's memory, and finishing it copies it twice
// more (the muxer's buffer, the Blob): a larger one could take a phone's
// tab past what its browser lets it hold, and the tab would be closed.
// 128 MB is five and a half minutes at the default size and rate.
const kMostVideoBytes = 128_000_000;
// The options a script may give, and the type of each: any other name or
// type is refused, as xmastrace_render refuses an option it does not know.
const kOptionTypes = { seconds: 'number', fps: 'number', size: 'string', samples: 'number', fast: 'boolean',
                       denoise: 'boolean', temporal: 'boolean' };

const videoButton = document.getElementById('video');
const videoNote = document.getElementById('video-note');
const videoProgress = document.getElementById('video-progress');
const videoDone = document.getElementById('video-done');

// What this browser lacks to make a video, or '' when it has it all.
async function videoProblem() {
  if (typeof VideoEncoder === 'undefined') return 'This browser cannot make the video: it has no WebCodecs VideoEncoder.';
  const codec = await videoCodec(768, 512);
  return codec ? '' : 'This browser cannot make the video: its VideoEncoder has no H.264.';
}

// WebKitGTK before 2.52 aborts its web process when WebCodecs is the first
// thing there to use GStreamer (WebKit bug 320327): a media element's
// question sets GStreamer up first. Elsewhere it is only a question.
function prepareMediaStack() {
  document.createElement('video').canPlayType('video/mp4');
}

// `inOrder`: only a codec whose encoder hands its frames out in the order
// they are shown. Firefox's High profile reorders them into B-frames, whose
// times go back; the muxer writes no edit list, so those could only be
// placed with the picture starting late against the sound.
async function videoCodec(width, height, inOrder = false) {
  prepareMediaStack();
  for (const codec of kVideoCodecs) {
    try {
      if (!(await VideoEncoder.isConfigSupported({ codec, width, height })).supported) continue;
      if (!inOrder || await encodesInOrder(codec)) return codec;
    } catch {}
  }
  return null;
}

function videoConfig(codec, width, height, fps, bitrate) {
  return { codec, width, height, framerate: fps, bitrate, latencyMode: 'quality', avc: { format: 'avc' } };
}

// Encodes a few small frames that change, as the greeting's do, and
// tells whether they come out in the order they went in.
async function encodesInOrder(codec) {
  const [width, height, count] = [64, 64, 8];
  const times = [];
  const encoder = new VideoEncoder({ output: (chunk) => times.push(chunk.timestamp), error: () => {} });
  try {
    encoder.configure(videoConfig(codec, width, height, 30, kLeastBitRate));
    for (let i = 0; i < count; ++i) {
      const planes = new Uint8Array(width * height * 3 / 2).map((_, at) => (at * 7 + i * 29) & 0xff);
      const frame = new VideoFrame(planes, { format: 'I420', codedWidth: width, codedHeight: height,
                                             timestamp: i * 33333 });
      encoder.encode(frame, { keyFrame: i === 0 });
      frame.close();
    }
    await encoder.flush();
  } finally {
    if (encoder.state !== 'closed') encoder.close();
  }
  return times.length === count && times.every((time, i) => i === 0 || time > times[i - 1]);
}

// The NAL units of a chunk in the avc format: each after its 4-byte length.
function nalUnits(data) {
  const units = [];
  for (let at = 0; at + 4 <= data.length;) {
    const length = ((data[at] << 24) | (data[at + 1] << 16) | (data[at + 2] << 8) | data[at + 3]) >>> 0;
    at += 4;
    if (length === 0 || at + length > data.length) break;
    units.push(data.subarray(at, at + length));
    at += length;
  }
  return units;
}

// A decoder description (avcC) holding these parameter sets.
function avcDescription(sps, pps) {
  const bytes = [1, sps[0][1], sps[0][2], sps[0][3], 0xff, 0xe0 | sps.length];
  const add = (unit) => bytes.push(unit.length >> 8, unit.length & 0xff, ...unit);
  sps.forEach(add);
  bytes.push(pps.length);
  pps.forEach(add);
  return new Uint8Array(bytes);
}

function sameBytes(a, b) {
  return a.length === b.length && a.every((byte, i) => byte === b[i]);
}

// The description the key frame itself vouches for. Firefox's encoder
// repeats the first byte of each parameter set in its avcC (67 67 64 00 28
// for 67 64 00 28), which no decoder can read, while the key frame carries
// them whole: where the two differ, the key frame's are written.
function mendedDecoderConfig(chunk, meta) {
  const config = meta?.decoderConfig;
  if (!config?.description || chunk.type !== 'key') return meta;
  const data = new Uint8Array(chunk.byteLength);
  chunk.copyTo(data);
  const units = nalUnits(data);
  const sps = units.filter((unit) => (unit[0] & 0x1f) === 7 && unit.length >= 4);
  const pps = units.filter((unit) => (unit[0] & 0x1f) === 8);
  if (sps.length === 0 || pps.length === 0) return meta;
  const description = avcDescription(sps, pps);
  const given = ArrayBuffer.isView(config.description)
    ? new Uint8Array(config.description.buffer, config.description.byteOffset, config.description.byteLength)
    : new Uint8Array(config.description);
  const givenSps = given.length >= 8 ? given.subarray(8, 8 + ((given[6] << 8) | given[7])) : given;
  if (sameBytes(givenSps, sps[0])) return meta;
  console.warn('The encoder\'s H.264 description disagrees with its key frame; the key frame\'s is written.');
  return { ...meta, decoderConfig: { ...config, description } };
}

async function audioChoice() {
  if (typeof AudioEncoder === 'undefined') return null;
  prepareMediaStack();
  for (const choice of kAudioChoices) {
    const config = { codec: choice.codec, sampleRate: choice.sampleRate, numberOfChannels: 2, bitrate: kAudioBitRate };
    try {
      if ((await AudioEncoder.isConfigSupported(config)).supported) return { ...choice, config };
    } catch {}
  }
  return null;
}

function describe(value) {
  return typeof value === 'symbol' ? value.toString() : String(value);
}

// A misspelt name or a value of another type would otherwise fall back to
// a default in silence ('false' is a true value, and so on).
function checkOptions(options) {
  if (options === null || typeof options !== 'object') {
    throw new TypeError(`the video's options are no object: '${describe(options)}'`);
  }
  for (const [name, value] of Object.entries(options)) {
    if (!Object.hasOwn(kOptionTypes, name)) throw new RangeError(`unknown option for a video: '${name}'`);
    if (value !== undefined && typeof value !== kOptionTypes[name]) {
      throw new TypeError(`bad value for ${name}: '${describe(value)}' is no ${kOptionTypes[name]}`);
    }
  }
}

// xmastrace_render's command line for the options, one argument a line: the
// program reads it with the desktop's rules and defaults.
function videoArguments(options) {
  checkOptions(options);
  const args = ['--video', 'greeting.mp4'];
  for (const name of ['seconds', 'fps', 'size', 'samples']) {
    if (options[name] !== undefined) args.push(`--${name}`, String(options[name]));
  }
  if (options.fast === true) args.push('--fast');
  if (options.denoise === false) args.push('--no-denoise');
  if (options.temporal === true) args.push('--temporal');
  if (args.some((arg) => arg.includes('\n'))) throw new TypeError('A video option holds a line break.');
  return args.join('\n');
}

// The tune, decoded at the encoder's rate.
async function decodeTune(sampleRate) {
  const bytes = await (await fetch('sound.mp3')).arrayBuffer();
  return new OfflineAudioContext(2, 1, sampleRate).decodeAudioData(bytes);
}

// The tune looped or cut to `length` sample frames, the last second (a
// quarter of a short video) falling linearly to silence as on the desktop,
// rendered and encoded a piece at a time, so that memory does not grow with
// the video's length. Stops when `stopped()` says so.
async function encodeTune(tune, length, encoder, stopped) {
  const rate = tune.sampleRate;
  const fade = Math.min(Math.round(kFadeSeconds * rate), Math.floor(length / 4));
  const piece = kTunePieceSeconds * rate;
  for (let start = 0; start < length && !stopped(); start += piece) {
    const count = Math.min(piece, length - start);
    const context = new OfflineAudioContext(2, count, rate);
    const source = context.createBufferSource();
    source.buffer = tune;
    source.loop = true;
    source.connect(context.destination);
    source.start(0, (start % tune.length) / rate);
    const rendered = await context.startRendering();
    if (stopped()) return;
    const planes = new Float32Array(count * 2);
    planes.set(rendered.getChannelData(0), 0);
    planes.set(rendered.getChannelData(1), count);
    for (let i = Math.max(0, length - fade - start); i < count; ++i) {
      const level = (length - 1 - (start + i)) / fade;
      planes[i] *= level;
      planes[count + i] *= level;
    }
    for (let at = 0; at < count; at += kAudioChunk) {
      const frames = Math.min(kAudioChunk, count - at);
      const chunk = new Float32Array(frames * 2);
      chunk.set(planes.subarray(at, at + frames), 0);
      chunk.set(planes.subarray(count + at, count + at + frames), frames);
      const data = new AudioData({ format: 'f32-planar', sampleRate: rate, numberOfFrames: frames, numberOfChannels: 2,
                                   timestamp: Math.round((start + at) * 1e6 / rate), data: chunk });
      encoder.encode(data);
      data.close();
    }
  }
}

// "0:07", "12:30" or "1:02:03", as xmastrace_render's progress line.
function formatTime(seconds) {
  const whole = Math.max(0, Math.round(seconds));
  const [hours, minutes, rest] = [Math.floor(whole / 3600), Math.floor(whole / 60) % 60, whole % 60];
  const tail = `${String(minutes).padStart(hours ? 2 : 1, '0')}:${String(rest).padStart(2, '0')}`;
  return hours ? `${hours}:${tail}` : tail;
}

// The video being made: at most one at a time. A cancelled one is no
// longer it, even while it winds down.
let making = null;

// No video while one is made, nor while the graphics are away: its frames
// would be drawn with objects the lost context took along.
function offerVideoButton() {
  videoButton.disabled = making !== null || window.xmastrace.lost;
}

function showProgress(done, total, started) {
  videoProgress.hidden = false;
  videoProgress.querySelector('progress').max = total;
  videoProgress.querySelector('progress').value = done;
  const elapsed = (performance.now() - started) / 1000;
  const left = done > 0 ? formatTime(elapsed / done * (total - done)) : '--:--';
  videoProgress.querySelector('span').textContent = `${done}/${total} frames, ${left} left`;
}

function pageReady() {
  if (window.xmastrace.ready) return Promise.resolve();
  return new Promise((resolve) => window.addEventListener('xmastrace-ready', resolve, { once: true }));
}

const aborted = () => new DOMException('The video was cancelled.', 'AbortError');
const graphicsLost = () => new Error('The graphics were reset: make the video again once the picture is back.');
// The browser tells the page of a lost context a task later; what fails in
// between (a frame that could not be read back) fails for the loss.
const contextLost = () =>
  window.xmastrace.lost || !!document.getElementById('canvas').getContext('webgl2')?.isContextLost();

function videoBitRate(plan) {
  return Math.max(kLeastBitRate, Math.round(plan.width * plan.height * plan.fps * kBitsPerPixel));
}

// Refuses, before any frame is drawn, a file larger than the page can hold.
function checkVideoBytes(plan) {
  const bytes = (videoBitRate(plan) + kAudioBitRate) * plan.frames / plan.fps / 8;
  if (bytes <= kMostVideoBytes) return;
  const megabytes = (value) => Math.round(value / 1e6).toLocaleString('en');
  throw new RangeError(`The video would be about ${megabytes(bytes)} MB, more than the ` +
                       `${megabytes(kMostVideoBytes)} MB a page can safely hold: make it shorter or smaller.`);
}

// Encodes and muxes the frames the program hands over; resolves with the
// MP4 when the last is in, rejects when cancelled or an encoder fails.
async function makeVideo(options = {}) {
  const args = videoArguments(options);
  if (making) throw new Error('A video is being made already.');
  if (window.xmastrace.lost) throw graphicsLost();
  const run = { started: performance.now(), done: 0, cancelled: null, cancel: null };
  making = run;
  offerVideoButton();
  try {
    return await prepareVideo(run, args);
  } finally {
    if (making === run) {
      making = null;
      videoProgress.hidden = true;
    }
    offerVideoButton();
  }
}

async function prepareVideo(run, args) {
  // Every wait may end in a cancel, and the next video may have begun.
  const wait = async (promise) => {
    const value = await promise;
    if (run.cancelled) throw run.cancelled;
    return value;
  };
  if (window.xmastrace.failure) throw new Error(window.xmastrace.failure);
  const problem = await wait(videoProblem());
  if (problem) throw new Error(problem);
  await wait(pageReady());
  const plan = JSON.parse(Module.ccall('xmastraceVideoPlan', 'string', ['number', 'string'],
                                       [Module.videoState ?? 0, args]));
  if (plan.error) throw new RangeError(plan.error);
  checkVideoBytes(plan);
  const codec = await wait(videoCodec(plan.width, plan.height, true));
  if (!codec) throw new Error(`This browser's H.264 encoder does not take ${plan.width}x${plan.height}.`);
  showProgress(0, plan.frames, run.started);
  const audio = await wait(audioChoice());
  const tune = audio ? await wait(decodeTune(audio.sampleRate).catch(() => null)) : null;
  if (!tune) console.warn('The video will be silent: this browser can neither decode nor encode the tune.');
  run.plan = plan;
  run.started = performance.now();
  return encodeVideo(run, codec, audio, tune, args);
}

function encodeVideo(run, codec, audio, tune, args) {
  const { plan } = run;
  return new Promise((resolve, reject) => {
    const muxer = new Mp4Muxer.Muxer({
      target: new Mp4Muxer.ArrayBufferTarget(),
      video: { codec: 'avc', width: plan.width, height: plan.height, frameRate: plan.fps },
      audio: tune ? { codec: audio.muxer, numberOfChannels: 2, sampleRate: audio.sampleRate } : undefined,
      fastStart: 'in-memory',
      firstTimestampBehavior: 'offset',
    });
    const encoders = [];
    let failed = false;
    const fail = (error) => {
      if (failed) return;
      failed = true;
      Module._xmastraceVideoStop(Module.videoState ?? 0);
      for (const encoder of encoders) if (encoder.state !== 'closed') encoder.close();
      reject(error);
    };
    // A chunk the muxer refuses would otherwise vanish inside the encoder's
    // callback, and a video short of frames would be offered as made.
    const muxing = (add) => (chunk, meta) => {
      try {
        add(chunk, meta);
      } catch (error) {
        fail(error);
      }
    };
    const video = new VideoEncoder({
      output: muxing((chunk, meta) => muxer.addVideoChunk(chunk, mendedDecoderConfig(chunk, meta))), error: fail });
    encoders.push(video);
    video.configure(videoConfig(codec, plan.width, plan.height, plan.fps, videoBitRate(plan)));
    let tuneEncoded = Promise.resolve();
    if (tune) {
      // An AAC packet is always 1,024 sample frames; WebKitGTK stamps each
      // with the time of the AudioData it came from, four packets at once,
      // which would leave the file's sound short. Opus's come right.
      let packets = 0;
      const packetTime = () => audio.muxer === 'aac' ? packets++ * 1024 * 1e6 / audio.sampleRate : undefined;
      const sound = new AudioEncoder({ output: muxing((chunk, meta) => muxer.addAudioChunk(chunk, meta, packetTime())),
                                       error: fail });
      encoders.push(sound);
      sound.configure(audio.config);
      const length = Math.floor(plan.frames * audio.sampleRate / plan.fps);
      tuneEncoded = encodeTune(tune, length, sound, () => failed).catch(fail);
    }
    run.cancel = fail;
    const frameMicros = 1e6 / plan.fps;
    Module.videoFrameWanted = () => video.encodeQueueSize < kEncoderQueue;
    Module.onVideoFrame = (planes, index) => {
      if (failed) return;
      try {
        if (planes.length === 0) {
          throw contextLost() ? graphicsLost() : new Error('A frame of the video could not be read back.');
        }
        const frame = new VideoFrame(planes, { format: 'I420', codedWidth: plan.width, codedHeight: plan.height,
                                               colorSpace: kColorSpace, timestamp: Math.round(index * frameMicros),
                                               duration: Math.round(frameMicros) });
        video.encode(frame, { keyFrame: index % (kKeyFrameSeconds * plan.fps) === 0 });
        frame.close();
      } catch (error) {
        fail(error);
        return;
      }
      run.done = index + 1;
      showProgress(run.done, plan.frames, run.started);
      if (run.done === plan.frames) finish();
    };
    const finish = async () => {
      try {
        await tuneEncoded;
        if (failed) return;
        await Promise.all(encoders.map((encoder) => encoder.flush()));
        if (failed) return;
        muxer.finalize();
        for (const encoder of encoders) encoder.close();
        resolve(new Blob([muxer.target.buffer], { type: 'video/mp4' }));
      } catch (error) {
        fail(error);
      }
    };
    const started = Module.ccall('xmastraceVideoStart', 'number', ['number', 'string'], [Module.videoState ?? 0, args]);
    if (started !== 1) {
      fail(started < 0 || contextLost() ? graphicsLost()
                                                : new Error('The video could not start; the browser\'s console says why.'));
    }
  });
}

// Also when the graphics are lost: the page calls it then, and the video
// fails with that reason rather than as cancelled.
function cancelVideo() {
  const run = making;
  if (run) {
    making = null;
    videoProgress.hidden = true;
    run.cancelled = window.xmastrace.lost ? graphicsLost() : aborted();
    if (run.cancel) run.cancel(run.cancelled);
  }
  offerVideoButton();
}

// The finished video, to download or, where the browser shares files (as
// phones do), to send straight to a messenger.
let offeredUrl = null;
function offerVideo(blob) {
  if (offeredUrl) URL.revokeObjectURL(offeredUrl);
  offeredUrl = URL.createObjectURL(blob);
  const link = document.getElementById('video-download');
  link.href = offeredUrl;
  const file = new File([blob], 'greeting.mp4', { type: 'video/mp4' });
  const share = document.getElementById('video-share');
  share.hidden = !(navigator.canShare && navigator.canShare({ files: [file] }));
  share.onclick = () => navigator.share({ files: [file] }).catch(() => {});
  videoDone.hidden = false;
}

function closeOffer() {
  videoDone.hidden = true;
  if (offeredUrl) URL.revokeObjectURL(offeredUrl);
  offeredUrl = null;
  document.getElementById('video-download').removeAttribute('href');
}

window.xmastrace.makeVideo = (options) => makeVideo(options);
window.xmastrace.cancelVideo = cancelVideo;

videoButton.addEventListener('click', () => {
  closeOffer();
  makeVideo().then(offerVideo, (error) => {
    if (error.name !== 'AbortError') showNotice(`No video: ${error.message}`);
  });
});
document.getElementById('video-cancel').addEventListener('click', cancelVideo);
document.getElementById('video-close').addEventListener('click', closeOffer);
window.addEventListener('xmastrace-restored', offerVideoButton);

videoProblem().then((problem) => {
  videoButton.hidden = problem !== '';
  videoNote.hidden = problem === '';
  videoNote.textContent = problem;
});
