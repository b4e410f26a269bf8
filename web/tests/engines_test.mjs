// The page in Firefox (driven by puppeteer-core over WebDriver BiDi) and in WebKit (WebKitGTK's
// MiniBrowser, driven by selenium-webdriver through WebKitWebDriver), as a viewer meets it: the
// test mode's frames against glasswhirligo-capture --seek; a key or a click starts the show, the
// song is heard (on the PulseAudio sink the caller set up) and keeps to the part clock; Space,
// Right, Page Down, each leaving the capture's frame, and Escape; links to a moment, good and bad,
// and one followed while the show plays; no errors, and no page wider than the window, at a
// desktop's size and at a phone's; after one visit, the show without the server. Prints the bar's
// ready time, the pacing in a 50 fps part and the slowest frame.
//
// In each, and in Chromium (puppeteer-core), the song as the sink hears it against the picture.
//
// usage: node engines_test.mjs SITE_DIR NATIVE_BUILD_DIR OUT_DIR ENGINE...   (firefox, webkit, chromium)
// GW_ENGINE_STEPS=links,offline (the step functions' names) runs only those steps.
// WebKit needs a display ($DISPLAY, Xvfb's) and the sink's monitor as GW_PULSE_MONITOR.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import puppeteer from 'puppeteer-core';
import { Builder, By, Capabilities, Key } from 'selenium-webdriver';
import { kCanvasPixels, captureFrame } from './frames.mjs';
import { heardOffsets, recordSink, settleOffsets, songEnvelope } from './heard.mjs';

const [site, nativeBuild, outDir] = process.argv.slice(2, 5).map(p => path.resolve(p));
const engines = process.argv.slice(5);
const kMoments = [5, 45, 95, 140, 185, 230];
const song = songEnvelope(path.join(site, 'demosong.ogg'), 30);
const sleep = ms => new Promise(r => setTimeout(r, ms));
let failures = 0;
let engineName = '';

function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${engineName}: ${what}`);
  if (!ok) ++failures;
}

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.ogg': 'audio/ogg', '.png': 'image/png',
  '.webmanifest': 'application/manifest+json' };

function serve() {  // a fresh server on a port of its own
  const server = http.createServer((req, res) => {
    const url = new URL(req.url, 'http://127.0.0.1').pathname;
    const file = path.join(site, path.basename(url.endsWith('/') ? '/index.html' : url));
    if (!fs.existsSync(file)) return res.writeHead(404).end('not found');
    res.writeHead(200, { 'Content-Type': kTypes[path.extname(file)] || 'application/octet-stream' });
    res.end(fs.readFileSync(file));
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// Errors the page met, gathered in the page itself (WebKit's driver has no console to read).
const kCollectErrors = `(() => { if (window.gwErrors) return;
  window.gwErrors = [];
  addEventListener('error', e => gwErrors.push(e.message));
  addEventListener('unhandledrejection', e => gwErrors.push(String(e.reason)));
  const error = console.error;
  console.error = (...args) => { gwErrors.push(args.join(' ')); error.apply(console, args); };
})()`;

// ---- The two drivers, behind one face: goto, eval, key, close --------------------------------

// A tab whose page no longer answers the driver.
class Stuck extends Error {
  constructor(why = '') { super(`the tab stopped answering${why ? ': ' + why : ''}`); }
}

class FirefoxPage {
  static async open() {
    const browser = await puppeteer.launch({ browser: 'firefox', executablePath: '/usr/bin/firefox-esr',
      headless: true, args: ['--width=1280', '--height=900'], protocolTimeout: 60000 });
    return Object.assign(new FirefoxPage(), { browser, page: null, size: { width: 1280, height: 900 } });
  }
  // Each address in a tab of its own: Firefox's driver would at times stop answering in a tab
  // that had moved from one page to another.
  async goto(url) {
    const old = this.page;
    this.page = await this.browser.newPage();
    await this.page.setViewport(this.size);
    await this.page.evaluateOnNewDocument(kCollectErrors);
    if (old) await Promise.race([old.close().catch(() => {}), sleep(5000)]);
    await this.page.goto(url, { waitUntil: 'load' });
  }
  // Firefox may leave an evaluation unanswered when it lands as the page changes: it then counts
  // as failed, and a wait asks again.
  async eval(expression) {
    for (let tries = 1; ; ++tries) {
      const asked = this.page.evaluate(expression);
      asked.catch(() => {});
      const answer = await Promise.race([asked.then(value => ({ value })), sleep(5000).then(() => null)]);
      if (answer) return answer.value;
      console.log(`${engineName}: no answer in 5 s (try ${tries}) to ${expression.slice(0, 50).replace(/\s+/g, ' ')}`);
      if (tries === 4) throw new Stuck(await this.whyStuck());
    }
  }
  // What a stuck tab leaves to go on: whether the browser still answers in another tab, and
  // whether its processes are busy (a page caught in a loop) or idle (a driver waiting forever).
  async whyStuck() {
    const probe = (async () => {
      const other = await this.browser.newPage();
      const answer = await other.evaluate('1 + 1');
      await other.close();
      return answer === 2 ? 'another tab answers' : 'another tab answers wrongly';
    })();
    const tab = await Promise.race([probe.catch(e => `another tab fails (${e.message})`),
      sleep(5000).then(() => 'another tab does not answer either')]);
    const root = String(this.browser.process()?.pid);
    const table = spawnSync('ps', ['-e', '-o', 'pid=,ppid=,pcpu=,stat=,comm='], { encoding: 'utf8' }).stdout
      .trim().split('\n').map(line => line.trim().split(/\s+/));
    const tree = new Set([root]);  // content processes are the fork server's children
    for (const [pid, ppid] of table) if (tree.has(ppid)) tree.add(pid);
    const ps = table.filter(([pid]) => tree.has(pid))
      .map(([, , cpu, stat, ...name]) => `${name.join(' ')} ${cpu} ${stat}`).join('; ');
    const pulse = spawnSync('pactl', ['info'], { timeout: 3000 }).status === 0 ? 'answers' : 'does not answer';
    return `${tab}; the sound server ${pulse}; Firefox's processes (% CPU, state): ${ps}`;
  }
  async key(name) { await this.page.keyboard.press(name); }
  async click(selector) { await this.page.click(selector); }
  async resize(width, height) {
    this.size = { width, height };
    await this.page.setViewport(this.size);
  }
  async close() {
    await Promise.race([this.browser.close().catch(() => {}), sleep(10000)]);
    this.browser.process()?.kill('SIGKILL');
  }
}

// Chromium only for what a listener hears: the rest of its checks are page_test.mjs's.
class ChromiumPage extends FirefoxPage {
  static async open() {
    const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true,
      pipe: true, ignoreDefaultArgs: ['--mute-audio'], protocolTimeout: 60000,
      args: ['--no-sandbox', '--window-size=1280,900', '--autoplay-policy=user-gesture-required'] });
    return Object.assign(new ChromiumPage(), { browser, page: null, size: { width: 1280, height: 900 } });
  }
}

const kWebKitKeys = { Enter: Key.ENTER, ' ': Key.SPACE, ArrowRight: Key.ARROW_RIGHT,
  PageDown: Key.PAGE_DOWN, Escape: Key.ESCAPE };

class WebKitPage {
  static async open() {
    const port = 4400 + (process.pid % 500);
    const server = spawn('/usr/bin/WebKitWebDriver', [`--port=${port}`], { stdio: 'ignore' });
    await sleep(500);
    const caps = new Capabilities({ browserName: 'MiniBrowser', 'webkitgtk:browserOptions': {
      binary: '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser', args: ['--automation'] } });
    const driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities(caps).build();
    await driver.manage().window().setRect({ width: 1280, height: 900 }).catch(() => {});
    return Object.assign(new WebKitPage(), { server, driver });
  }
  async goto(url) {
    await this.driver.get(url);
    await this.eval(kCollectErrors);
  }
  eval(expression) { return this.driver.executeScript(`return (${expression})`); }
  async key(name) { await this.driver.actions().sendKeys(kWebKitKeys[name]).perform(); }
  async click(selector) { await this.driver.findElement(By.css(selector)).click(); }
  async resize(width, height) { await this.driver.manage().window().setRect({ width, height }); }
  async close() {
    await this.driver.quit().catch(() => {});
    this.server.kill();
  }
}

async function waitFor(page, expression, timeoutMs) {
  const until = Date.now() + timeoutMs;
  while (Date.now() < until) {
    try {
      if (await page.eval(expression)) return true;
    } catch (e) {
      if (e instanceof Stuck) throw e;
    }
    await sleep(100);
  }
  return false;
}

const canvas = async page => Buffer.from(await page.eval(kCanvasPixels), 'base64');
const capture = seconds => captureFrame(nativeBuild, outDir, seconds);
const settled = page => waitFor(page, '!glasswhirligo.busy()', 10000);

// ---- The checks ------------------------------------------------------------------------------

async function testMode(page, base) {
  for (const s of kMoments) {
    await page.goto(`${base}/index.html?seek=${s}`);
    const seeked = await waitFor(page, 'window.glasswhirligo?.state === "seeked"', 30000);
    check(seeked && (await canvas(page)).equals(capture(s)), `?seek=${s} leaves the capture's frame`);
  }
}

// The level the sink's monitor records over `ms`, as the RMS of its 16-bit samples.
function recordedLevel(ms) {
  const monitor = process.env.GW_PULSE_MONITOR;
  if (!monitor) return Promise.resolve(null);
  return new Promise(resolve => {
    const rec = spawn('parec', ['-d', monitor, '--format=s16le', '--rate=48000', '--channels=2'],
      { stdio: ['ignore', 'pipe', 'ignore'] });
    const chunks = [];
    rec.stdout.on('data', c => chunks.push(c));
    setTimeout(() => rec.kill(), ms);
    rec.on('exit', () => {
      const b = Buffer.concat(chunks);
      let sum = 0;
      const n = Math.floor(b.length / 2);
      for (let i = 0; i < n; ++i) sum += b.readInt16LE(2 * i) ** 2;
      resolve(n ? Math.sqrt(sum / n) : 0);
    });
  });
}

// A fresh load each time, as a link opened is (not a move within the page); the show starts by
// a key, or by a click on the picture.
async function startByKey(page, base, hash = '', by = 'key') {
  await page.goto('about:blank');
  await page.goto(`${base}/index.html${hash}`);
  await waitFor(page, 'window.glasswhirligo?.state === "waiting"', 15000);
  const pressed = Date.now();
  if (by === 'click') await page.click('#prompt');
  else await page.key('Enter');
  return pressed;
}

// Intervals between canvas updates, against the 20 ms pace of the parts after the first.
const kStampCanvas = `(() => { window.gwStamps = [];
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    put.apply(this, args); gwStamps.push(performance.now()); }; })()`;

async function pacing(page, fromS, seconds) {
  await page.eval('glasswhirligo.seek(' + fromS * 1000 + ')');
  await settled(page);
  await sleep(1000);
  await page.eval(kStampCanvas);
  await sleep(seconds * 1000);
  const stamps = await page.eval('gwStamps');
  const intervals = stamps.slice(1).map((t, i) => t - stamps[i]);
  const fps = intervals.length / ((stamps.at(-1) - stamps[0]) / 1000);
  const within = 100 * intervals.filter(d => Math.abs(d - 20) <= 5).length / intervals.length;
  console.log(`${engineName}: a 50 fps part (${fromS}-${fromS + seconds + 1} s): ${fps.toFixed(1)} fps, ` +
    `${within.toFixed(1)}% of ${intervals.length} intervals within 5 ms of the pace, ` +
    `longest ${Math.max(...intervals).toFixed(1)} ms`);
}

async function playing(page, base) {
  const pressed = await startByKey(page, base);
  check(await waitFor(page, 'glasswhirligo.state === "playing"', 30000), 'a key starts the show');
  const ready = await waitFor(page, 'glasswhirligo.timeline !== null', 30000);
  const readyS = (Date.now() - pressed) / 1000;
  console.log(`${engineName}: the bar was ready ${readyS.toFixed(1)} s after the key`);
  check(ready, 'the bar learns the show\'s parts');
  await waitFor(page, 'glasswhirligo.partClock() > 5', 20000);
  const [said, song, at] = await page.eval('[glasswhirligo.message, glasswhirligo.songPosition(), glasswhirligo.partClock()]');
  check(!said.includes('blocks sound') && song !== null && Math.abs(song - at) < 0.1,
    `the song plays with the clock (song ${song?.toFixed(3)} s, clock ${at.toFixed(3)} s, message "${said}")`);
  const level = await recordedLevel(1500);
  if (level !== null) check(level > 100, `the sink hears the song (RMS ${level.toFixed(0)} of 32768)`);

  // Over a stretch of play across two parts, the page never grows wider than the window.
  let widest = 0;
  await page.eval('glasswhirligo.seek(76000)');
  for (let i = 0; i < 12; ++i) {
    widest = Math.max(widest, await page.eval('document.documentElement.scrollWidth - innerWidth'));
    await sleep(250);
  }
  check(widest <= 0, `no horizontal overflow while the show plays (at most ${widest} px)`);
  await pacing(page, 78, 6);

  await page.key(' ');
  check(await waitFor(page, 'glasswhirligo.paused()', 3000), 'Space pauses');
  await settled(page);
  for (const key of ['ArrowRight', 'PageDown']) {
    await page.key(key);
    await sleep(200);
    await settled(page);
    const ms = Math.round(await page.eval('glasswhirligo.partClock() * 1000'));
    check((await canvas(page)).equals(capture(ms / 1000)), `${key} while paused: the capture's frame of ${ms} ms`);
  }
  await page.key('Escape');
  check(await waitFor(page, 'glasswhirligo.state === "ended"', 5000), 'Escape ends the show');
  const times = await page.eval('glasswhirligo.frameTimes');
  console.log(`${engineName}: ${times.frames} frames in the page: the slowest ${times.worstMs.toFixed(2)} ms, ` +
    `the mean ${times.meanMs.toFixed(2)} ms`);
  const errors = await page.eval('window.gwErrors');
  check(errors.length === 0, `no errors in the page${errors.length ? ': ' + errors.join('; ') : ''}`);
}

async function links(page, base) {
  await startByKey(page, base, '#t=1:35');
  const there = await waitFor(page, 'glasswhirligo.partClock() > 95', 30000);
  const [at, time, href] = await page.eval(`[glasswhirligo.partClock(),
    document.getElementById('time').textContent, document.getElementById('time').getAttribute('href')]`);
  check(there && at < 98 && time.startsWith('1:3') && /^#t=9\d$/.test(href),
    `#t=1:35 starts the show at 95 s (${at.toFixed(2)} s, the bar says "${time}", links to ${href})`);
  await sleep(1500);  // an audio clock may run ahead for a moment after the song's jump
  const [song, clock] = await page.eval('[glasswhirligo.songPosition(), glasswhirligo.partClock()]');
  check(song !== null && Math.abs(song - clock) < 0.05,
    `and the song is there too (${song?.toFixed(3)} s, the clock ${clock.toFixed(3)} s)`);
  await page.eval(`(() => { location.hash = '#t=30'; })()`);
  const moved = await waitFor(page, 'glasswhirligo.partClock() < 32', 5000);
  const at30 = await page.eval('glasswhirligo.partClock()');
  check(moved && at30 >= 30, `a link followed while it plays moves the show there (#t=30: ${at30.toFixed(2)} s)`);
  await page.key('Escape');
  await waitFor(page, 'glasswhirligo.state === "ended"', 5000);

  for (const bad of ['abc', '-5']) {
    await startByKey(page, base, `#t=${bad}`, bad === 'abc' ? 'click' : 'key');
    const fromStart = await waitFor(page, 'glasswhirligo.partClock() > 0.5', 30000);
    const [at2, said] = await page.eval('[glasswhirligo.partClock(), glasswhirligo.message]');
    check(fromStart && at2 < 5 && said.includes(bad), `#t=${bad} plays from the start and says "${said}"${
      bad === 'abc' ? ' (started by a click)' : ''}`);
    await page.key('Escape');
    await waitFor(page, 'glasswhirligo.state === "ended"', 5000);
  }
  await startByKey(page, base, '#t=99999');
  const ended = await waitFor(page, 'glasswhirligo.state === "ended"', 40000);
  const over = await page.eval('glasswhirligo.message');
  check(ended && over.includes('99999') && over.endsWith('the show is over.'),
    `#t=99999 goes to the end, and the show ends ("${over}")`);
}

// After one visit the site plays without its server: the service worker's copy.
async function offline(page) {
  const server = await serve();
  const base = `http://127.0.0.1:${server.address().port}`;
  await page.goto(`${base}/index.html`);
  const kept = `(navigator.serviceWorker.controller ? caches.keys().then(async names => names.length === 1 &&
    (await (await caches.open(names[0])).keys()).length >= 11) : false)`;
  check(await waitFor(page, kept, 20000), 'the first visit keeps the site');
  server.closeAllConnections();
  await new Promise(r => server.close(r));
  await startByKey(page, base, '', 'click');
  check(await waitFor(page, 'glasswhirligo.partClock() > 1', 30000), 'without the server the page loads and a click starts it');
  const a = await page.eval('[glasswhirligo.framesShown, glasswhirligo.songPosition()]');
  await sleep(1000);
  const b = await page.eval('[glasswhirligo.framesShown, glasswhirligo.songPosition()]');
  check(b[0] - a[0] > 10 && a[1] !== null && b[1] - a[1] > 0.8,
    `offline, frames advance (${b[0] - a[0]} in 1 s) and the song plays (${a[1]?.toFixed(2)} to ${b[1]?.toFixed(2)} s)`);
  await page.key('Escape');
}

// A phone's width, upright and sideways: the page is never wider than the window.
async function phoneSizes(page, base) {
  for (const [width, height] of [[390, 844], [844, 390]]) {
    await page.resize(width, height);
    await startByKey(page, base);
    await waitFor(page, 'glasswhirligo.state === "playing"', 30000);
    await page.eval('glasswhirligo.seek(230000)');
    let widest = 0;
    for (let i = 0; i < 16; ++i) {
      widest = Math.max(widest, await page.eval('document.documentElement.scrollWidth - innerWidth'));
      await sleep(250);
    }
    const inner = await page.eval('innerWidth');
    check(widest <= 0, `a ${inner} px wide window: no horizontal overflow to the show's end (at most ${widest} px)`);
    await page.key('Escape');
  }
  await page.resize(1280, 900);
}

// The wall-clock time of show time 0, from the page's part clock read in the quickest of a few
// round trips to the page (the reading is taken half way).
async function clockZero(page) {
  let best = null;
  for (let i = 0; i < 6; ++i) {
    const asked = Date.now();
    const at = await page.eval('glasswhirligo.partClock()');
    const answered = Date.now();
    if (!best || answered - asked < best.trip) best = { trip: answered - asked, ms: (asked + answered) / 2 - at * 1000 };
  }
  return best.ms;
}

const kInSync = 20;  // ms between the song heard and the picture, at most

// The song as the sink hears it against the part clock: its first sound, and every second of
// the first ten (each matched over two).
async function heard(page, base) {
  const monitor = process.env.GW_PULSE_MONITOR;
  if (!monitor) return;
  await page.goto('about:blank');
  await page.goto(`${base}/index.html`);
  await waitFor(page, 'window.glasswhirligo?.state === "waiting"', 15000);
  const recording = recordSink(monitor);
  let zeroMs, output, sound;
  const model = [];  // where the page believes the song is heard, against the clock, in ms
  try {
    await sleep(300);
    await page.key('Enter');
    await waitFor(page, 'glasswhirligo.partClock() > 0.5', 30000);
    zeroMs = await clockZero(page);
    while (await page.eval('glasswhirligo.partClock() < 8.5')) {  // the seconds that can be timed
      model.push(await page.eval('Math.round(1000 * (glasswhirligo.songPosition() - glasswhirligo.partClock()))'));
      await sleep(500);
    }
    output = await page.eval('glasswhirligo.output()');
    await page.key('Escape');
  } finally {
    sound = await recording.stop();  // a step run again records afresh
  }
  const loud = envelope => envelope.findIndex(v => v > 100);
  const firstMs = loud(song) - (sound.startMs + loud(sound.envelope) - zeroMs);
  const seconds = settleOffsets(heardOffsets(sound, song, zeroMs, { toMs: 10000 }));
  const timed = seconds.filter(o => !o.untimeable);
  const inSync = timed.filter(o => o.ms !== null && Math.abs(o.ms) <= kInSync).length;
  console.log(`${engineName}: the song heard ahead of the picture: ${firstMs.toFixed(1)} ms at its first sound, ` +
    `then ${seconds.map(o => (o.untimeable ? '-' : `${o.ms}${o.ambiguous ? '*' : ''}`)).join(', ')} ms over ` +
    '0-10 s (*: peaks that matched about as well, the one nearest the others taken; -: the song\'s loudness ' +
    `cannot time it there); the browser reports ${
      ['base', 'output'].map(k => `${k} latency ${(1000 * output[k] || 0).toFixed(1)} ms`).join(', ')
    }, the page found ${(1000 * output.unreported).toFixed(1)} ms more; the page's own reckoning ${model.join(', ')} ms`);
  check(Math.abs(firstMs) <= kInSync && timed.length >= 6 && inSync === timed.length,
    `the song is heard within ${kInSync} ms of the picture from its first sound (${inSync} of the ${timed.length} seconds it can be timed in)`);
}

// Firefox's driver now and then stops answering in a tab, and at times then in the browser
// too: the step then runs again in a fresh browser, twice at most, and what it had found in the
// stuck one is forgotten. Gives the page the steps after it use.
const kReruns = 2;

async function once(step, page, base, open) {
  const before = failures;
  for (let rerun = 0; ; ++rerun) {
    try {
      await step(page, base);
      return page;
    } catch (e) {
      if (!(e instanceof Stuck) || rerun === kReruns) throw e;
      console.log(`${engineName}: in ${step.name}, ${e.message}; that step again in a fresh browser`);
      failures = before;
      await page.close();
      page = await open();
    }
  }
}

async function main() {
  fs.mkdirSync(outDir, { recursive: true });
  const server = await serve();
  const base = `http://127.0.0.1:${server.address().port}`;
  const kinds = { firefox: FirefoxPage, webkit: WebKitPage, chromium: ChromiumPage };
  const all = [testMode, playing, heard, links, phoneSizes, offline];
  const steps = { firefox: all, webkit: all, chromium: [heard] };
  const limit = setTimeout(() => { console.log('FAIL the engine checks took more than 600 s'); process.exit(1); }, 600000);
  for (const name of engines) {
    engineName = name;
    const started = Date.now();
    let page = null;
    try {
      page = await kinds[name].open();
      const chosen = process.env.GW_ENGINE_STEPS?.split(',');
      for (const step of steps[name].filter(s => !chosen || chosen.includes(s.name))) page = await once(step, page, base, () => kinds[name].open());
    } catch (e) {
      check(false, e.stack || e);
    } finally {
      if (page) await page.close();
    }
    console.log(`${name}: its checks took ${((Date.now() - started) / 1000).toFixed(0)} s`);
  }
  clearTimeout(limit);
  server.close();
  if (failures) {
    console.log(`${failures} engine check(s) failed`);
    process.exit(1);
  }
}

main();
