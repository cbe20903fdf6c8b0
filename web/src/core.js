// The page's side of the worker protocol: one promise per request.
/* global WORKER_SOURCE */

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
  bytes(path, start, end) {
    const file = this.files.get(path);
    return file ? file.slice(start, end).arrayBuffer() : Promise.resolve(null);
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
