// What the page tests and the page's figures share: build-web/ served on a
// loopback port as a static host would serve it, and Debian's Chromium
// driven by playwright-core at the version web/package-lock.json pins.
import { readFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { extname, join } from 'node:path';

const require = createRequire(new URL('../web/package.json', import.meta.url));
const { chromium } = require('playwright-core');

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                 '.css': 'text/css', '.mp3': 'audio/mpeg' };

// Serves the files of buildWeb, and nothing above it; resolves to the
// server and its origin.
export async function servePage(buildWeb) {
  const server = createServer((request, response) => {
    const path = new URL(request.url, 'http://x').pathname;
    try {
      const body = readFileSync(join(buildWeb, path.replace(/\.\./g, '')));
      response.writeHead(200, { 'Content-Type': kTypes[extname(path)] || 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { server, origin: `http://127.0.0.1:${server.address().port}` };
}

// Headless Chromium with `args` (the GPU back end, mostly). The sandbox is
// off: the tests run as root in CI.
export function launchChromium(args = []) {
  return chromium.launch({ executablePath: '/usr/bin/chromium', headless: true,
                           args: ['--no-sandbox', ...args] });
}
