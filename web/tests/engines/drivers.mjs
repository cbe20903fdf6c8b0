// One small driver over the three browser engines, with Debian's browsers:
// Chromium through Playwright, Firefox ESR through Puppeteer over WebDriver
// BiDi, and WebKitGTK's MiniBrowser through WebKitWebDriver (classic
// WebDriver over HTTP) under its own Xvfb.  The suite drives the page by
// scripts run in it, so the same steps run in every engine.
//
// A driver has: goto(url), run(fn, ...args) (an async function run in the
// page, its JSON-able result back), upload(selector, paths), errors() (the
// console's errors so far), pid (the root of the browser's processes, for
// memory figures) and close().  Every start is bounded by its own timeout,
// and close() kills what it started.
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import { chmodSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const require = createRequire(import.meta.url);
const START_TIMEOUT = 30000;

export const ENGINES = ['chromium', 'firefox', 'webkit'];

export function within(ms, promise, what) {
  let timer;
  return Promise.race([
    promise,
    new Promise((_, reject) => { timer = setTimeout(() => reject(new Error(`${what}: no answer in ${ms} ms`)), ms); }),
  ]).finally(() => clearTimeout(timer));
}

// A script run in the page as text: the function and its arguments.
function scriptOf(fn, args) {
  return `(${fn.toString()})(...${JSON.stringify(args)})`;
}

async function chromium() {
  const { chromium: engine } = require('@playwright/test');
  const profile = mkdtempSync(join(tmpdir(), 'kelvora-chromium-'));
  // A profile on disk: an off-the-record one would keep the private file
  // system, and with it a spooled export, in memory.
  const context = await within(START_TIMEOUT, engine.launchPersistentContext(profile, {
    executablePath: process.env.KELVORA_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', '--no-first-run'],
    viewport: { width: 1024, height: 640 },
    acceptDownloads: true,
  }), 'chromium start');
  const page = context.pages()[0] || await context.newPage();
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('download', (d) => d.cancel().catch(() => {}));
  return {
    engine: 'chromium',
    pid: process.pid,
    goto: (url) => page.goto(url),
    run: (fn, ...args) => page.evaluate(scriptOf(fn, args)),
    upload: (selector, paths) => page.locator(selector).setInputFiles(paths),
    errors: () => errors.slice(),
    screenshot: (path) => page.screenshot({ path }),
    close: async () => {
      await within(10000, context.close(), 'chromium close').catch(() => {});
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

async function firefox() {
  const puppeteer = require('puppeteer-core');
  const browser = await within(START_TIMEOUT, puppeteer.launch({
    browser: 'firefox',
    executablePath: process.env.KELVORA_FIREFOX || '/usr/bin/firefox-esr',
    headless: true,
    protocol: 'webDriverBiDi',
    defaultViewport: { width: 1024, height: 640 },
    extraPrefsFirefox: { 'browser.download.folderList': 2, 'browser.download.dir': tmpdir() },
  }), 'firefox start');
  const page = (await browser.pages())[0] || await browser.newPage();
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  const pid = process.pid;  // firefox and its content processes are below the runner
  return {
    engine: 'firefox',
    pid,
    goto: (url) => page.goto(url),
    run: (fn, ...args) => page.evaluate(scriptOf(fn, args)),
    upload: async (selector, paths) => (await page.$(selector)).uploadFile(...paths),
    errors: () => errors.slice(),
    screenshot: (path) => page.screenshot({ path }),
    close: async () => {
      await within(10000, browser.close(), 'firefox close').catch(() => {});
      const child = browser.process();
      if (child && child.exitCode === null) child.kill('SIGKILL');
    },
  };
}

// A child process whose standard output is collected.
function started(command, args, env) {
  const child = spawn(command, args, { env, stdio: ['ignore', 'pipe', 'pipe'] });
  child.output = '';
  child.stdout.on('data', (d) => { child.output += d; });
  child.stderr.on('data', (d) => { child.output += d; });
  return child;
}

function stop(child) {
  if (child && child.exitCode === null) try { child.kill('SIGKILL'); } catch { /* gone */ }
}

async function xvfb() {
  const x = started('Xvfb', ['-displayfd', '1', '-screen', '0', '1280x800x24', '-nolisten', 'tcp']);
  const display = await within(START_TIMEOUT, new Promise((resolve, reject) => {
    x.stdout.on('data', () => { const m = x.output.match(/^(\d+)\n/m); if (m) resolve(`:${m[1]}`); });
    x.on('exit', () => reject(new Error(`Xvfb ended: ${x.output}`)));
  }), 'Xvfb start').catch((e) => { stop(x); throw e; });
  return { x, display };
}

// The browser as the driver starts it, its output kept in a file: the
// driver does not pass the browser's output on.
function wrappedMiniBrowser(dir) {
  const log = join(dir, 'console.log');
  const wrapper = join(dir, 'MiniBrowser');
  const binary = process.env.KELVORA_MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
  writeFileSync(wrapper, `#!/bin/sh\necho "$@" >>${log}\nexec ${binary} "$@" >>${log} 2>&1\n`);
  chmodSync(wrapper, 0o755);
  writeFileSync(log, '');
  return { wrapper, log };
}

async function webkit() {
  const dir = mkdtempSync(join(tmpdir(), 'kelvora-webkit-'));
  const { wrapper, log } = wrappedMiniBrowser(dir);
  const { x, display } = await xvfb();
  const port = 4400 + Math.floor(Math.random() * 500);
  const driver = started('WebKitWebDriver', [`--port=${port}`], { ...process.env, DISPLAY: display });
  const base = `http://127.0.0.1:${port}`;
  const call = async (method, path, body) => {
    const response = await fetch(base + path, {
      method, headers: { 'content-type': 'application/json' }, body: body && JSON.stringify(body),
    });
    const answer = await response.json();
    if (answer.value && answer.value.error) throw new Error(`${answer.value.error}: ${answer.value.message}`);
    return answer.value;
  };
  let session;
  try {
    session = await within(START_TIMEOUT, (async () => {
      for (;;) {
        try {
          return await call('POST', '/session', { capabilities: { alwaysMatch: {
            browserName: 'MiniBrowser',
            'webkitgtk:browserOptions': {
              binary: wrapper,
              args: ['--automation', '--enable-write-console-messages-to-stdout=true'],
            },
          } } });
        } catch (error) {
          if (driver.exitCode !== null) throw new Error(`WebKitWebDriver ended: ${driver.output}`);
          await new Promise((resolve) => setTimeout(resolve, 200));
        }
      }
    })(), 'WebKitWebDriver start');
  } catch (error) {
    stop(driver);
    stop(x);
    throw error;
  }
  const s = `/session/${session.sessionId}`;
  await call('POST', `${s}/window/rect`, { width: 1024, height: 700 }).catch(() => {});
  // The browser writes the page's console to its standard output:
  // "CONSOLE JS ERROR ..." lines are the errors.
  const errors = () => readFileSync(log, 'utf8').split('\n').filter((l) => /^CONSOLE \S+ ERROR/.test(l));
  const run = async (fn, ...args) => {
    const script = `const done = arguments[arguments.length - 1];
      Promise.resolve().then(() => ${scriptOf(fn, args)}).then(
        (value) => done({ value: value === undefined ? null : value }),
        (error) => done({ error: String((error && error.stack) || error) }));`;
    const answer = await call('POST', `${s}/execute/async`, { script, args: [] });
    if (answer && answer.error) throw new Error(answer.error);
    return answer ? answer.value : undefined;
  };
  await call('POST', `${s}/timeouts`, { script: 600000 });
  return {
    engine: 'webkit',
    pid: driver.pid,
    goto: (url) => call('POST', `${s}/url`, { url }),
    run,
    upload: async (selector, paths) => {
      const found = await call('POST', `${s}/element`, { using: 'css selector', value: selector });
      const id = Object.values(found)[0];
      await call('POST', `${s}/element/${id}/value`, { text: paths.join('\n') });
    },
    errors,
    output: () => readFileSync(log, 'utf8'),
    screenshot: async (path) => {
      const { writeFileSync } = await import('node:fs');
      writeFileSync(path, Buffer.from(await call('GET', `${s}/screenshot`), 'base64'));
    },
    close: async () => {
      await within(10000, call('DELETE', s), 'webkit close').catch(() => {});
      stop(driver);
      stop(x);
      rmSync(dir, { recursive: true, force: true });
    },
  };
}

const launchers = { chromium, firefox, webkit };

export function launch(engine) {
  return launchers[engine]();
}
