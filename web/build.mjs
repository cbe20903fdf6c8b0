// Assembles the one-file page: the worker (the core's WebAssembly as
// base64, its glue, then worker.js) as a string, bundled with the page's
// modules and client-zip into one inline script; the style inline; and a
// Content-Security-Policy that allows exactly these two inline blocks, the
// worker from a Blob URL and WebAssembly, and no network access at all.
//
//   node web/build.mjs CORE_JS OUTPUT_HTML     (CORE_JS's .wasm beside it)
import { build } from 'esbuild';
import { createHash } from 'node:crypto';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const [coreJs, output] = process.argv.slice(2);
if (!coreJs || !output) {
  console.error('usage: node web/build.mjs CORE_JS OUTPUT_HTML');
  process.exit(2);
}

const read = (name) => readFileSync(join(here, 'src', name), 'utf8');
const wasm = readFileSync(coreJs.replace(/\.js$/, '.wasm')).toString('base64');
const workerSource = `const WASM_BASE64 = '${wasm}';\n` + readFileSync(coreJs, 'utf8') + '\n' + read('worker.js');

const bundle = await build({
  entryPoints: [join(here, 'src', 'main.js')],
  bundle: true,
  format: 'iife',
  target: 'es2022',
  minify: true,
  write: false,
  legalComments: 'inline',
  define: { WORKER_SOURCE: JSON.stringify(workerSource) },
});
// Inside a <script> element nothing may close it early.
const script = bundle.outputFiles[0].text.replace(/<\/(script)/gi, '<\\/$1');
const style = read('style.css');

const hash = (text) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;
const csp = [
  "default-src 'none'",
  `script-src ${hash(script)} 'wasm-unsafe-eval'`,
  'worker-src blob:',
  `style-src ${hash(style)}`,
  'img-src data: blob:',
  'media-src blob:',
  "connect-src 'none'",
  "form-action 'none'",
  "base-uri 'none'",
].join('; ');

const page = read('index.html')
  .replace('@CSP@', () => csp)
  .replace('@STYLE@', () => style)
  .replace('@SCRIPT@', () => script);
mkdirSync(dirname(output), { recursive: true });
writeFileSync(output, page);
console.log(`${output}: ${page.length} bytes`);
