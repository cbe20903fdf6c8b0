// The page's browser tests: Debian's chromium, headless, driven by
// Playwright.  The page is opened from file:// and, for the tests that
// export into a picked folder (the origin-private file system stands in for
// the folder picker), from a local server.
import { defineConfig } from '@playwright/test';

const port = Number(process.env.KELVORA_WEB_PORT || 8124);

export default defineConfig({
  testDir: '.',
  testMatch: '*.test.mjs',
  outputDir: process.env.KELVORA_WEB_RESULTS || '../../build/web-test/results',
  workers: 1,
  timeout: 60000,
  reporter: [['list']],
  use: {
    browserName: 'chromium',
    headless: true,
    viewport: { width: 1024, height: 640 },
    acceptDownloads: true,
    launchOptions: {
      executablePath: process.env.KELVORA_CHROMIUM || '/usr/bin/chromium',
      args: ['--no-sandbox'],
    },
  },
  webServer: {
    command: `python3 -m http.server ${port} --bind 127.0.0.1 --directory ${process.env.KELVORA_WEB_DIR}`,
    url: `http://127.0.0.1:${port}/kelvora-viewer.html`,
    reuseExistingServer: false,
    stdout: 'ignore',
    stderr: 'ignore',
  },
});
