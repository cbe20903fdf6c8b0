// The page's side of the worker protocol: one promise per request.
/* global WORKER_SOURCE */

async function readInto(blob, buffer) {
  const reader = blob.stream().getReader({ mode: 'byob' });
  let view = new Uint8Array(buffer);
  let got = 0;
  try {
    while (got < view.length) {
      const { done, value } = await reader.read(view.subarray(got));
      if (done) break;
      got += value.byteLength;
      view = new Uint8Array(value.buffer);
    }
  } finally {
    reader.releaseLock();
  }
  return got === view.length ? view.buffer : view.buffer.slice(0, got);
}

export class Core {
  constructor() {
    // A worker made from a Blob URL runs from file:// too, where a worker
    // script loaded from a file is refused.
    const url = URL.createObjectURL(new Blob([WORKER_SOURCE], { type: 'text/javascript' }));
    this.worker = new Worker(url);
    URL.revokeObjectURL(url);
    this.pending = new Map();
    this.files = new Map();  // the CD's files: path below its folder -> File
    this.nextId = 1;
    this.worker.onmessage = (event) => {
      const { id, result, error } = event.data;
      const waiting = this.pending.get(id);
      if (!waiting) return;
      this.pending.delete(id);
      if (error !== undefined) waiting.reject(new Error(error));
      else waiting.resolve(result);
    };
    this.worker.onerror = (event) => {
      for (const waiting of this.pending.values()) waiting.reject(new Error(event.message || 'The worker failed.'));
      this.pending.clear();
    };
  }

  // The bytes of a file of the CD from start to end, for the worker, which
  // reads no file itself (see worker.js).
  // With a buffer of the size, the bytes are read into it where the engine
  // reads a Blob into a given buffer: a long export then makes no garbage,
  // which some engines collect long after the memory has grown.
  async bytes(path, start, end, into = null) {
    const file = this.files.get(path);
    if (!file) return null;
    if (into && into.byteLength === end - start) {
      try {
        return await readInto(file.slice(start, end), into);
      } catch {
        // a Blob whose stream is not a byte stream
      }
    }
    return file.slice(start, end).arrayBuffer();
  }

  // Sends a request; buffers in transfer move to the worker with it.
  call(op, args, transfer = []) {
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      this.worker.postMessage({ id, op, args }, transfer);
    });
  }
}
