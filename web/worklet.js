// Plays the receiver's samples (7812.5 per second) at the output's rate
// from an adaptive jitter buffer: it starts at 100 ms (two clips must
// be in before the first sample plays), grows by 50 ms after each
// underrun up to 300 ms, and shrinks back toward 100 ms while playback
// stays clean; a buffer fuller than the target is played a little faster
// until it is back.
const IN_RATE = 7812.5;
const MIN_TARGET = 0.1, MAX_TARGET = 0.3, START_TARGET = 0.1;
const GROW = 0.05, SHRINK = 0.01, CLEAN_SECONDS = 20, CATCH_UP = 1.01, MAX_FILL = 1.0;

class VelkorPlayer extends AudioWorkletProcessor {
  constructor() {
    super();
    this.chunks = [];   // Float32Arrays, oldest first
    this.offset = 0;    // fractional read position in chunks[0]
    this.fill = 0;      // input samples waiting
    this.target = START_TARGET;
    this.playing = false;
    this.clean = 0;     // seconds played since the last underrun
    this.underruns = 0;
    this.frames = 0;
    this.pending = [];  // clip numbers whose first sample is still queued: [sampleIndex, clip]
    this.queuedTotal = 0;
    this.consumed = 0;
    this.port.onmessage = (e) => this.take(e.data);
  }
  take(d) {
    this.chunks.push(d.samples);
    this.pending.push([this.queuedTotal, d.clip]);
    this.queuedTotal += d.samples.length;
    this.fill += d.samples.length;
    while (this.fill > MAX_FILL * IN_RATE && this.chunks.length > 1) { // far behind: skip
      const dropped = this.chunks.shift();
      this.fill -= dropped.length - this.offset;
      this.consumed += dropped.length - this.offset;
      this.offset = 0;
    }
  }
  next() {
    while (this.chunks.length && this.offset >= this.chunks[0].length) {
      this.offset -= this.chunks[0].length;
      this.chunks.shift();
    }
    return this.chunks.length ? this.chunks[0] : null;
  }
  process(inputs, outputs) {
    const out = outputs[0][0];
    const ratio = IN_RATE / sampleRate;
    if (!this.playing && this.fill >= this.target * IN_RATE) this.playing = true;
    let speed = this.fill > (this.target + 0.04) * IN_RATE ? CATCH_UP : 1.0;
    for (let i = 0; i < out.length; i++) {
      if (!this.playing) { out[i] = 0; continue; }
      const c = this.next();
      if (!c || this.fill < 2) {
        out[i] = 0;
        this.playing = false;
        this.underruns++;
        this.clean = 0;
        this.target = Math.min(MAX_TARGET, this.target + GROW);
        continue;
      }
      const k = Math.floor(this.offset), f = this.offset - k;
      const a = c[k], b = k + 1 < c.length ? c[k + 1] : (this.chunks[1] ? this.chunks[1][0] : a);
      out[i] = a + (b - a) * f;
      const step = ratio * speed;
      this.offset += step;
      this.fill -= step;
      this.consumed += step;
    }
    for (let ch = 1; ch < outputs[0].length; ch++) outputs[0][ch].set(out);
    if (this.playing) {
      this.clean += out.length / sampleRate;
      if (this.clean > CLEAN_SECONDS) {
        this.clean = 0;
        this.target = Math.max(MIN_TARGET, this.target - SHRINK);
      }
    }
    // A clip's first sample has left: tell the page (latency measurement).
    while (this.pending.length && this.pending[0][0] <= this.consumed) {
      this.port.postMessage({played: this.pending.shift()[1], t: currentTime});
    }
    this.frames += out.length;
    if (this.frames >= sampleRate / 2) {
      this.frames = 0;
      this.port.postMessage({fill: this.fill / IN_RATE, target: this.target, underruns: this.underruns});
    }
    return true;
  }
}
registerProcessor('velkor-player', VelkorPlayer);
