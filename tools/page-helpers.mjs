// What the page tests share once the page is served: opening it in a fresh
// browser context (the one before is closed), with the page's errors
// collected, and reading the picture the canvas shows.

// A page's console messages that count as errors: error messages alone.
const consoleError = (message) => message.type() === 'error';

// Returns open(query, options), which resolves to { context, page, errors,
// firstPicture } once the page has its first picture or says why not
// (not waited for when `prepare` is given, so that it can act first).
// Options: contextOptions (the viewport, 384x256, by default), initScript,
// prepare(page) before the page loads, isError(message) for console
// messages (null: page errors alone count), and timeout for the wait.
export function pageOpener(browser, origin) {
  let context = null;
  return async (query = '', {
    contextOptions = { viewport: { width: 384, height: 256 } },
    initScript = null,
    prepare = null,
    isError = consoleError,
    timeout,
  } = {}) => {
    await context?.close();
    context = await browser.newContext(contextOptions);
    if (initScript) await context.addInitScript(initScript);
    const page = await context.newPage();
    const errors = [];
    if (isError) page.on('console', (m) => isError(m) && errors.push(m.text()));
    page.on('pageerror', (e) => errors.push(e.message));
    await prepare?.(page);
    const start = Date.now();
    await page.goto(`${origin}/index.html${query}`);
    const started = () => window.xmastrace.ready || window.xmastrace.failure;
    if (!prepare) await page.waitForFunction(started, null, timeout ? { timeout } : {});
    return { context, page, errors, firstPicture: Date.now() - start };
  };
}

// The RGBA bytes of the picture the canvas shows, row 0 at the top, from
// the page's snapshot() (the canvas itself is emptied once on screen); with
// `width`, scaled down to at most that width first.
export function canvasPixels(page, width = 0) {
  return page.evaluate(async (width) => {
    const { picture } = await window.xmastrace.snapshot();
    const source = await createImageBitmap(picture, { colorSpaceConversion: 'none' });
    const scale = width > 0 ? Math.min(1, width / source.width) : 1;
    const copy = Object.assign(document.createElement('canvas'), {
      width: Math.round(source.width * scale), height: Math.round(source.height * scale) });
    const context = copy.getContext('2d');
    context.drawImage(source, 0, 0, copy.width, copy.height);
    return Array.from(context.getImageData(0, 0, copy.width, copy.height).data);
  }, width);
}
