// The page in Debian's headless Chromium, served from 127.0.0.1 by this script and driven over
// the DevTools protocol on a pipe (no downloads): the test mode's frames against
// glasswhirligo-capture --seek, normal mode from the start gesture to Escape, and the messages
// for missing files and a browser without WebAssembly.
//
// usage: node page_test.mjs SITE_DIR NATIVE_BUILD_DIR OUT_DIR
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';

const [site, nativeBuild, outDir] = process.argv.slice(2).map(p => path.resolve(p));
const kMoments = [5, 45, 95, 140, 185, 230];  // seconds after the part clock starts
// How long normal mode plays before Escape; GW_PAGE_WATCH_SECONDS=240 watches the whole show
// (for the frame times of every part).
const kWatchSeconds = Number(process.env.GW_PAGE_WATCH_SECONDS || 2);
const kTimeLimitMs = 240000 + kWatchSeconds * 1000;
let failures = 0;

function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) ++failures;
}

// ---- A static server on 127.0.0.1; /without/NAME/... serves the site with NAME missing, ------
// ---- /short/NAME/... with only NAME's first 300 bytes ---------------------------------------

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.ogg': 'audio/ogg', '.png': 'image/png' };

function serve() {
  const server = http.createServer((req, res) => {
    let url = new URL(req.url, 'http://127.0.0.1').pathname;
    let fault = null, faulty = null;
    const m = url.match(/^\/(without|short)\/([^/]+)(\/.*)$/);
    if (m) [, fault, faulty, url] = m;
    const name = path.basename(url === '/' ? '/index.html' : url);
    const file = path.join(site, name);
    if ((fault === 'without' && name === faulty) || !fs.existsSync(file)) {
      res.writeHead(404).end('not found');
      return;
    }
    res.writeHead(200, { 'Content-Type': kTypes[path.extname(name)] || 'application/octet-stream' });
    const bytes = fs.readFileSync(file);
    res.end(fault === 'short' && name === faulty ? bytes.subarray(0, 300) : bytes);
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// ---- Chromium over the DevTools pipe (fd 3 in, fd 4 out, messages end with NUL) -----------

class Browser {
  constructor() {
    this.profile = fs.mkdtempSync(path.join(os.tmpdir(), 'gw-chromium-'));
    this.proc = spawn('/usr/bin/chromium', [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--user-data-dir=${this.profile}`, '--remote-debugging-pipe', '--window-size=1280,900',
      'about:blank'], { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'] });
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [];
    let buffer = '';
    this.proc.stdio[4].on('data', chunk => {
      buffer += chunk.toString();
      let end;
      while ((end = buffer.indexOf('\0')) >= 0) {
        const message = JSON.parse(buffer.slice(0, end));
        buffer = buffer.slice(end + 1);
        if (message.id && this.pending.has(message.id)) {
          const { resolve, reject } = this.pending.get(message.id);
          this.pending.delete(message.id);
          if (message.error) reject(new Error(JSON.stringify(message.error)));
          else resolve(message.result);
        } else {
          for (const l of this.listeners) l(message);
        }
      }
    });
  }

  send(method, params = {}, sessionId = undefined) {
    const id = this.nextId++;
    this.proc.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + '\0');
    return new Promise((resolve, reject) => this.pending.set(id, { resolve, reject }));
  }

  // Politely first, so that no helper process is left writing into the profile.
  async close() {
    if (this.proc.exitCode === null) {
      const exited = new Promise(r => this.proc.once('exit', r));
      this.send('Browser.close').catch(() => {});
      if (!await Promise.race([exited.then(() => true), sleep(5000)])) {
        this.proc.kill('SIGKILL');
        await exited;
      }
    }
    fs.rmSync(this.profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
  }
}

class Page {
  static async open(browser) {
    const { targetId } = await browser.send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await browser.send('Target.attachToTarget', { targetId, flatten: true });
    const page = new Page(browser, sessionId);
    for (const domain of ['Page', 'Runtime', 'Log']) await page.send(`${domain}.enable`);
    await page.send('Emulation.setDeviceMetricsOverride',
      { width: 1280, height: 900, deviceScaleFactor: 1, mobile: false });
    return page;
  }

  constructor(browser, sessionId) {
    this.browser = browser;
    this.sessionId = sessionId;
    this.errors = [];
    browser.listeners.push(m => {
      if (m.sessionId !== sessionId) return;
      if (m.method === 'Runtime.exceptionThrown')
        this.errors.push(m.params.exceptionDetails.exception?.description || 'exception');
      if (m.method === 'Runtime.consoleAPICalled' && m.params.type === 'error')
        this.errors.push(m.params.args.map(a => a.value ?? a.description).join(' '));
      if (m.method === 'Log.entryAdded' && m.params.entry.level === 'error')
        this.errors.push(m.params.entry.text);
    });
  }

  send(method, params = {}) { return this.browser.send(method, params, this.sessionId); }

  async goto(url) {
    this.errors = [];
    await this.send('Page.navigate', { url });
    await this.waitFor('document.readyState === "complete"', 10000);
  }

  async eval(expression) {
    const r = await this.send('Runtime.evaluate',
      { expression, returnByValue: true, awaitPromise: true });
    if (r.exceptionDetails) throw new Error(`${expression}: ${r.exceptionDetails.text}`);
    return r.result.value;
  }

  async waitFor(expression, timeoutMs) {
    const until = Date.now() + timeoutMs;
    while (Date.now() < until) {
      if (await this.eval(expression).catch(() => false)) return true;
      await sleep(100);
    }
    return false;
  }

  async key(key, code, keyCode) {
    const text = key === 'Enter' ? '\r' : undefined;  // a button acts on the Enter character
    for (const type of ['keyDown', 'keyUp'])
      await this.send('Input.dispatchKeyEvent', { type, key, code, text: type === 'keyDown' ? text : undefined,
        windowsVirtualKeyCode: keyCode, nativeVirtualKeyCode: keyCode });
  }

  async screenshot(file) {
    const { data } = await this.send('Page.captureScreenshot', { format: 'png' });
    fs.writeFileSync(file, Buffer.from(data, 'base64'));
  }
}

const sleep = ms => new Promise(r => setTimeout(r, ms));

// ---- The checks --------------------------------------------------------------------------

// The canvas's 320 x 240 pixels as RGB bytes.
const kCanvasPixels = `(() => {
  const d = document.getElementById('screen').getContext('2d').getImageData(0, 0, 320, 240).data;
  let s = '';
  for (let i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]);
  return btoa(s);
})()`;

// The capture's RGB565 frame, widened to 8 bits as every backend presents it.
function capturedPixels(seconds) {
  const raw = path.join(outDir, `seek-${seconds}.raw`);
  execFileSync(path.join(nativeBuild, 'glasswhirligo-capture'), ['--seek', String(seconds), '-o', raw],
    { cwd: nativeBuild });
  const f = fs.readFileSync(raw);
  const rgb = Buffer.alloc(320 * 240 * 3);
  for (let i = 0; i < 320 * 240; ++i) {
    const p = f.readUInt16LE(2 * i);
    rgb[3 * i] = ((p >> 11) << 3) | (p >> 13);
    rgb[3 * i + 1] = (((p >> 5) & 63) << 2) | ((p >> 9) & 3);
    rgb[3 * i + 2] = ((p & 31) << 3) | ((p >> 2) & 7);
  }
  return rgb;
}

async function testMode(page, base) {
  for (const s of kMoments) {
    await page.goto(`${base}/index.html?seek=${s}`);
    const seeked = await page.waitFor('window.glasswhirligo.state === "seeked"', 30000);
    const pixels = seeked ? Buffer.from(await page.eval(kCanvasPixels), 'base64') : null;
    check(seeked && pixels.equals(capturedPixels(s)),
      `?seek=${s}: the canvas holds glasswhirligo-capture --seek ${s}'s frame`);
    if (s === 140) await page.screenshot(path.join(outDir, `page-seek-${s}.png`));
  }
  console.log(`worst frame on the virtual clock, up to ${kMoments.at(-1)} s: ` +
    `${(await page.eval('glasswhirligo.frameTimes.worstMs')).toFixed(2)} ms`);
  const shown = await page.eval(`(() => { const r = document.getElementById('screen')
    .getBoundingClientRect(); return [r.width, r.height,
    getComputedStyle(document.getElementById('screen')).imageRendering]; })()`);
  check(shown[0] === 960 && shown[1] === 720 && shown[2] === 'pixelated',
    `the canvas is shown 960 x 720 with crisp pixels (${shown.join(' ')})`);
}

async function normalMode(page, base) {
  await page.goto(`${base}/index.html`);
  check(await page.waitFor('window.glasswhirligo.state === "waiting"', 10000),
    'the page waits for a start gesture');
  await page.screenshot(path.join(outDir, 'page-waiting.png'));
  await page.key('Enter', 'Enter', 13);
  check(await page.waitFor('window.glasswhirligo.state === "playing"', 30000),
    'a key starts the loading screen, then the show');
  const sample = () => page.eval(
    '[glasswhirligo.framesShown, glasswhirligo.songPosition(), glasswhirligo.partClock()]');
  await sleep(1000);
  const a = await sample();
  await sleep(kWatchSeconds * 1000);
  const b = await sample();
  check(b[0] - a[0] > 10 * kWatchSeconds, `frames advance (${b[0] - a[0]} in ${kWatchSeconds} s)`);
  const lag = s => s[1] === null ? Infinity : s[2] - s[1];
  check(Math.abs(lag(a)) < 0.02 && Math.abs(lag(b)) < 0.02,
    `the song keeps to the part clock (song ${a[1]?.toFixed(3)} / ${b[1]?.toFixed(3)} s, ` +
    `clock ${a[2].toFixed(3)} / ${b[2].toFixed(3)} s)`);
  await page.screenshot(path.join(outDir, 'page-playing.png'));
  await page.key('Escape', 'Escape', 27);
  check(await page.waitFor('window.glasswhirligo.state === "ended" && !document.getElementById("again").hidden', 5000),
    'Escape ends the show and offers to play it again');
  await page.screenshot(path.join(outDir, 'page-ended.png'));
  const t = await page.eval('glasswhirligo.frameTimes');
  console.log(`${t.frames} frames in the page: worst ${t.worstMs.toFixed(2)} ms, mean ${t.meanMs.toFixed(2)} ms`);
  await page.key('Enter', 'Enter', 13);
  check(await page.waitFor('window.glasswhirligo.partClock() > 2', 30000),
  'Play again starts the show from the loading screen');
  await fullscreen(page);
  await page.key('Escape', 'Escape', 27);
  check(await page.waitFor('window.glasswhirligo.state === "ended"', 5000), 'and Escape ends it again');
  check(page.errors.length === 0, `no errors in the console${page.errors.length ? ': ' + page.errors.join('; ') : ''}`);
}

// The button by a real click: the picture then fills the screen at 4:3, letterboxed.
async function fullscreen(page) {
  const [x, y] = await page.eval(`(() => { const r = document.getElementById('fullscreen')
    .getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })()`);
  for (const type of ['mousePressed', 'mouseReleased'])
    await page.send('Input.dispatchMouseEvent', { type, x, y, button: 'left', clickCount: 1 });
  const full = await page.waitFor(`document.fullscreenElement === document.getElementById('stage')
    && getComputedStyle(document.getElementById('screen')).objectFit === 'contain'`, 3000);
  check(full, 'the fullscreen button shows the stage fullscreen, the picture letterboxed');
  await page.eval('document.exitFullscreen().catch(() => {})');
}

async function messages(page, base) {
  for (const name of ['fonts16.bin', 'glasswhirligo.wasm', 'glasswhirligo.js']) {
    await page.goto(`${base}/without/${name}/index.html`);
    const failed = await page.waitFor(`window.glasswhirligo.state === "failed" &&
      document.getElementById('message').textContent.includes(${JSON.stringify(name)})`, 10000);
    check(failed, `${name} missing: "${await page.eval('glasswhirligo.message')}"`);
  }
  await page.goto(`${base}/without/demosong.ogg/index.html`);
  check(await page.waitFor(`glasswhirligo.state === "waiting" &&
    glasswhirligo.message.includes('demosong.ogg') && glasswhirligo.message.includes('silently')`, 10000),
  `demosong.ogg missing: "${await page.eval('glasswhirligo.message')}"`);
  await page.goto(`${base}/short/fonts16.bin/index.html?seek=5`);
  check(await page.waitFor(`glasswhirligo.state === "failed" &&
    glasswhirligo.message.includes('fonts16.bin: only 300 bytes')`, 10000),
  `fonts16.bin cut short: "${await page.eval('glasswhirligo.message')}"`);

  const { identifier } = await page.send('Page.addScriptToEvaluateOnNewDocument',
    { source: 'AudioContext.prototype.resume = () => new Promise(() => {})' });
  await page.goto(`${base}/index.html`);
  await page.waitFor('glasswhirligo.state === "waiting"', 10000);
  await page.key('Enter', 'Enter', 13);
  const silent = await page.waitFor(`glasswhirligo.partClock() > 1 && glasswhirligo.songPosition() === null
    && glasswhirligo.message.includes('blocks sound')`, 30000);
  check(silent, `sound blocked: "${await page.eval('glasswhirligo.message')}", the show plays on`);
  await page.send('Page.removeScriptToEvaluateOnNewDocument', { identifier });

  await page.send('Page.addScriptToEvaluateOnNewDocument', { source: 'delete window.WebAssembly' });
  await page.goto(`${base}/index.html`);
  check(await page.waitFor('glasswhirligo.state === "failed" && glasswhirligo.message.includes("WebAssembly")', 5000),
    `no WebAssembly: "${await page.eval('glasswhirligo.message')}"`);
}

async function main() {
  fs.mkdirSync(outDir, { recursive: true });
  const server = await serve();
  const base = `http://127.0.0.1:${server.address().port}`;
  const browser = new Browser();
  const limit = setTimeout(() => {
    console.log(`FAIL the page checks took more than ${kTimeLimitMs / 1000} s`);
    browser.close().then(() => process.exit(1));
  }, kTimeLimitMs);
  try {
    const page = await Page.open(browser);
    await testMode(page, base);
    await normalMode(page, base);
    await messages(page, base);
  } catch (e) {
    check(false, e.stack || e);
  } finally {
    clearTimeout(limit);
    await browser.close();
    server.close();
  }
  if (failures) {
    console.log(`${failures} page check(s) failed`);
    process.exit(1);
  }
}

main().catch(e => {
  console.log(`FAIL ${e.stack || e}`);
  process.exit(1);
});
