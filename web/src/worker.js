// The page's worker: the portable core in WebAssembly, the CD folder mounted
// read-only, and a small request/answer protocol with the page.  Loaded
// from a Blob URL after the core's glue (createKelvoraCore), so that the
// page works from file:// too.
//
// Requests are {id, op, args}; answers {id, result} or {id, error}.  Every
// file read goes through WORKERFS, which reads the chosen File objects in
// slices: nothing of the CD is held in memory but the chunk being read.
'use strict';

const CD_ROOT = '/cd';
const CHUNK_LIMIT = 16 * 1024 * 1024;

let core = null;
let mounted = false;
let buffer = 0;
let bufferSize = 0;
// Names on a CD are in its code page; the core hands each stored byte over
// as one character (U+0000 to U+00FF) and they are decoded here.
let decoder = new TextDecoder('windows-1252');
const ascii = new TextDecoder('ascii');

async function start() {
  core = await createKelvoraCore({ print: () => {}, printErr: () => {} });
  core._kv_init();
}

function decodeStored(key, value) {
  if (typeof value !== 'string' || !/[\u0080-\u00ff]/.test(value)) return value;
  return decoder.decode(Uint8Array.from(value, (c) => c.charCodeAt(0)));
}

function answer(pointer) {
  const length = core._kv_result_length();
  return JSON.parse(ascii.decode(core.HEAPU8.subarray(pointer, pointer + length)), decodeStored);
}

// Calls a C function with one text argument given as bytes.
function withBytes(bytes, call) {
  const pointer = core._malloc(bytes.length + 1);
  core.HEAPU8.set(bytes, pointer);
  core.HEAPU8[pointer + bytes.length] = 0;
  try {
    return call(pointer);
  } finally {
    core._free(pointer);
  }
}

function utf8(text) {
  return new TextEncoder().encode(text);
}

function mount(files, codepage) {
  decoder = new TextDecoder(codepage || 'windows-1252');
  const FS = core.FS;
  if (mounted) {
    FS.unmount(CD_ROOT);
    mounted = false;
  }
  try {
    FS.mkdir(CD_ROOT);
  } catch (e) {
    // already made by an earlier CD
  }
  FS.mount(core.WORKERFS, { blobs: files.map((f) => ({ name: f.path, data: f.file })) }, CD_ROOT);
  mounted = true;
  return answer(withBytes(utf8(CD_ROOT), (p) => core._kv_open(p)));
}

function region(which) {
  const sizePointer = core._malloc(4);
  try {
    const pointer = core._kv_region(which, sizePointer);
    const size = core.HEAPU32[sizePointer >> 2];
    if (!pointer) return null;
    const bytes = core.HEAPU8.slice(pointer, pointer + size);
    core._kv_free(pointer);
    return bytes.buffer;
  } finally {
    core._free(sizePointer);
  }
}

// One chunk of a file's decrypted contents: {buffer, length} (length 0 at
// the end), in the buffer given when it is large enough, or {failed,
// messages} when the data file ended early.
function read(reader, size, into) {
  const want = Math.max(1, Math.min(size, CHUNK_LIMIT));
  if (want > bufferSize) {
    if (buffer) core._free(buffer);
    buffer = core._malloc(want);
    bufferSize = want;
  }
  const got = core._kv_read(reader, buffer, want);
  if (got < 0) return { failed: true, messages: answer(core._kv_messages()).messages };
  const bytes = core.HEAPU8.subarray(buffer, buffer + got);
  if (into && into.byteLength >= got) {
    new Uint8Array(into, 0, got).set(bytes);
    return { buffer: into, length: got };
  }
  return { buffer: bytes.slice().buffer, length: got };
}

const operations = {
  mount: ({ files, codepage }) => mount(files, codepage),
  unlock: ({ password }) => answer(withBytes(new Uint8Array(password), (p) => core._kv_unlock(p))),
  tree: () => answer(core._kv_tree()),
  list: ({ node }) => answer(core._kv_list(node)),
  properties: ({ node, entry }) => answer(core._kv_properties(node, entry)),
  plan: ({ node, entry }) => answer(core._kv_plan(node, entry)),
  region: ({ which }) => region(which),
  startScreen: (a) =>
    answer(core._kv_start_screen(a.width, a.height, a.bw, a.bh, a.lw, a.lh, a.cellHeight, a.averageWidth)),
  readOpen: ({ entry }) => answer(core._kv_read_open(entry)),
  read: ({ reader, size, into }) => read(reader, size, into),
  readClose: ({ reader }) => core._kv_read_close(reader),
};

const ready = start();

self.onmessage = async (event) => {
  const { id, op, args } = event.data;
  try {
    await ready;
    const result = operations[op](args || {});
    const moved = result instanceof ArrayBuffer ? result : result && result.buffer;
    const transfer = moved instanceof ArrayBuffer ? [moved] : [];
    self.postMessage({ id, result }, transfer);
  } catch (error) {
    self.postMessage({ id, error: String((error && error.message) || error) });
  }
};
