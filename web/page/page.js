// The page around the web edition: loads the data files, waits for one click or key (the
// browser allows sound only after one), starts the program, plays the song with Web Audio,
// passes keys to the program and shows what happened in one line under the picture.
//
// index.html?seek=SECONDS is the test mode: the show runs on the virtual clock up to that
// moment, leaves that frame on the canvas and stops, with no gesture and no sound.
'use strict';

(() => {
  const canvas = document.getElementById('screen');
  const stage = document.getElementById('stage');
  const promptText = document.getElementById('prompt');
  const againButton = document.getElementById('again');
  const fullscreenButton = document.getElementById('fullscreen');
  const messageLine = document.getElementById('message');

  // What a test (or a curious person in the console) can read.
  const status = window.glasswhirligo = {
    state: 'loading',  // loading, waiting, starting, playing, ended, seeked, failed
    message: '',
    framesShown: 0,
    partClockStart: null,  // performance.now() reading, in ms, when the part clock started
    frameTimes: null,  // how long frames kept the browser busy: { worstMs, meanMs, frames }
    songPosition: () => sound.position(),
    partClock: () => status.partClockStart === null ? null
      : (performance.now() - status.partClockStart) / 1000,
  };

  function say(text) {
    status.message = text;
    messageLine.textContent = text;
  }

  function fail(text) {
    say(text);
    status.state = 'failed';
    promptText.hidden = true;
  }

  // ---- The picture -------------------------------------------------------------------------

  const context2d = canvas.getContext('2d');
  const image = context2d.createImageData(320, 240);

  function showFrame(rgba) {
    image.data.set(rgba);
    context2d.putImageData(image, 0, 0);
    ++status.framesShown;
  }

  function toggleFullscreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else if (stage.requestFullscreen) stage.requestFullscreen().catch(() => {});
  }
  fullscreenButton.addEventListener('click', toggleFullscreen);

  // ---- Keys: the same requests as the native program (platform/platform.h) -----------------

  const requestBits = {
    Escape: 1 << 0, ' ': 1 << 1, ArrowLeft: 1 << 2, ArrowRight: 1 << 3,
    PageUp: 1 << 4, PageDown: 1 << 5, Home: 1 << 6, f: 1 << 7, F: 1 << 7,
  };
  let pendingRequests = 0;

  function takeRequests() {
    const r = pendingRequests;
    pendingRequests = 0;
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

    prepare(bytes) {
      const Context = window.AudioContext || window.webkitAudioContext;
      if (!Context) return say('This browser has no Web Audio: the demo plays silently.');
      this.context = new Context();
      this.decoded = this.context.decodeAudioData(bytes).then(b => { this.buffer = b; },
        () => say('demosong.ogg cannot be decoded here: the demo plays silently.'));
    },

    // Called from the start gesture: the only moment a browser lets sound begin.
    async unlock() {
      if (!this.context) return;
      await Promise.race([this.context.resume(), new Promise(r => setTimeout(r, 500))]);
      if (this.context.state !== 'running')
        say('The browser blocks sound: the demo plays silently.');
    },

    latency() {
      return (this.context.baseLatency || 0) + (this.context.outputLatency || 0);
    },

    // Resolves once the song is heard, so the part clock starts with it.
    async play() {
      await this.decoded;
      if (!this.buffer || !this.context || this.context.state !== 'running') return false;
      this.startAt(0, this.latency());
      await new Promise(r => setTimeout(r, this.latency() * 1000));
      this.keeper = setInterval(() => this.keepInTime(), 500);
      return true;
    },

    startAt(offset, delay) {
      if (this.source) this.source.stop();
      this.source = this.context.createBufferSource();
      this.source.buffer = this.buffer;
      this.source.connect(this.context.destination);
      this.source.start(0, offset);
      this.rate = 1;
      this.anchorTime = this.context.currentTime + delay;  // heard from then on
      this.anchorPosition = offset;
    },

    // The audio clock and the browser's clock drift apart (by a frame in a few minutes on some
    // machines, faster when the audio output falls behind): a slight change of speed, a fraction of
    // a semitone, brings the song back to the part clock, and a jump when it is far off.
    keepInTime() {
      const clock = status.partClock();
      if (clock === null || !this.source) return;
      const behind = clock - this.position();
      if (Math.abs(behind) > 0.25) return this.startAt(clock + this.latency(), this.latency());
      this.anchorPosition = this.position();
      this.anchorTime = this.context.currentTime;
      this.rate = 1 + Math.max(-0.005, Math.min(0.005, behind / 4));
      this.source.playbackRate.value = this.rate;
    },

    stop() {
      clearInterval(this.keeper);
      if (this.source) this.source.stop();
      this.source = null;
    },

    // Where in the song the listener is.
    position() {
      if (!this.source) return null;
      return this.anchorPosition + (this.context.currentTime - this.anchorTime) * this.rate;
    },
  };

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
    playSong: () => sound.play(),
    stopSong: () => sound.stop(),
    partClockStarted(ticks) {
      // The program's clock is performance.now() in whole ms, wrapped to 32 bits.
      const now = performance.now();
      status.partClockStart = now - ((Math.floor(now) - ticks) >>> 0);
      status.state = 'playing';
    },
    showEnded(frameTimes) {
      status.state = 'ended';
      say('The show is over.');
      status.frameTimes = frameTimes;
      againButton.hidden = false;
      againButton.focus();
    },
    replayRequested: () => new Promise(r => { replay = r; }),
    seekDone(reached, worstFrameMs) {
      status.frameTimes = { worstMs: worstFrameMs };
      if (!reached) return fail('The show ends before that moment.');
      status.state = 'seeked';
    },
  };

  againButton.addEventListener('click', () => {
    againButton.hidden = true;
    say('');
    status.state = 'starting';
    status.partClockStart = null;
    canvas.focus();
    if (replay) replay();
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
    if (song.error) say(`${song.error} The demo plays silently.`);
    else sound.prepare(song.bytes.buffer);
    waitForGesture(() => module.callMain([]));
  }

  // One click or key anywhere starts the demo; keys then go to it without a click on the canvas.
  function waitForGesture(start) {
    status.state = 'waiting';
    promptText.hidden = false;
    const begin = async event => {
      if (status.state !== 'waiting' || event.target === fullscreenButton) return;
      if (event.ctrlKey || event.altKey || event.metaKey) return;  // the browser's shortcuts
      event.stopImmediatePropagation();  // the starting key is not also a request
      status.state = 'starting';
      promptText.hidden = true;
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
    pendingRequests |= bit;
  });

  main();
})();
