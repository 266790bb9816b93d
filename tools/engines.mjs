// The page in the three browser engines Debian ships, behind one small
// interface, for the page tests and figures that compare them:
//   chromium  Debian's Chromium through playwright-core (page-server.mjs);
//   firefox   Firefox ESR through puppeteer-core over WebDriver BiDi;
//   webkit    WebKitGTK's MiniBrowser through WebKitWebDriver and
//             selenium-webdriver (WebKit's only automation here).
// Each engine opens one page of a given CSS size; evaluate() runs a function
// in it with one JSON argument and resolves with its JSON result, awaited.
// Firefox and WebKitGTK offer WebGL 2 only with a display: without DISPLAY
// an Xvfb of our own is started and ended with the last engine.
import { spawn } from 'node:child_process';
import { existsSync } from 'node:fs';
import { createServer } from 'node:net';
import { createRequire } from 'node:module';
import { launchChromium } from './page-server.mjs';

const require = createRequire(new URL('../web/package.json', import.meta.url));

export const kEngines = ['chromium', 'firefox', 'webkit'];
const kFirefox = '/usr/bin/firefox-esr';
const kMiniBrowser = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
const kWebDriver = '/usr/bin/WebKitWebDriver';

// Why an engine cannot run on this machine, or '' when it can.
export function engineMissing(engine) {
  if (engine === 'firefox' && !existsSync(kFirefox)) return `no ${kFirefox} (firefox-esr)`;
  if (engine === 'webkit' && !(existsSync(kWebDriver) && existsSync(kMiniBrowser))) {
    return `no ${kWebDriver} and MiniBrowser (webkit2gtk-driver)`;
  }
  return '';
}

// `chromiumArgs` picks Chromium's GPU back end (SwiftShader by default).
export async function launchEngine(engine, size = { width: 384, height: 256 },
                                   chromiumArgs = ['--enable-unsafe-swiftshader']) {
  await ensureDisplay();
  const launchers = { chromium: launchChromiumPage, firefox: launchFirefox, webkit: launchWebKit };
  if (!launchers[engine]) throw new Error(`no engine called ${engine}`);
  const opened = await launchers[engine](size, chromiumArgs);
  ++openEngines;
  let closed = false;
  return {
    ...opened,
    name: engine,
    // Polls rather than using a driver's own wait, which WebDriver lacks.
    async waitFor(fn, arg = null, timeout = 60000) {
      const end = Date.now() + timeout;
      for (;;) {
        const value = await opened.evaluate(fn, arg);
        if (value) return value;
        if (Date.now() > end) throw new Error(`${engine}: waited ${timeout} ms for ${fn}`);
        await new Promise((resolve) => setTimeout(resolve, 100));
      }
    },
    async close() {
      if (closed) return;
      closed = true;
      await opened.close().catch(() => {});
      if (--openEngines === 0) endDisplay();
    },
  };
}

async function launchChromiumPage(size, args) {
  const browser = await launchChromium(args);
  const page = await browser.newPage({ viewport: size });
  return {
    version: browser.version(),
    goto: (url) => page.goto(url).then(() => {}),
    evaluate: (fn, arg) => page.evaluate(fn, arg),
    close: () => browser.close(),
  };
}

async function launchFirefox(size) {
  const puppeteer = require('puppeteer-core');
  const browser = await puppeteer.launch({
    browser: 'firefox', executablePath: kFirefox, headless: false,
    defaultViewport: size,
    // Mesa's llvmpipe is on Firefox's block list; the page needs its WebGL 2.
    extraPrefsFirefox: { 'webgl.force-enabled': true, 'media.autoplay.default': 0 },
  });
  const page = (await browser.pages())[0] ?? await browser.newPage();
  await page.setViewport(size);
  return {
    version: await browser.version(),
    goto: (url) => page.goto(url, { waitUntil: 'load' }).then(() => {}),
    evaluate: (fn, arg) => page.evaluate(fn, arg),
    close: () => browser.close(),
  };
}

async function launchWebKit(size) {
  const { Builder } = require('selenium-webdriver');
  const port = await freePort();
  const server = spawn(kWebDriver, [`--port=${port}`], { stdio: 'ignore' });
  let driver = null;
  try {
    await waitForPort(port);
    driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
      browserName: 'MiniBrowser',
      'webkitgtk:browserOptions': { binary: kMiniBrowser, args: ['--automation'] },
    }).build();
    await driver.manage().setTimeouts({ script: 600000, pageLoad: 120000 });
  } catch (error) {
    server.kill();
    throw error;
  }
  const evaluate = async (fn, arg) => {
    // An async script: the page's promise settles it, its error comes back.
    const script = `const done = arguments[1];
      Promise.resolve().then(() => (${fn})(arguments[0]))
        .then((value) => done({ value: value === undefined ? null : value }),
              (error) => done({ error: String(error && error.stack || error) }));`;
    const result = await driver.executeAsyncScript(script, arg);
    if (result.error) throw new Error(result.error);
    return result.value;
  };
  const capabilities = await driver.getCapabilities();
  // The window holds MiniBrowser's tool bar: size it so that the page gets `size`.
  await driver.manage().window().setRect(size);
  const inner = await evaluate(() => [innerWidth, innerHeight]);
  await driver.manage().window().setRect({ width: 2 * size.width - inner[0],
                                           height: 2 * size.height - inner[1] });
  return {
    version: capabilities.get('browserVersion'),
    goto: (url) => driver.get(url),
    evaluate,
    close: async () => {
      await driver.quit().catch(() => {});
      server.kill();
    },
  };
}

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = createServer().listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    }).on('error', reject);
  });
}

async function waitForPort(port, timeout = 10000) {
  const end = Date.now() + timeout;
  for (;;) {
    try {
      const response = await fetch(`http://127.0.0.1:${port}/status`);
      if (response.ok) return;
    } catch {}
    if (Date.now() > end) throw new Error(`WebKitWebDriver did not answer on port ${port}`);
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
}

// The display every engine shares; ours only when there was none.
let openEngines = 0;
let xvfb = null;
async function ensureDisplay() {
  if (process.env.DISPLAY) return;
  xvfb = spawn('Xvfb', ['-displayfd', '1', '-screen', '0', '1280x1024x24', '-noreset', '-nolisten', 'tcp'],
               { stdio: ['ignore', 'pipe', 'ignore'] });
  const number = await new Promise((resolve, reject) => {
    xvfb.stdout.once('data', (data) => resolve(String(data).trim()));
    xvfb.once('exit', () => reject(new Error('Xvfb did not start')));
  });
  process.env.DISPLAY = `:${number}`;
}

function endDisplay() {
  if (!xvfb) return;
  xvfb.kill();
  xvfb = null;
  delete process.env.DISPLAY;
}
