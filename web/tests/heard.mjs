// What a listener hears against what the picture shows: the PulseAudio sink's monitor recorded
// with the wall-clock time of every sample, and the song's loudness, 1 ms at a time, matched
// against it second by second. Gives how far the song heard is ahead of the part clock.
import { execFileSync, spawn } from 'node:child_process';
import { performance } from 'node:perf_hooks';

const kRate = 48000;
const kBin = kRate / 1000;  // samples in 1 ms

// Mean loudness of each millisecond of 16-bit mono samples.
function envelope(samples) {
  const bins = new Float64Array(Math.floor(samples.length / kBin));
  for (let b = 0; b < bins.length; ++b) {
    let sum = 0;
    for (let i = b * kBin; i < (b + 1) * kBin; ++i) sum += Math.abs(samples[i]);
    bins[b] = sum / kBin;
  }
  return bins;
}

const mono = bytes => new Int16Array(bytes.buffer, bytes.byteOffset, bytes.length >> 1);

// The song's first `seconds`, as the browser decodes it (48 kHz, the sink's rate), 1 ms a bin.
export function songEnvelope(ogg, seconds) {
  const pcm = execFileSync('ffmpeg', ['-v', 'error', '-i', ogg, '-t', String(seconds),
    '-ac', '1', '-ar', String(kRate), '-f', 's16le', '-'], { maxBuffer: 64 << 20 });
  return envelope(mono(pcm));
}

// Starts recording the monitor; stop() resolves to { envelope, startMs }: bin k was played
// at wall-clock time startMs + k (Date.now()'s scale). The sample that reached us soonest after
// it was played fixes startMs, as late deliveries only add delay.
export function recordSink(monitor) {
  const rec = spawn('parec', ['-d', monitor, '--format=s16le', `--rate=${kRate}`, '--channels=1',
    '--latency-msec=5'], { stdio: ['ignore', 'pipe', 'ignore'] });
  const chunks = [];
  let samples = 0, startMs = Infinity;
  rec.stdout.on('data', c => {
    const now = performance.timeOrigin + performance.now();
    chunks.push(c);
    samples += c.length >> 1;
    startMs = Math.min(startMs, now - samples / kBin);
  });
  return {
    stop: () => new Promise(resolve => {
      rec.on('exit', () => resolve({ envelope: envelope(mono(Buffer.concat(chunks))), startMs }));
      rec.kill();
    }),
  };
}

const kClearBy = 0.05;  // a clear match beats any other peak by this much

function correlation(a, aFrom, b, bFrom, n) {
  let ma = 0, mb = 0;
  for (let i = 0; i < n; ++i) { ma += a[aFrom + i]; mb += b[bFrom + i]; }
  ma /= n; mb /= n;
  let ab = 0, aa = 0, bb = 0;
  for (let i = 0; i < n; ++i) {
    const x = a[aFrom + i] - ma, y = b[bFrom + i] - mb;
    ab += x * y; aa += x * x; bb += y * y;
  }
  return aa && bb ? ab / Math.sqrt(aa * bb) : 0;
}

// Whether the song's loudness over the window fixes its time to a few ms: where it swells
// slowly, or its notes repeat fast and evenly, it matches itself shifted by 10 ms or more
// almost as well as unshifted, and a match against a recording could land that far off.
const kSelfLobeMs = 10, kSelfMatch = 0.6;

function timeable(song, t, windowMs, searchMs) {
  for (let d = kSelfLobeMs; d <= searchMs; ++d) {
    if (t + d + windowMs > song.length) return false;
    if (correlation(song, t, song, t + d, windowMs) > kSelfMatch) return false;
    if (t - d >= 0 && correlation(song, t, song, t - d, windowMs) > kSelfMatch) return false;
  }
  return true;
}

// Every `stepMs` of show time from `fromMs` to `toMs`, how far the song heard over the next
// `windowMs` is ahead of the part clock, in ms (negative: behind), and how well the best match
// matched (1 is perfect). `zeroMs` is the wall-clock time of show time 0; `searchMs` bounds the
// offsets tried.
export function heardOffsets(recording, song, zeroMs,
  { fromMs = 0, toMs = 10000, stepMs = 1000, windowMs = 2000, searchMs = 60 } = {}) {
  const result = [];
  for (let t = fromMs; t < toMs; t += stepMs) {
    if (!timeable(song, t, windowMs, searchMs)) {
      result.push({ at: t, ms: null, untimeable: true });
      continue;
    }
    const recFrom = Math.round(zeroMs + t - recording.startMs);
    const matches = [];
    for (let d = -searchMs; d <= searchMs; ++d) {
      const songFrom = t + d;
      if (recFrom < 0 || songFrom < 0 || recFrom + windowMs > recording.envelope.length ||
          songFrom + windowMs > song.length) continue;
      matches.push({ d, match: correlation(recording.envelope, recFrom, song, songFrom, windowMs) });
    }
    const best = matches.reduce((a, b) => (b.match > a.match ? b : a), { d: null, match: -1 });
    // The other peaks that match about as well: where the song holds a note, noise may pick
    // any of them.
    const peaks = matches.filter((m, i) => m.match >= best.match - kClearBy &&
      m.match >= (matches[i - 1]?.match ?? -1) && m.match >= (matches[i + 1]?.match ?? -1));
    result.push({ at: t, ms: best.d, match: best.match, peaks: peaks.map(m => m.d) });
  }
  return result;
}

// A window with several peaks that match about as well takes the one nearest the median of the
// windows that have one clear peak (the song heard drifts slowly, if at all), and is marked
// `ambiguous`.
export function settleOffsets(offsets) {
  const clear = offsets.filter(o => o.ms !== null && o.peaks.length === 1).map(o => o.ms);
  if (!clear.length) return offsets;
  const median = clear.sort((a, b) => a - b)[clear.length >> 1];
  return offsets.map(o => {
    if (o.ms === null || o.peaks.length === 1) return o;
    const ms = o.peaks.reduce((a, b) => (Math.abs(b - median) < Math.abs(a - median) ? b : a));
    return { ...o, ms, ambiguous: true };
  });
}
