// What each browser engine here offers the page, and how fast it draws it:
//   node tools/web-engines.mjs BUILD_WEB [engine...]
// Prints, per engine, the WebGL 2 extensions and limits the page relies on,
// WebCodecs' H.264, AAC and Opus and navigator.share with files; then the
// time to the first picture and a path sample's time at 768x512 (whole
// passes, ?budget=0). Chromium draws through ANGLE over GLX on Mesa's
// llvmpipe, the Mesa that Firefox and WebKitGTK draw with under Xvfb.
import { servePage } from './page-server.mjs';
import { engineMissing, kEngines, launchEngine } from './engines.mjs';

const [buildWeb, ...chosen] = process.argv.slice(2);
const engines = chosen.length ? chosen : kEngines;
const { server, origin } = await servePage(buildWeb);
const kChromiumOnMesa = ['--use-angle=gl', '--ignore-gpu-blocklist'];

function offers() {
  const gl = document.createElement('canvas').getContext('webgl2');
  if (!gl) return { webgl2: false };
  const extensions = gl.getSupportedExtensions();
  const has = (name) => extensions.includes(name);
  const encodes = async (Encoder, config) => {
    try {
      return typeof Encoder !== 'undefined' && (await Encoder.isConfigSupported(config)).supported;
    } catch {
      return false;
    }
  };
  const file = new File([new Uint8Array(4)], 'greeting.mp4', { type: 'video/mp4' });
  return Promise.all([
    encodes(globalThis.VideoEncoder, { codec: 'avc1.640028', width: 768, height: 512 }),
    encodes(globalThis.VideoEncoder, { codec: 'avc1.42001f', width: 768, height: 512 }),
    encodes(globalThis.AudioEncoder, { codec: 'mp4a.40.2', sampleRate: 44100, numberOfChannels: 2, bitrate: 128000 }),
    encodes(globalThis.AudioEncoder, { codec: 'opus', sampleRate: 48000, numberOfChannels: 2, bitrate: 128000 }),
  ]).then(([high, baseline, aac, opus]) => ({
    webgl2: true,
    EXT_color_buffer_float: has('EXT_color_buffer_float'),
    EXT_color_buffer_half_float: has('EXT_color_buffer_half_float'),
    EXT_float_blend: has('EXT_float_blend'),
    OES_texture_float_linear: has('OES_texture_float_linear'),
    KHR_parallel_shader_compile: has('KHR_parallel_shader_compile'),
    MAX_DRAW_BUFFERS: gl.getParameter(gl.MAX_DRAW_BUFFERS),
    MAX_COLOR_ATTACHMENTS: gl.getParameter(gl.MAX_COLOR_ATTACHMENTS),
    MAX_TEXTURE_SIZE: gl.getParameter(gl.MAX_TEXTURE_SIZE),
    'H.264 High / Baseline': `${high} / ${baseline}`,
    'AAC / Opus': `${aac} / ${opus}`,
    'share files': Boolean(navigator.canShare?.({ files: [file] })),
  }));
}

async function timings(engine) {
  const start = Date.now();
  await engine.goto(`${origin}/index.html?samples=9&budget=0&ui=0`);
  await engine.waitFor(() => window.xmastrace.ready || window.xmastrace.failure, null, 120000);
  const firstPicture = Date.now() - start;
  // From the end of the first whole sample to the end of the ninth.
  const [first, last] = await engine.evaluate(async () => {
    const at = async (samples) => {
      while (window.xmastrace.samples < samples) await new Promise((resolve) => setTimeout(resolve, 5));
      return performance.now();
    };
    return [await at(1), await at(9)];
  });
  return { firstPicture, pathSample: (last - first) / 8 };
}

for (const name of engines) {
  const missing = engineMissing(name);
  if (missing) {
    console.log(`${name}: not here (${missing})`);
    continue;
  }
  const engine = await launchEngine(name, { width: 768, height: 512 }, kChromiumOnMesa);
  try {
    await engine.goto(`${origin}/index.html?samples=1&ui=0`);
    console.log(`${name} ${engine.version}: ${JSON.stringify(await engine.evaluate(offers))}`);
    for (let run = 0; run < 2; ++run) {
      const { firstPicture, pathSample } = await timings(engine);
      console.log(`${name}: first picture after ${firstPicture} ms, path sample ${pathSample.toFixed(0)} ms`);
    }
  } finally {
    await engine.close();
  }
}
server.close();
