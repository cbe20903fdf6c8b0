// The page's worker: the portable core in WebAssembly, the CD folder mounted
// read-only, and a small request/answer protocol with the page.  Loaded
// from a Blob URL after the core's glue (createKelvoraCore), so that the
// page works from file:// too.
//
// Requests are {id, op, args}; answers {id, result} or {id, error}.  The
// worker reads no file itself: from a file:// page some engines let a
// worker started from a Blob URL read no Blob at all.  The page reads the
// bytes and hands them over with the request that needs them: the end of
// every file in the CD's root (where the viewer file is found), the whole
// viewer file, and each chunk of a file being read.  The core reads them
// through WORKERFS, whose files here are windows of handed-over bytes.
'use strict';

const CD_ROOT = '/cd';
const CHUNK_LIMIT = 16 * 1024 * 1024;

/* global WASM_BASE64 */
let core = null;
let mounted = false;
let buffer = 0;
let bufferSize = 0;
// Names on a CD are in its code page; the core hands each stored byte over
// as one character (U+0000 to U+00FF) and they are decoded here.
let decoder = new TextDecoder('windows-1252');
const ascii = new TextDecoder('ascii');

// The WebAssembly as bytes, so that the glue makes no request for it.
function wasmBytes() {
  const text = atob(WASM_BASE64);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
  return bytes;
}

async function start() {
  core = await createKelvoraCore({ print: () => {}, printErr: () => {}, wasmBinary: wasmBytes() });
  core._kv_init();
}

// A file of the CD as WORKERFS sees it: its size, and the windows of its
// bytes handed over so far.  slice() answers the bytes of one window from
// the start asked for (fewer where the window ends, none outside any):
// the core then finds the data short and says so.
class HandedOver {
  constructor(path, size) {
    this.path = path;
    this.size = size;
    this.windows = [];
  }

  hold(offset, bytes) {
    this.windows.push({ offset, bytes: new Uint8Array(bytes) });
  }

  drop(offset) {
    this.windows = this.windows.filter((w) => w.offset !== offset);
  }

  slice(start, end) {
    for (const w of this.windows) {
      const from = start - w.offset;
      if (from >= 0 && from < w.bytes.length) {
        const bytes = w.bytes.subarray(from, Math.min(w.bytes.length, end - w.offset));
        return { size: bytes.length, bytes };
      }
    }
    return { size: 0, bytes: new Uint8Array(0) };
  }
}

// What WORKERFS calls to read a slice: the slice's bytes, without a
// FileReaderSync.
const handedOverReader = {
  readAsArrayBuffer: (chunk) => chunk.bytes,
};
let files = new Map();  // path below the CD -> HandedOver

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

// Mounts the CD's files ({path, size, tail}: tail the last bytes of a file
// in the root) and answers the names of the viewer files found.
function mount(list, codepage) {
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
  files = new Map();
  for (const f of list) {
    const file = new HandedOver(f.path, f.size);
    if (f.tail) file.hold(f.size - f.tail.byteLength, f.tail);
    files.set(f.path, file);
  }
  core.WORKERFS.reader = handedOverReader;
  FS.mount(core.WORKERFS, { blobs: [...files.values()].map((f) => ({ name: f.path, data: f })) }, CD_ROOT);
  mounted = true;
  // Names of the page's files reach the core as UTF-8, whatever the CD's
  // code page.
  const names = decoder;
  decoder = new TextDecoder('utf-8');
  try {
    return answer(withBytes(utf8(CD_ROOT), (p) => core._kv_find(p)));
  } finally {
    decoder = names;
  }
}

// Opens the CD, with the whole viewer file's bytes when one was found.
function open(viewer, bytes) {
  if (viewer && bytes) files.get(viewer).hold(0, bytes);
  return answer(withBytes(utf8(CD_ROOT), (p) => core._kv_open(p)));
}

// The CD's file behind a descriptor of the core.
function fileOf(fd) {
  const stream = core.FS.getStream(fd);
  return stream && stream.node && stream.node.contents instanceof HandedOver ? stream.node.contents : null;
}

const open_readers = new Map();  // reader -> HandedOver

function readOpen(entry) {
  const opened = answer(core._kv_read_open(entry));
  if (opened.reader) {
    const file = fileOf(opened.fd);
    open_readers.set(opened.reader, file);
    opened.file = file ? file.path : null;
  }
  return opened;
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
// the end), deciphered from the chunk's bytes (data, read by the page from
// offset in the entry's data file) back into the same buffer, or {failed,
// messages} when the data file ended early.
function read(reader, data, offset) {
  const file = open_readers.get(reader);
  if (file && data) file.hold(offset, data);
  try {
    return readInto(reader, data ? data.byteLength : 0, data);
  } finally {
    if (file && data) file.drop(offset);
  }
}

function readInto(reader, size, into) {
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
  mount: ({ files: list, codepage }) => mount(list, codepage),
  open: ({ viewer, bytes }) => open(viewer, bytes),
  unlock: ({ password }) => answer(withBytes(new Uint8Array(password), (p) => core._kv_unlock(p))),
  tree: () => answer(core._kv_tree()),
  list: ({ node }) => answer(core._kv_list(node)),
  properties: ({ node, entry }) => answer(core._kv_properties(node, entry)),
  plan: ({ node, entry }) => answer(core._kv_plan(node, entry)),
  region: ({ which }) => region(which),
  startScreen: (a) =>
    answer(core._kv_start_screen(a.width, a.height, a.bw, a.bh, a.lw, a.lh, a.cellHeight, a.averageWidth)),
  readOpen: ({ entry }) => readOpen(entry),
  read: ({ reader, data, offset }) => read(reader, data, offset),
  readClose: ({ reader }) => {
    open_readers.delete(reader);
    core._kv_read_close(reader);
  },
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
