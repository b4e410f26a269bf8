// What the page tests of every engine compare: the canvas's pixels, read in the page, and the
// native capture's frame of the same moment.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

// The canvas's 320 x 240 pixels as RGB bytes.
export const kCanvasPixels = `(() => {
  const d = document.getElementById('screen').getContext('2d').getImageData(0, 0, 320, 240).data;
  let s = '';
  for (let i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]);
  return btoa(s);
})()`;

// The capture's RGB565 frame, widened to 8 bits as every backend presents it.
export function captureFrame(nativeBuild, outDir, seconds) {
  const raw = path.join(outDir, `seek-${seconds}.raw`);
  execFileSync(path.join(nativeBuild, 'glasswhirligo-capture'), ['--seek', seconds.toFixed(3), '-o', raw],
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
