// The page around the greeting: reads the URL's options, starts the program
// with them, runs the buttons, the tune and the panel that makes links with
// other words, and offers window.xmastrace to embedding pages and tests.
'use strict';

const kKeyF2 = 259;  // the program's code for F2 (src/app/KeyCodes.h)

const params = new URLSearchParams(location.search);
const canvas = document.getElementById('canvas');
const message = document.getElementById('message');
const bar = document.getElementById('bar');
const counter = document.getElementById('samples');
const denoiseButton = document.getElementById('denoise');
const soundButton = document.getElementById('sound');
const saveButton = document.getElementById('save');
const statusBox = document.getElementById('status');
const statusText = document.getElementById('status-text');
const reloadButton = document.getElementById('reload');
// How long a lost GPU context may take to come back before the page offers
// a reload: browsers give it back within a second or two when they can.
const kRestoreWaitMs = 5000;

// What the page shows, for scripts: `ready` once the first picture is drawn
// at full resolution, `samples` in the picture now, its size in device
// pixels, whether the tune is playing, `lost` from a GPU reset until the
// picture is back, when (performance.now()) the canvas first showed
// anything and last changed, and on a tour (?tour) the path time in seconds
// of the picture shown (null when not touring).
window.xmastrace = { ready: false, samples: 0, width: 0, height: 0, playing: false, failure: null,
                     lost: false, firstShown: null, lastShown: null, tourTime: null };

// A query value as the URL carries it, still percent-encoded: the program
// decodes it by the same rules the panel's links are written for. Null when
// the URL has none.
function rawParameter(name) {
  for (const part of location.search.slice(1).split('&')) {
    const at = part.indexOf('=');
    if ((at < 0 ? part : part.slice(0, at)) === name) return at < 0 ? '' : part.slice(at + 1);
  }
  return null;
}

// The program reads the values whole, by its own bounds and words, and
// names any it does not use (Module.onIgnoredOption).
function programArguments() {
  const args = [];
  const text = rawParameter('text');
  if (text !== null) args.push('--text', text);
  for (const name of ['view', 'samples', 'fast', 'budget', 'tour', 'reuse']) {
    if (params.has(name)) args.push(`--${name}`, params.get(name));
  }
  return args;
}

// Says what the canvas is waiting for, over it; a reload button with it
// when only a reload can help.
function showStatus(text, offerReload = false) {
  statusText.textContent = text;
  reloadButton.hidden = !offerReload;
  statusBox.hidden = false;
}
reloadButton.addEventListener('click', () => location.reload());

// "save" writes only a picture that is shown: none before the first, none
// while the graphics are away.
function pictureShown() {
  return window.xmastrace.ready && !window.xmastrace.lost && !window.xmastrace.failure;
}
function offerSave() {
  saveButton.disabled = !pictureShown();
}
offerSave();

let restoreTimer = 0;
function onContextLost() {
  window.xmastrace.lost = true;
  // A video's frames were being drawn with the GL objects that went with
  // the context: it cannot be finished.
  window.xmastrace.cancelVideo?.();
  offerSave();
  showStatus('The graphics were reset; restoring them\u2026');
  clearTimeout(restoreTimer);
  restoreTimer = setTimeout(() => {
    showStatus('The graphics could not be restored. Reloading the page may bring them back.', true);
  }, kRestoreWaitMs);
}

function onContextRestored() {
  clearTimeout(restoreTimer);
  window.xmastrace.lost = false;
  statusBox.hidden = true;
  offerSave();
  window.dispatchEvent(new Event('xmastrace-restored'));
}

function showMessage(text) {
  statusBox.hidden = true;
  window.xmastrace.failure = text;
  message.textContent = text;
  message.hidden = false;
  canvas.hidden = true;
  bar.hidden = true;
}

// The tune: decoded once and looped by Web Audio, which leaves no gap at the
// seam. Browsers allow sound only after a click, tap or key, so it starts
// with the first of them (or the sound button).
const tune = { wanted: false, on: true, touched: false, context: null, gain: null, buffer: null,
               source: null };

// Made once the first picture is drawn, while the GPU is still busy with
// it: Chromium takes 0.2 to 0.35 s to make an AudioContext, and made in the
// first touch's handler it held back the picture that touch moved. Until a
// touch resumes it, the context waits suspended, even where the browser
// would let it play at once.
function makeTuneContext() {
  if (tune.context) return;
  tune.context = new AudioContext();
  if (!tune.touched) tune.context.suspend();
  tune.gain = tune.context.createGain();
  tune.gain.gain.value = 0.25;
  tune.gain.connect(tune.context.destination);
  tune.context.onstatechange = () => {
    window.xmastrace.playing = tune.context.state === 'running';
  };
  fetch('sound.mp3')
    .then((response) => response.arrayBuffer())
    .then((bytes) => tune.context.decodeAudioData(bytes))
    .then((buffer) => {
      tune.buffer = buffer;
      startSource();
    })
    .catch((error) => console.warn('The tune cannot play:', error.message));
}

function startSource() {
  if (!tune.buffer || tune.source || !tune.touched || !tune.on) return;
  tune.source = tune.context.createBufferSource();
  tune.source.buffer = tune.buffer;
  tune.source.loop = true;
  tune.source.connect(tune.gain);
  tune.source.start();
  window.xmastrace.playing = tune.context.state === 'running';
}

function startPlaying() {
  if (!tune.wanted || !tune.on) return;
  tune.touched = true;
  makeTuneContext();
  tune.context.resume();
  startSource();
}

function setSound(on) {
  tune.on = on;
  soundButton.setAttribute('aria-pressed', String(on));
  if (on) startPlaying();
  else if (tune.context) tune.context.suspend();
}

// The sound button decides for itself, or its first press would start the
// tune and stop it again.
function onGesture(event) {
  if (event.target !== soundButton) startPlaying();
}
for (const type of ['pointerdown', 'keydown', 'touchstart']) {
  window.addEventListener(type, onGesture, { capture: true });
}

soundButton.addEventListener('click', () => {
  const playing = tune.context !== null && tune.context.state === 'running';
  setSound(!(tune.on && playing));
});
denoiseButton.addEventListener('click', () => Module._xmastraceTogglePress(Module.pageState ?? 0, kKeyF2));
document.getElementById('fullscreen').addEventListener('click', () => {
  if (document.fullscreenElement) document.exitFullscreen();
  else document.documentElement.requestFullscreen();
});
// The samples in the picture the canvas shows, as of the frame that showed
// it: a frame that only draws a band changes nothing shown.
let shownSamples = 0;

// The picture the canvas shows, from the program's own copy of it (the
// canvas's drawing buffer is emptied once on screen): a PNG Blob in device
// pixels, the samples in it and the tour's time, or null when not touring.
// The moving picture before `ready` too: it is what a visitor sees.
function snapshot() {
  const page = window.xmastrace;
  if (page.lost || page.failure || !Module._xmastraceShownPicture(Module.pageState ?? 0)) {
    return Promise.reject(new Error('no picture is shown'));
  }
  const [pixels, width, height] = Module.shownPicture;
  Module.shownPicture = null;
  const copy = Object.assign(document.createElement('canvas'), { width, height });
  copy.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(pixels.buffer), width, height), 0, 0);
  const samples = shownSamples;
  const tourTime = window.xmastrace.tourTime ?? null;
  return new Promise((resolve, reject) => copy.toBlob((picture) => {
    if (picture) resolve({ picture, tourTime, samples });
    else reject(new Error('the picture could not be made a PNG'));
  }, 'image/png'));
}
window.xmastrace.snapshot = snapshot;

saveButton.addEventListener('click', () => {
  if (!pictureShown()) return;
  snapshot().then(({ picture }) => {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(picture);
    link.download = 'greeting.png';
    link.click();
    URL.revokeObjectURL(link.href);
  }, (error) => console.warn('The picture cannot be saved:', error.message));
});
// Buttons must not keep the keyboard: W S A D would press them.
for (const button of bar.querySelectorAll('button')) {
  button.addEventListener('mouseup', () => button.blur());
}

// Puts a message in an element as text, each quoted character isolated:
// a right-to-left letter in it must not reorder the words around it.
function showQuoting(element, text) {
  element.replaceChildren();
  text.split(/'(.)'/u).forEach((part, i) => {
    if (i % 2 === 0) {
      element.append(part);
    } else {
      const quoted = document.createElement('bdi');
      quoted.textContent = part;
      element.append("'", quoted, "'");
    }
  });
}

// Says, as text, why the link's words are not on the wall.
const notice = document.getElementById('notice');
notice.addEventListener('click', () => { notice.hidden = true; });
function showNotice(text) {
  showQuoting(notice, text);
  notice.hidden = false;
}

// Names the URL options the program left at their defaults, in a corner,
// without taking the picture's clicks or keys.
const note = document.getElementById('note');
function addNote(text) {
  note.append(Object.assign(document.createElement('div'), { textContent: text }));
  note.hidden = false;
}

// Read as the program reads ?fast, and named when it is neither.
const ui = params.get('ui');
if (ui === '0' || ui === 'false') bar.hidden = true;
else if (ui !== null && !['', '1', 'true'].includes(ui)) addNote('?ui is ignored: it is not 1, true, 0 or false');

// "your words": type a text, see it checked by the program's own rules as
// it is typed, show it (the page loads again with it: the room is built at
// start-up) and copy its link. The panel stays open across that load.
const panel = document.getElementById('panel');
const words = document.getElementById('words');
const check = document.getElementById('check');
const linkField = document.getElementById('link');
const ownButton = document.getElementById('own');
const kPanelKey = 'xmastrace-panel';
let runtimeReady = false;
let shownWords = '';

function linkTo(text) {
  return new URL(`?text=${encodeURIComponent(text)}`, location.href).href;
}

// Unifont's glyphs come in blocks of 128 code points (glyphs/XXXX.hex,
// beside the page), fetched when words need them and then kept: the browser's
// cache keeps the files, this map the texts, so words whose blocks are here
// are checked at once.
const kGlyphBlock = 128;
const glyphBlocks = new Map();
const glyphTexts = new Map();

function blocksFor(text) {
  const composed = text.normalize('NFC');
  const names = new Set();
  for (const c of composed + composed.toUpperCase()) {
    const code = c.codePointAt(0);
    if (code >= 0x10000) continue;  // Unifont's file holds the first plane only
    names.add((code - (code % kGlyphBlock)).toString(16).toUpperCase().padStart(4, '0'));
  }
  return [...names];
}

function fetchBlock(name) {
  if (!glyphBlocks.has(name)) {
    glyphBlocks.set(name, fetch(`glyphs/${name}.hex`)
      .then((response) => (response.ok ? response.text() : ''), () => '')
      .then((text) => { glyphTexts.set(name, text); return text; }));
  }
  return glyphBlocks.get(name);
}

// The glyphs here of the blocks `text` needs, and whether they are all here.
function glyphsAtHand(text) {
  const names = blocksFor(text);
  return { glyphs: names.map((name) => glyphTexts.get(name) ?? '').join(''),
           complete: names.every((name) => glyphTexts.has(name)) };
}

function glyphsFor(text) {
  return Promise.all(blocksFor(text).map(fetchBlock)).then((texts) => texts.join(''));
}

// The link's words are built into the room at start-up: the program waits
// for their glyphs, which it reads from its own files.
function fetchLinkGlyphs() {
  const raw = rawParameter('text');
  if (raw === null) return;
  let text;
  try {
    text = decodeURIComponent(raw.replace(/\+/g, ' '));
  } catch {
    return;  // the program names what is wrong with it
  }
  Module.addRunDependency('glyphs');
  glyphsFor(text).then((hex) => {
    Module.FS_createDataFile('/', 'glyphs.hex', hex, true, false);
    Module.removeRunDependency('glyphs');
  });
}

// Until the program has started there are no rules to check by: no link,
// and nothing to show or copy. Words whose glyphs are still on their way are
// checked with those at hand (a text that fits then fits with all of them),
// and again when the rest arrive.
function checkWords() {
  const typed = words.value;
  let problem = null;
  if (runtimeReady) {
    const { glyphs, complete } = glyphsAtHand(typed);
    if (!complete) glyphsFor(typed).then(() => words.value === typed && checkWords());
    problem = Module.ccall('xmastraceCheckText', 'string', ['string', 'string'], [typed, glyphs]);
  }
  // An empty field is a start, not a mistake.
  const waiting = 'checked once the greeting has loaded';
  showQuoting(check, !typed ? '' : problem === null ? waiting : problem);
  linkField.value = problem === '' ? linkTo(typed) : '';
  for (const id of ['show', 'copy']) document.getElementById(id).disabled = problem !== '';
}

// The tab's storage remembers an open panel across the load; a page that
// may not store (some embeddings) opens it closed.
function rememberPanel(open) {
  try {
    if (open) sessionStorage.setItem(kPanelKey, '1');
    else sessionStorage.removeItem(kPanelKey);
  } catch {}
}

function panelWasOpen() {
  try {
    return sessionStorage.getItem(kPanelKey) === '1';
  } catch {
    return false;
  }
}

function openPanel(open, focus = true) {
  panel.hidden = !open;
  ownButton.setAttribute('aria-pressed', String(open));
  rememberPanel(open);
  if (!open) return;
  if (!words.value) words.value = shownWords;
  checkWords();
  if (focus) words.focus();
}

ownButton.addEventListener('click', () => openPanel(panel.hidden));
// The program takes the mouse's press for itself, so the canvas would not
// take the keyboard back from the panel's field on its own.
canvas.addEventListener('pointerdown', () => canvas.focus());
words.addEventListener('input', checkWords);
panel.addEventListener('submit', (event) => {
  event.preventDefault();
  if (linkField.value) location.assign(linkField.value);
});
const copyButton = document.getElementById('copy');
copyButton.addEventListener('click', () => {
  if (!linkField.value) return;
  linkField.select();
  const copied = () => {
    copyButton.textContent = 'copied';
    setTimeout(() => { copyButton.textContent = 'copy link'; }, 1500);
  };
  // The clipboard API needs a secure page (https, or 127.0.0.1); elsewhere
  // the older command, and at worst the link stays selected for the user.
  const fallback = () => document.execCommand('copy') && copied();
  if (navigator.clipboard) navigator.clipboard.writeText(linkField.value).then(copied, fallback);
  else fallback();
});

var Module = {
  canvas,
  arguments: programArguments(),
  preRun: [fetchLinkGlyphs],
  onFrame(samples, width, height, first, denoising, shown, tourTime) {
    const page = window.xmastrace;
    if (shown) {
      shownSamples = samples;
      page.lastShown = performance.now();
      page.firstShown ??= page.lastShown;
    }
    page.tourTime = tourTime;
    page.samples = samples;
    page.width = width;
    page.height = height;
    counter.textContent = samples === 1 ? '1 sample' : `${samples} samples`;
    denoiseButton.setAttribute('aria-pressed', String(!!denoising));
    if (first) {
      if (tune.wanted) setTimeout(makeTuneContext, 0);
      if (!bar.hidden && panelWasOpen()) openPanel(true, false);
      page.ready = true;
      statusBox.hidden = true;
      offerSave();
      window.dispatchEvent(new Event('xmastrace-ready'));
    }
  },
  onFailure: showMessage,
  onContextLost,
  onContextRestored,
  onRefusedText(why, text) {
    shownWords = text;
    showNotice(why);
  },
  onGreeting(text) {
    shownWords = text;
    document.title = `${text.replace('|', ' ')} \u2014 merry christmas`;
  },
  onIgnoredOption: addNote,
  onRuntimeInitialized() {
    runtimeReady = true;
    checkWords();
  },
  onAbort: () => showMessage('The greeting stopped; the browser\'s console says why.'),
  startTune() {
    tune.wanted = true;
    soundButton.setAttribute('aria-pressed', 'true');
  },
  stopTune() {
    if (tune.context) tune.context.close();
  },
};
