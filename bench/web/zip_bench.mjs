// The page's .zip export of a whole CD in one engine, from file://: wall
// time, MiB/s, and the resident memory of each of the browser's processes
// that grew by more than 20 MiB, idle and at the peak (sampled every 100 ms).
//
//   node bench/web/zip_bench.mjs chromium|firefox|webkit CD_DIR PAGE_HTML
import { launch } from '../../web/tests/engines/drivers.mjs';
import { installHelpers } from '../../web/tests/engines/page_helpers.mjs';
import { readFileSync, readdirSync } from 'node:fs';
import { pathToFileURL } from 'node:url';
function procs(root) {
  const kids = new Map();
  for (const n of readdirSync('/proc')) { if (!/^\d+$/.test(n)) continue; try { const st = readFileSync(`/proc/${n}/stat`, 'utf8'); const pp = Number(st.slice(st.lastIndexOf(')') + 2).split(' ')[1]); if (!kids.has(pp)) kids.set(pp, []); kids.get(pp).push(Number(n)); } catch {} }
  const out = {}; const pend = [...(kids.get(root) || [])];
  while (pend.length) { const p = pend.pop(); try { const m = readFileSync(`/proc/${p}/status`, 'utf8').match(/VmRSS:\s+(\d+)/); const c = readFileSync(`/proc/${p}/cmdline`, 'utf8').replace(/\0/g, ' ').slice(0, 60); out[p + ' ' + c] = Number(m[1]) >> 10; } catch {} pend.push(...(kids.get(p) || [])); }
  return out;
}
const [engine, dir, pagePath] = process.argv.slice(2);
const d = await launch(engine);
try {
  await d.goto(pathToFileURL(pagePath).href);
  await d.run(installHelpers);
  await d.run(() => document.getElementById('folder-input').removeAttribute('webkitdirectory'));
  await d.upload('#folder-input', readdirSync(dir).map((n) => dir + '/' + n));
  await d.run(() => kelvoraTest.mainView());
  await new Promise((r) => setTimeout(r, 1000));
  const idle = procs(d.pid);
  const peak = {};
  const t = setInterval(() => { for (const [k, v] of Object.entries(procs(d.pid))) peak[k] = Math.max(peak[k] || 0, v); }, 100);
  const t0 = Date.now();
  const z = await d.run(() => kelvoraTest.exportZip('Kelvora', { bytesOnly: true }));
  clearInterval(t);
  const s = (Date.now() - t0) / 1000;
  console.log(engine, z.size, s.toFixed(1) + 's', (z.size / 1048576 / s).toFixed(0) + ' MiB/s');
  for (const k of Object.keys(peak)) if (peak[k] - (idle[k] || 0) > 20) console.log('  ', k, idle[k], '->', peak[k]);
} finally { await d.close(); }
