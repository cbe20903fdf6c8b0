// Times the page's Export of a whole CD in headless chromium, into a folder
// of the origin-private file system (standing in for a picked folder), and
// samples the resident memory of every chromium process meanwhile.
//
//   node bench/web/export_bench.mjs PAGE_URL CD_DIR
// prints one JSON line: {seconds, bytes, baselineMiB, peakMiB} for all of
// chromium's processes, and the peaks of the page's renderer (the page and
// its worker) and of the browser process, which writes the files.
import { mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createRequire } from 'node:module';

// The page's own test runner, installed under web/.
const { chromium } = createRequire(new URL('../../web/package.json', import.meta.url))('@playwright/test');

const [url, cdDir] = process.argv.slice(2);

const byType = {};

// Resident memory of a process and all its descendants, in KiB.
function treeRss(root) {
  const children = new Map();
  for (const name of readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    try {
      const stat = readFileSync(`/proc/${name}/stat`, 'utf8');
      const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(name));
    } catch { /* gone */ }
  }
  let total = 0;
  const pending = [root];
  while (pending.length) {
    const pid = pending.pop();
    try {
      const status = readFileSync(`/proc/${pid}/status`, 'utf8');
      const m = status.match(/VmRSS:\s+(\d+)/);
      if (m && pid !== root) {
        total += Number(m[1]);
        const line = readFileSync(`/proc/${pid}/cmdline`, 'utf8');
        const type = (line.match(/--type=([a-z-]+)/) || [, line.includes('chrom') ? 'browser' : 'other'])[1];
        byType[type] = Math.max(byType[type] || 0, Number(m[1]) / 1024);
      }
    } catch { /* gone */ }
    pending.push(...(children.get(pid) || []));
  }
  return total;
}

// A profile on disk: an off-the-record context would keep the private file
// system, and so the exported bytes, in the browser's memory.
const profile = mkdtempSync(join(tmpdir(), 'kelvora-web-profile-'));
const browser = await chromium.launchPersistentContext(profile, {
  executablePath: process.env.KELVORA_CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox'],
  headless: true,
});
const page = await browser.newPage();
await page.addInitScript(() => {
  window.showDirectoryPicker = async () =>
    (await navigator.storage.getDirectory()).getDirectoryHandle('bench', { create: true });
});
await page.goto(url);
await page.locator('#folder-input').setInputFiles(cdDir);
await page.getByRole('tree').waitFor();
const label = page.getByRole('treeitem', { name: 'Kelvora', exact: true }).locator(':scope > .label');
await label.click();
await page.waitForTimeout(500);

const rootPid = process.pid;
const baseline = treeRss(rootPid);
let peak = baseline;
const sampler = setInterval(() => { peak = Math.max(peak, treeRss(rootPid)); }, 100);
const started = performance.now();
await page.getByRole('button', { name: 'Export' }).click();
await page.getByRole('alertdialog').waitFor({ timeout: 600000 });
const seconds = (performance.now() - started) / 1000;
clearInterval(sampler);
const caption = await page.getByRole('alertdialog').locator('h2').textContent();
const bytes = await page.evaluate(async () => {
  let total = 0;
  async function walk(dir) {
    for await (const h of dir.values())
      if (h.kind === 'directory') await walk(h);
      else total += (await h.getFile()).size;
  }
  await walk(await (await navigator.storage.getDirectory()).getDirectoryHandle('bench'));
  return total;
});
await browser.close();
rmSync(profile, { recursive: true, force: true });
if (caption !== 'Finished:') {
  console.error(`export ended with "${caption}"`);
  process.exit(1);
}
console.log(JSON.stringify({ seconds, bytes, baselineMiB: baseline / 1024, peakMiB: peak / 1024,
  rendererPeakMiB: byType.renderer || 0, browserPeakMiB: byType.browser || 0 }));
