// The page around the web edition: loads the data files, waits for one click, tap or key (the
// browser allows sound only after one), starts the program, plays the song with Web Audio where
// the program says the show is, passes keys, the on-screen buttons and the bar's seeks to the
// program, and shows what happened in one line under the picture. A service worker (sw.js) keeps
// the site for visits without a network.
//
// index.html?seek=SECONDS is the test mode: the show runs on the virtual clock up to that
// moment, leaves that frame on the canvas and stops, with no gesture and no sound.
'use strict';

(() => {
  const canvas = document.getElementById('screen');
  const promptText = document.getElementById('prompt');
  const againButton = document.getElementById('again');
  const player = document.getElementById('player');
  const fullscreenButton = document.getElementById('fullscreen');
  const messageLine = document.getElementById('message');
  const noticeText = document.getElementById('notice');
  const buttons = document.getElementById('buttons');
  const stage = document.getElementById('stage');
  // A phone or a tablet: a finger, no keys.
  const touchFirst = window.matchMedia('(pointer: coarse)').matches;
  // ... held sideways: the bar lies over the picture, and rests as in full screen.
  const sideways = window.matchMedia('(pointer: coarse) and (orientation: landscape)');

  // Where the show is, as the program last said (with the song's calls): show time `ms` at
  // performance.now() reading `at` (null while the show has no song: before the part clock).
  const clock = { at: null, ms: 0, paused: false };

  // What a test (or a curious person in the console) can read.
  const status = window.glasswhirligo = {
    state: 'loading',  // loading, waiting, starting, playing, ended, seeked, failed
    message: '',
    framesShown: 0,
    frameTimes: null,  // how long frames kept the browser busy: { worstMs, meanMs, frames }
    timeline: null,  // { partStarts, end } in ms of show time, and the player's copies
    lastSeekMs: null,  // the show time the bar last asked for
    seekResponseMs: null,  // from the last key or click that moved the show to its new frame
    songPosition: () => sound.position(),
    songRate: () => sound.rate,
    // What the browser reports of its audio output, and the lead it did not report, in s.
    output: () => sound.context && { base: sound.context.baseLatency, output: sound.context.outputLatency,
      unreported: sound.unreported },
    // Show time in seconds: from the part clock's start, moved by seeks, held by a pause.
    partClock: () => clock.at === null ? null
      : (clock.paused ? clock.ms : clock.ms + performance.now() - clock.at) / 1000,
    paused: () => clock.paused,
    // Whether a request is still on its way to the program, or its frame to the canvas.
    busy: () => pendingRequests !== 0 || response.taken,
    seek: ms => bar.seekTo(ms),  // as the bar seeks (the console's, and the benchmark's)
  };

  const sleep = ms => new Promise(r => setTimeout(r, ms));

  function say(text) {
    status.message = text;
    messageLine.textContent = text;
  }

  function fail(text) {
    say(text);
    status.state = 'failed';
    promptText.hidden = noticeText.hidden = true;
  }

  // ---- The picture -------------------------------------------------------------------------

  // A canvas in the processor's memory: the browser may otherwise keep it on the graphics card,
  // or in a software stand-in for one, where every frame's put costs an upload (3 to 4 ms a frame
  // in one engine without a card, against 0.15 ms here), and the 320 x 240 frame is small.
  const context2d = canvas.getContext('2d', { willReadFrequently: true });
  const image = context2d.createImageData(320, 240);

  function showFrame(rgba) {
    image.data.set(rgba);
    context2d.putImageData(image, 0, 0);
    ++status.framesShown;
    bar.draw();
    if (response.taken) {
      status.seekResponseMs = performance.now() - response.askedAt;
      response.taken = false;
    }
  }

  // On a phone, full screen asks for landscape too; a browser that refuses keeps the picture
  // letterboxed in whatever way the phone is held.
  function toggleFullscreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(() => {});
      return;
    }
    if (!player.requestFullscreen) return;
    player.requestFullscreen().then(() => {
      if (touchFirst && screen.orientation && screen.orientation.lock)
        return screen.orientation.lock('landscape');
    }).catch(() => {});
  }
  fullscreenButton.addEventListener('click', event => {
    toggleFullscreen();
    event.currentTarget.blur();  // or Space, the pause key, would press it again
  });

  // ---- Keys: the same requests as the native program (platform/platform.h) -----------------

  const requestBits = {
    Escape: 1 << 0, ' ': 1 << 1, ArrowLeft: 1 << 2, ArrowRight: 1 << 3,
    PageUp: 1 << 4, PageDown: 1 << 5, Home: 1 << 6, f: 1 << 7, F: 1 << 7,
  };
  const kSeekBit = 1 << 8;  // the bar's: to seekTarget
  const kMoves = kSeekBit | (0xf << 2);  // the requests answered with a new frame
  let pendingRequests = 0;
  let seekTarget = 0;
  let wake = null;  // resolves the paused program's wait
  // The time from a request that moves the show to the frame it leads to.
  const response = { askedAt: 0, taken: false };

  function request(bits) {
    if (bits & kMoves) response.askedAt = performance.now();
    pendingRequests |= bits;
    if (wake) wake();
    wake = null;
  }

  function takeRequests() {
    const r = pendingRequests;
    pendingRequests = 0;
    if (r & kMoves) response.taken = true;
    return r;
  }

  // ---- Sound -------------------------------------------------------------------------------

  const sound = {
    context: null,
    decoded: null,   // settles when decoding ends
    buffer: null,    // the decoded song, or null: the demo then runs silently
    source: null,
    keeper: null,    // the interval that keeps the song to the part clock
    rate: 1,         // the song's playback speed, and where it was at one moment of the audio clock
    anchorTime: 0,
    anchorPosition: 0,
    anchorLead: 0,  // the audio clock's lead over the page's as the anchor was taken

    prepare(bytes) {
      const Context = window.AudioContext || window.webkitAudioContext;
      if (!Context) return say('This browser has no Web Audio: the demo plays silently.');
      this.context = new Context();
      this.decoded = this.context.decodeAudioData(bytes).then(b => { this.buffer = b; },
        () => say('demosong.ogg cannot be decoded here: the demo plays silently.'));
    },

    running: null,   // settles true once the browser lets the context run
    wanted: false,   // the show has reached the song's start, and has not stopped since

    // Called from the start gesture: the only moment a browser lets sound begin. Some take more
    // than a second to open their output; the show does not wait that long, and the song comes
    // in where the show is when it does. Only sound still blocked after a while is reported.
    async unlock() {
      if (!this.context) return;
      this.running = this.context.resume().then(() => this.context.state === 'running', () => false);
      this.measured = this.running.then(ok => ok && this.measureLead());
      this.running.then(ok => { if (ok) this.lateStart(); });
      setTimeout(() => {
        if (this.context.state !== 'running') say(kSoundBlocked);
      }, kSoundPatienceMs);
      await Promise.race([this.running, sleep(500)]);
    },

    async lateStart() {
      if (status.message === kSoundBlocked) say('');
      await this.measured;
      if (!this.wanted || this.keeper || !this.audible()) return;
      this.keeper = setInterval(() => this.keepInTime(), 500);
      this.follow();
    },

    latency() {
      return (this.context.baseLatency || 0) + (this.context.outputLatency || 0) + this.unreported;
    },

    // Some browsers run the audio clock ahead of what is heard, by the depth of their output
    // queue, whenever something plays, and report no latency for it: the song would be heard
    // that much after the picture. A silent sound that plays from the start gesture on keeps
    // the queue in one state for the whole visit, and the audio clock's jump against the
    // page's clock as it begins is that depth.
    unreported: 0,  // s
    measured: null,  // settles once `unreported` is known
    async measureLead() {
      // A context that has just started may still be opening its output.
      await sleep(1500);
      const before = await this.steadyLead();
      const silent = this.context.createBufferSource();
      silent.buffer = this.context.createBuffer(1, this.context.sampleRate, this.context.sampleRate);
      silent.loop = true;
      silent.connect(this.context.destination);
      silent.start();
      // Measured at once: one browser's clock then stands still for a while.
      let after = -Infinity;
      for (let i = 0; i < 10; ++i) {
        await sleep(20);
        after = Math.max(after, this.lead());
      }
      if (before === null) return;
      const jump = after - before;
      if (jump > kLeadNoise) this.unreported = Math.min(jump, kLatestLead);
    },

    lead() {
      return this.context.currentTime - performance.now() / 1000;
    },

    // The audio clock's lead over the page's clock, once it runs steadily (a context may stand
    // still for a while after it starts), or null if it does not within 2 s.
    async steadyLead() {
      const leads = [];
      for (let i = 0; i < 100; ++i) {
        leads.push(this.lead());
        const last = leads.slice(-10);
        if (last.length === 10 && Math.max(...last) - Math.min(...last) < kLeadNoise)
          return last.reduce((a, b) => a + b) / last.length;
        await sleep(20);
      }
      return null;
    },

    audible() {
      return this.buffer !== null && this.context !== null && this.context.state === 'running';
    },

    // Resolves once the song is heard, so the part clock starts with it.
    async play() {
      await this.decoded;
      this.wanted = this.buffer !== null;
      if (!this.audible()) return false;
      await this.measured;
      this.startAt(0, this.latency());
      await sleep(this.latency() * 1000);
      clearInterval(this.keeper);
      this.keeper = setInterval(() => this.keepInTime(), 500);
      return true;
    },

    // Plays from `offset` seconds now, heard `delay` seconds later; past the song's end, nothing.
    startAt(offset, delay) {
      this.silence();
      if (offset >= this.buffer.duration) return;
      this.source = this.context.createBufferSource();
      this.source.buffer = this.buffer;
      this.source.connect(this.context.destination);
      this.source.start(0, offset);
      this.rate = 1;
      this.anchor(offset, delay);
    },

    // The song is at `position` `delay` seconds from now on the audio clock.
    anchor(position, delay = 0) {
      this.anchorTime = this.context.currentTime + delay;
      this.anchorPosition = position;
      this.anchorLead = this.lead();
    },

    // A page kept busy (a seek that replays the show) may read an audio clock that one browser
    // has not moved on since the busy stretch began: the song starts when asked, but its anchor
    // is that much early, and the reckoning would run ahead once the clock catches up, and the
    // song be slowed to match. A jump of the audio clock against the page's since the anchor was
    // taken moves the anchor with it.
    catchUp() {
      const jump = this.lead() - this.anchorLead;
      if (jump <= kStaleClock) return;
      this.anchorTime += jump;
      this.anchorLead += jump;
    },

    // The show moved, stopped or went on: the song goes where the show is, unless it is there.
    follow() {
      if (!this.keeper) return;  // silent, or stopped
      const at = status.partClock();
      if (at === null || clock.paused) return this.silence();
      if (this.source && Math.abs(at - this.position()) < 0.02) return;
      this.startAt(at + this.latency(), this.latency());
    },

    // The audio clock and the browser's clock drift apart (by a frame in a few minutes on some
    // machines, faster when the audio output falls behind): a slight change of speed, a fraction of
    // a semitone, brings the song back to the part clock, and a jump when it is far off.
    keepInTime() {
      const at = status.partClock();
      if (at === null || clock.paused || !this.source) return;
      const behind = at - this.position();
      if (Math.abs(behind) > 0.25) return this.startAt(at + this.latency(), this.latency());
      this.anchor(this.position());
      this.rate = 1 + Math.max(-0.005, Math.min(0.005, behind / 4));
      this.source.playbackRate.value = this.rate;
    },

    silence() {
      if (this.source) this.source.stop();
      this.source = null;
    },

    stop() {
      this.wanted = false;
      clearInterval(this.keeper);
      this.keeper = null;
      this.silence();
    },

    // Where in the song the listener is.
    position() {
      if (!this.source) return null;
      this.catchUp();
      return this.anchorPosition + (this.context.currentTime - this.anchorTime) * this.rate;
    },
  };

  const kSoundBlocked = 'The browser blocks sound: the demo plays silently.';
  const kSoundPatienceMs = 4000;
  const kLeadNoise = 0.025;  // s: how far an audio clock's steps stray from a steady pace
  const kLatestLead = 0.25;  // s: more than any output queue holds
  const kStaleClock = 0.05;  // s: an audio clock further behind than this had stood still

  // ---- Loading -----------------------------------------------------------------------------

  async function fetchBytes(name) {
    let response;
    try {
      response = await fetch(name);
    } catch (e) {
      return { error: `${name} could not be loaded (${e.message}).` };
    }
    if (!response.ok)
      return { error: `${name} is missing on the server (HTTP ${response.status}).` };
    return { bytes: new Uint8Array(await response.arrayBuffer()) };
  }

  function loadProgram() {
    return new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = 'glasswhirligo.js';
      script.onload = () => resolve(window.createGlasswhirligo);
      script.onerror = () => reject(new Error('glasswhirligo.js is missing on the server.'));
      document.head.appendChild(script);
    });
  }

  // ---- Running the program -----------------------------------------------------------------

  let replay = null;  // resolves the program's wait after the show ends

  const hooks = {
    showFrame,
    takeRequests,
    takeSeekTarget: () => seekTarget,
    requestComing: () => pendingRequests ? Promise.resolve() : new Promise(r => { wake = r; }),
    playSong: () => sound.play(),
    stopSong() {
      sound.stop();
      clock.at = null;
      bar.draw();
    },
    songAt(ms, ticks, paused) {
      // The program's clock is performance.now() in whole ms, wrapped to 32 bits.
      const now = performance.now();
      clock.at = now - ((Math.floor(now) - ticks) >>> 0);
      clock.ms = ms;
      clock.paused = paused;
      sound.follow();
      restless();
      bar.draw();
    },
    showStarted() {
      status.state = 'playing';
      if (linked.ms !== null) linked.go(linked.ms);
      linked.ms = null;
    },
    timeline(t) {
      status.timeline = t;
      bar.mark(t);
      bar.draw();
    },
    showEnded(frameTimes) {
      status.state = 'ended';
      say(linked.endedShow() ? `The link's time ${linked.sought.text} is past the show's end: the show is over.`
        : 'The show is over.');
      linked.sought = null;
      status.frameTimes = frameTimes;
      againButton.hidden = false;
      againButton.focus();
      restless();
    },
    replayRequested: () => new Promise(r => { replay = r; }),
    seekDone(reached, seekMs) {
      status.testSeekMs = seekMs;
      if (!reached) return fail('The show ends before that moment.');
      status.state = 'seeked';
    },
  };

  againButton.addEventListener('click', () => {
    againButton.hidden = true;
    say('');
    status.state = 'starting';
    clock.at = null;
    canvas.focus();
    if (replay) replay();
  });

  // ---- The bar: where the show is, where each part begins; a click or a drag seeks ----------

  const barElement = document.getElementById('bar');
  const playedElement = document.getElementById('played');
  const sliderElement = document.getElementById('slider');
  const timeText = document.getElementById('time');

  const bar = {
    end: null,  // the show's length in ms, once the program knows it
    dragged: null,  // while dragging: the show time under the pointer

    mark(t) {
      this.end = t.end;
      barElement.classList.remove('unknown');
      const track = document.getElementById('track');
      for (const old of track.querySelectorAll('.mark')) old.remove();
      for (const start of t.partStarts) {
        const tick = document.createElement('div');
        tick.className = 'mark';
        tick.style.left = `${100 * start / t.end}%`;
        track.appendChild(tick);
      }
    },

    // The show time under a pointer at clientX: the bar's width is the show's length.
    timeAt(clientX) {
      const r = barElement.getBoundingClientRect();
      const f = Math.min(1, Math.max(0, (clientX - r.left) / r.width));
      return Math.round(f * this.end);
    },

    seek(clientX) {
      this.dragged = this.timeAt(clientX);
      this.seekTo(this.dragged);
      this.draw();
    },

    seekTo(ms) {
      ms = Math.max(0, Math.round(ms));
      status.lastSeekMs = ms;
      seekTarget = ms;
      request(kSeekBit);
    },

    usable() {
      return this.end !== null && status.state === 'playing';
    },

    // Drawn with each frame of the show and when the show stops or moves, never on a timer of
    // its own, and the page is touched only when what it shows changes (a step of the knob
    // finer than any screen's pixel, a new second): every extra layout and paint of the page
    // would cost a slow phone late frames.
    shown: { step: null, text: null },
    draw() {
      const at = this.dragged ?? (status.partClock() === null ? null : status.partClock() * 1000);
      const f = at === null || this.end === null ? 0 : Math.min(1, at / this.end);
      const step = Math.round(f * 4096);
      if (step !== this.shown.step) {
        playedElement.style.transform = `scaleX(${step / 4096})`;
        sliderElement.style.transform = `translateX(${100 * step / 4096}%)`;
        this.shown.step = step;
      }
      const text = at === null ? ''
        : `${clockText(at)}${this.end === null ? '' : ' / ' + clockText(this.end)}` +
          (clock.paused ? ' \u00b7 paused' : '');
      if (text !== this.shown.text) {
        timeText.textContent = this.shown.text = text;
        if (at === null) timeText.removeAttribute('href');
        else timeText.href = linkTo(at);
      }
    },
  };

  function clockText(ms) {
    const s = Math.floor(ms / 1000);
    return `${Math.floor(s / 60)}:${String(s % 60).padStart(2, '0')}`;
  }

  barElement.addEventListener('pointerdown', event => {
    if (!bar.usable() || event.button !== 0) return;
    barElement.setPointerCapture(event.pointerId);
    barElement.classList.add('dragging');
    bar.seek(event.clientX);
  });
  barElement.addEventListener('pointermove', event => {
    if (bar.dragged !== null && bar.usable()) bar.seek(event.clientX);
  });
  for (const type of ['pointerup', 'pointercancel']) {
    barElement.addEventListener(type, () => {
      bar.dragged = null;
      barElement.classList.remove('dragging');
    });
  }
  bar.draw();

  // Fullscreen, while the show plays: the bar and the controls fade out when the mouse rests,
  // and come back when it moves. The on-screen buttons a tap brings up go with them, in full
  // screen or not.
  let restTimer = null;
  function restless() {
    player.classList.remove('resting');
    clearTimeout(restTimer);
    restTimer = setTimeout(() => {
      if (status.state !== 'playing' || clock.paused || bar.dragged !== null) return;
      if (document.fullscreenElement === player || sideways.matches) player.classList.add('resting');
      buttons.hidden = true;
    }, 2000);
  }
  player.addEventListener('pointermove', event => {
    if (event.pointerType === 'mouse') restless();
  });

  // A tap on the picture brings the buttons up, or puts them away; a mouse's click does neither.
  stage.addEventListener('pointerup', event => {
    if (event.pointerType === 'mouse' || !['starting', 'playing'].includes(status.state)) return;
    if (buttons.contains(event.target)) return;
    buttons.hidden = !buttons.hidden;
    restless();
  });
  // The buttons send what the keys send.
  buttons.addEventListener('click', event => {
    const button = event.target.closest('button');
    if (!button || !['starting', 'playing'].includes(status.state)) return;
    const bit = requestBits[button.dataset.request];
    if (bit === requestBits.f) toggleFullscreen();
    request(bit);
    button.blur();  // or Space would press it again
    restless();
  });
  document.addEventListener('fullscreenchange', () => {
    fullscreenButton.textContent = document.fullscreenElement ? 'Window' : 'Fullscreen';
    restless();
  });

  // Compiles the program while the page waits for the gesture, so that a missing or broken
  // .wasm is reported at once; main runs only when started.
  function instantiate(create, wasm, fonts) {
    let lastError = '';
    const stopped = what => fail(`The demo stopped: ${lastError || what}`);
    return create({
      noInitialRun: true,
      wasmBinary: wasm,
      gw: hooks,
      print: text => console.log(text),
      printErr: text => { lastError = text; console.warn(text); },
      preRun: [module => module.FS.writeFile('fonts16.bin', fonts)],
      onAbort: what => stopped(what),
      onExit: code => { if (code !== 0) stopped(`exit ${code}`); },
    }).catch(e => { stopped(e.message || e); return null; });
  }

  // ---- Links to a moment: index.html#t=95 or #t=1:35 starts the show there ------------------

  const kLatestLink = 3600;  // s: past the show's end, as a seek there
  const linked = {
    ms: null,  // where the show goes once it starts
    text: null,  // as the link says it
    sought: null,  // { ms, text } of the link the show went to
    go(ms) {
      bar.seekTo(ms);
      this.sought = { ms, text: this.text };
    },
    // The show ended at the link's moment: the link was past its end.
    endedShow() {
      return this.sought !== null && (bar.end === null || this.sought.ms >= bar.end);
    },
  };

  // Seconds from "95", "95.5", "1:35" or "1:01:35"; NaN for anything else.
  function linkSeconds(text) {
    if (!/^\d+(\.\d+)?$|^\d+(:[0-5]\d){1,2}(\.\d+)?$/.test(text)) return NaN;
    return text.split(':').reduce((s, field) => 60 * s + Number(field), 0);
  }

  // The moment the address asks for, or null; a bad one is said, and plays from the start.
  function readLink() {
    const m = location.hash.match(/^#t=(.*)$/);
    if (!m) return null;
    const text = decodeURIComponent(m[1]);
    const seconds = linkSeconds(text);
    if (Number.isNaN(seconds)) {
      say(`The link's time "${text}" is not one (use #t=95 or #t=1:35): the show plays from the start.`);
      return null;
    }
    linked.text = text;
    if (seconds > kLatestLink) say(`The link's time ${text} is past the show's end.`);
    return Math.round(Math.min(seconds, kLatestLink) * 1000);
  }

  // A link followed while the show plays (the time beside the bar is one) moves it there.
  window.addEventListener('hashchange', () => {
    const ms = readLink();
    if (ms === null) return;
    if (status.state === 'playing') linked.go(ms);
    else linked.ms = ms;  // for the next start
  });

  function linkTo(ms) {
    return `#t=${Math.floor(ms / 1000)}`;
  }

  function seekMilliseconds() {
    const seek = new URLSearchParams(location.search).get('seek');
    if (seek === null) return null;
    const seconds = /^(\d+\.?\d*|\.\d+)$/.test(seek) ? Number(seek) : NaN;
    return seconds <= 3600 ? Math.round(seconds * 1000) : NaN;
  }

  async function main() {
    if (typeof WebAssembly !== 'object')
      return fail('This browser cannot run WebAssembly, which the demo needs.');
    const seekMs = seekMilliseconds();
    if (Number.isNaN(seekMs)) return fail('seek= takes seconds from 0 to 3600.');
    const testMode = seekMs !== null;
    const [program, wasm, fonts, song] = await Promise.all([
      loadProgram().catch(e => ({ error: e.message })),
      fetchBytes('glasswhirligo.wasm'),
      fetchBytes('fonts16.bin'),
      testMode ? {} : fetchBytes('demosong.ogg'),
    ]);
    for (const failed of [program, wasm, fonts]) if (failed.error) return fail(failed.error);
    const module = await instantiate(program, wasm.bytes, fonts.bytes);
    if (!module) return;
    if (testMode) return module.callMain(['--seek', String(seekMs)]);
    linked.ms = readLink();
    if (song.error) say(`${song.error} The demo plays silently.`);
    else sound.prepare(song.bytes.buffer);
    waitForGesture(() => module.callMain([]));
  }

  // One click or key anywhere starts the demo; keys then go to it without a click on the canvas.
  function waitForGesture(start) {
    status.state = 'waiting';
    promptText.hidden = false;
    if (touchFirst) promptText.textContent = 'Tap to start';
    noticeText.hidden = false;
    const begin = async event => {
      if (status.state !== 'waiting' || event.target === fullscreenButton) return;
      if (event.ctrlKey || event.altKey || event.metaKey) return;  // the browser's shortcuts
      event.stopImmediatePropagation();  // the starting key is not also a request
      status.state = 'starting';
      promptText.hidden = noticeText.hidden = true;
      await sound.unlock();
      start();
    };
    window.addEventListener('click', begin);
    window.addEventListener('keydown', begin);
  }

  // Keys pressed during the loading screen wait for the first frame, as the native event queue's do.
  window.addEventListener('keydown', event => {
    if (!['starting', 'playing'].includes(status.state)) return;
    if (event.ctrlKey || event.altKey || event.metaKey) return;
    const bit = requestBits[event.key];
    if (!bit) return;
    event.preventDefault();
    if (bit === requestBits.f) toggleFullscreen();
    request(bit);
  });

  // The site kept for visits without a network (not from file:, where there are no workers).
  if ('serviceWorker' in navigator && window.isSecureContext)
    navigator.serviceWorker.register('sw.js').catch(e => console.log(`No offline copy: ${e.message}`));

  main();
})();
