// The web panel: the receiver's state from the server, tuning for the
// operator, and the receiver's audio (IMA ADPCM clips, decoded here by
// the same arithmetic as the program's decoder).
'use strict';

const IN_RATE = 7812.5;
const CLIP_OCTETS = 250;
const HEADER = 12;
const FALLBACK_START = 0.1, FALLBACK_MAX = 0.3, FALLBACK_GROW = 0.05;

const STEP_TABLE = [7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45,
  50, 55, 60, 66, 73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307,
  337, 371, 408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552,
  1707, 1878, 2066, 2272, 2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871, 5358, 5894, 6484,
  7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623,
  27086, 29794, 32767];
const INDEX_TABLE = [-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8];

const $ = (id) => document.getElementById(id);
let socket = null, hello = null, state = null, full = false;
let audio = null;   // {ctx, gain, node | null, nextTime, target}
let shortwave = false;

// Test and measurement hooks: the last second of decoded samples, clip
// numbers seen and missed, when each clip came in at the server (on this
// page's clock; right where the page runs on the server's machine), and
// the delays from there to its first sample leaving the audio output
// (latencies) and to its arrival here (transits), in milliseconds.
const stats = {clips: 0, missed: 0, lastClip: -1, recent: new Float32Array(8192), at: 0,
  arrived: new Map(), latencies: [], transits: [], outputLatency: 0, fill: 0, target: 0,
  underruns: 0};
window.velkorStats = stats;

// ---- decoding --------------------------------------------------------------

// One clip: 500 samples from the predictor and index it starts from.
function decodeClip(bytes) {
  let index = bytes[1];
  let predictor = (bytes[2] | (bytes[3] << 8)) << 16 >> 16;
  const out = new Float32Array(2 * CLIP_OCTETS);
  for (let i = 0; i < CLIP_OCTETS; i++) {
    const octet = bytes[HEADER + i];
    for (let half = 0; half < 2; half++) {
      const code = half ? octet >> 4 : octet & 15;
      const step = STEP_TABLE[index];
      let dif = step >> 3;
      if (code & 4) dif += step;
      if (code & 2) dif += step >> 1;
      if (code & 1) dif += step >> 2;
      predictor += (code & 8) ? -dif : dif;
      predictor = Math.max(-32768, Math.min(32767, predictor));
      index = Math.max(0, Math.min(88, index + INDEX_TABLE[code]));
      out[2 * i + half] = predictor / 32768;
    }
  }
  return out;
}

function onClip(buffer) {
  const bytes = new Uint8Array(buffer);
  if (bytes.length !== HEADER + CLIP_OCTETS || bytes[0] !== 1) return;
  const clip = (bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | (bytes[7] << 24)) >>> 0;
  if (stats.lastClip >= 0 && clip > stats.lastClip + 1) stats.missed += clip - stats.lastClip - 1;
  stats.lastClip = clip;
  stats.clips++;
  // The server's wall clock when the clip came in (microseconds, low 32
  // bits), against this page's wall clock now.
  const taken = (bytes[8] | (bytes[9] << 8) | (bytes[10] << 16) | (bytes[11] << 24)) >>> 0;
  const here = performance.now();
  const wallMicros = Math.round((performance.timeOrigin + here) * 1000);
  const transit = (((wallMicros % 4294967296) - taken + 4294967296) % 4294967296) / 1000;
  stats.transits.push(transit);
  if (stats.transits.length > 4096) stats.transits.shift();
  stats.arrived.set(clip, here - transit);
  if (stats.arrived.size > 64) stats.arrived.delete(stats.arrived.keys().next().value);
  const samples = decodeClip(bytes);
  for (const s of samples) { stats.recent[stats.at] = s; stats.at = (stats.at + 1) % stats.recent.length; }
  if (audio) play(samples, clip);
}

// ---- playing ----------------------------------------------------------------

function play(samples, clip) {
  if (audio.node) {
    audio.node.port.postMessage({samples, clip}, [samples.buffer]);
    return;
  }
  // No AudioWorklet (not a secure context): schedule buffers ahead.
  const ctx = audio.ctx;
  const n = Math.floor(samples.length * ctx.sampleRate / IN_RATE);
  const buf = ctx.createBuffer(1, n, ctx.sampleRate);
  const data = buf.getChannelData(0);
  for (let i = 0; i < n; i++) {
    const x = i * IN_RATE / ctx.sampleRate, k = Math.floor(x), f = x - k;
    const a = samples[k], b = k + 1 < samples.length ? samples[k + 1] : a;
    data[i] = a + (b - a) * f;
  }
  const now = ctx.currentTime;
  if (audio.nextTime < now + 0.02) {          // ran dry: restart with more headroom
    if (audio.nextTime) { stats.underruns++; audio.target = Math.min(FALLBACK_MAX, audio.target + FALLBACK_GROW); }
    audio.nextTime = now + audio.target;
  } else if (audio.nextTime > now + 1.0) {  // far behind: skip this one
    return;
  }
  const src = ctx.createBufferSource();
  src.buffer = buf;
  src.connect(audio.gain);
  src.start(audio.nextTime);
  const arrived = stats.arrived.get(clip);
  if (arrived !== undefined) stats.latencies.push(performance.now() - arrived + (audio.nextTime - now) * 1000);
  audio.nextTime += buf.duration;
  stats.fill = audio.nextTime - now;
  stats.target = audio.target;
}

async function startAudio() {
  const ctx = new AudioContext();
  const gain = ctx.createGain();
  gain.gain.value = parseFloat($('volume').value);
  gain.connect(ctx.destination);
  audio = {ctx, gain, node: null, nextTime: 0, target: FALLBACK_START};
  if (ctx.audioWorklet && window.isSecureContext) {
    try {
      await ctx.audioWorklet.addModule('/worklet.js');
      const node = new AudioWorkletNode(ctx, 'velkor-player', {outputChannelCount: [1]});
      node.port.onmessage = (e) => {
        if (e.data.played !== undefined) {
          const arrived = stats.arrived.get(e.data.played);
          const out = (ctx.outputLatency || 0) * 1000;
          stats.outputLatency = out;
          if (arrived !== undefined) stats.latencies.push(performance.now() - arrived + out);
          if (stats.latencies.length > 4096) stats.latencies.shift();
        } else {
          Object.assign(stats, e.data);
        }
      };
      node.connect(gain);
      audio.node = node;
    } catch (err) {
      audio.node = null; // scheduled buffers instead
    }
  }
  await ctx.resume();
  $('audioState').textContent = audio.node ? '' : '(simple playback)';
}

async function toggleListen() {
  const on = $('listenButton').classList.toggle('on');
  $('listenButton').textContent = on ? 'Stop' : 'Listen';
  if (on) {
    if (!audio) await startAudio(); else await audio.ctx.resume();
    send('listen 1');
  } else {
    send('listen 0');
    if (audio) audio.ctx.suspend();
  }
}

// ---- display ----------------------------------------------------------------

// As the dialog shows it: "14.200.000", " 7.000.000".
function formatFrequency(hz) {
  const s = String(hz).padStart(7, ' ');
  const mhz = s.slice(0, -6).trim(), khz = s.slice(-6, -3), rest = s.slice(-3);
  return (mhz || '0') + '.' + khz + '.' + rest;
}

function showBands() {
  const box = $('bands');
  box.textContent = '';
  if (!hello) return;
  for (const band of hello.bands.filter((b) => b.sw === shortwave)) {
    const b = document.createElement('button');
    b.type = 'button';
    b.textContent = band.n;
    b.dataset.f = band.f;
    b.className = 'band';
    b.addEventListener('click', () => tune(band.f));
    box.appendChild(b);
  }
  markBand();
}

function markBand() {
  if (!state) return;
  let best = null;
  for (const b of document.querySelectorAll('#bands button')) {
    const f = +b.dataset.f;
    if (f <= state.f && (!best || f > +best.dataset.f)) best = b;
  }
  for (const b of document.querySelectorAll('#bands button')) b.classList.toggle('on', b === best && state.f - +b.dataset.f < 1000000);
}

function showState() {
  $('freq').textContent = formatFrequency(state.f);
  $('station').textContent = state.station || '';
  $('mode').textContent = state.mode;
  $('step').textContent = 'Speed ' + state.step;
  $('lock').hidden = !state.lock;
  $('dlock').hidden = !state.dlock;
  $('smeter').value = Math.min(10, state.s);
  $('sunits').textContent = 'S' + state.s;
  $('steps').value = String(state.step);
  for (const b of document.querySelectorAll('#modes button')) b.classList.toggle('on', b.dataset.mode === state.mode);
  const locked = state.lock || state.dlock;
  $('tuning').classList.toggle('locked', locked || !state.you);
  $('login').hidden = state.you;
  $('logout').hidden = !state.you;
  const tuner = state.you ? 'You are tuning' : state.op ? 'Someone else is tuning' : 'Nobody is tuning';
  $('who').textContent = state.listeners + ' listening, ' + state.clients + ' connected (limit ' +
    state.limit + '). ' + tuner + (locked ? '; the receiver is locked.' : '.') +
    (state.audio ? '' : ' The receiver\'s audio is off.');
  markBand();
}

function say(text) {
  $('message').textContent = text;
}

// ---- commands ---------------------------------------------------------------

function send(text) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(text);
}

function tune(hz) {
  if (!hello || !Number.isInteger(hz) || hz < hello.min || hz > hello.max) {
    say('Out of range: ' + (hello ? formatFrequency(hello.min) + ' to ' + formatFrequency(hello.max) : ''));
    return;
  }
  if (!state || !state.you) { say('Log in to tune.'); return; }
  if (state.lock || state.dlock) { say('Locked at the receiver.'); return; }
  say('');
  send('tune ' + hz);
  state.f = hz;
  showState();
}

// Next multiple of the step up or down, as the dialog's spinner moves.
function stepBy(dir) {
  if (!state || !state.step) return;
  const rem = state.f % state.step;
  const hz = dir > 0 ? state.f + state.step - rem : state.f - (rem || state.step);
  tune(Math.max(hello.min, Math.min(hello.max, hz)));
}

function readEntry(text) {
  text = text.trim();
  if (!/^\d+(\.\d*)?$|^\.\d+$/.test(text)) return NaN;
  return text.includes('.') ? Math.round(parseFloat(text) * 1e6) : parseInt(text, 10);
}

// ---- connection -------------------------------------------------------------

function connect() {
  const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
  socket = new WebSocket(scheme + location.host + '/ws');
  socket.binaryType = 'arraybuffer';
  socket.onopen = () => { $('link').textContent = 'connected'; $('link').className = 'on-line'; if ($('listenButton').classList.contains('on')) send('listen 1'); };
  socket.onclose = () => {
    $('link').textContent = 'disconnected'; $('link').className = 'off';
    if (!full) setTimeout(connect, 2000);
  };
  socket.onmessage = (e) => {
    if (typeof e.data !== 'string') { onClip(e.data); return; }
    const m = JSON.parse(e.data);
    if (m.t === 'hello') { hello = m; fillSteps(); showBands(); }
    else if (m.t === 'state') { state = m; showState(); }
    else if (m.t === 'login') { say(m.ok ? 'You are the operator.' : m.why); $('password').value = ''; }
    else if (m.t === 'refused') say(m.why);
    else if (m.t === 'full') {
      full = true;
      const box = $('full');
      box.hidden = false;
      box.textContent = 'The receiver has as many listeners as it serves directly. ';
      if (m.icecast) {
        const a = document.createElement('a');
        a.href = m.icecast; a.textContent = 'Listen to its stream'; box.appendChild(a);
      }
    }
  };
}

function fillSteps() {
  const sel = $('steps');
  sel.textContent = '';
  for (const s of hello.steps) {
    const o = document.createElement('option');
    o.value = String(s); o.textContent = String(s) + ' Hz';
    sel.appendChild(o);
  }
}

$('listenButton').addEventListener('click', toggleListen);
$('volume').addEventListener('input', () => { if (audio) audio.gain.gain.value = parseFloat($('volume').value); });
$('entry').addEventListener('submit', (e) => {
  e.preventDefault();
  const hz = readEntry($('direct').value);
  if (Number.isNaN(hz)) { say('Not a frequency: give MHz with a point (14.2) or Hz (7100000).'); return; }
  tune(hz);
  $('direct').value = '';
});
$('up').addEventListener('click', () => stepBy(1));
$('down').addEventListener('click', () => stepBy(-1));
$('steps').addEventListener('change', () => {
  if (!state || !state.you) { say('Log in to tune.'); return; }
  send('step ' + $('steps').value);
});
for (const b of document.querySelectorAll('#modes button')) {
  b.addEventListener('click', () => {
    if (!state || !state.you) { say('Log in to tune.'); return; }
    send('mode ' + b.dataset.mode);
  });
}
for (const r of document.querySelectorAll('input[name=set]')) {
  r.addEventListener('change', () => { shortwave = r.value === 'sw' && r.checked ? true : r.value === 'am' && r.checked ? false : shortwave; showBands(); });
}
$('display').addEventListener('wheel', (e) => { e.preventDefault(); stepBy(e.deltaY < 0 ? 1 : -1); }, {passive: false});
$('display').addEventListener('keydown', (e) => {
  if (e.key === 'ArrowUp' || e.key === 'ArrowRight') { e.preventDefault(); stepBy(1); }
  if (e.key === 'ArrowDown' || e.key === 'ArrowLeft') { e.preventDefault(); stepBy(-1); }
});
$('login').addEventListener('submit', (e) => { e.preventDefault(); send('login ' + $('password').value); });
$('logout').addEventListener('click', () => send('logout'));
connect();
