// Reading decrypted files out of the worker, and writing them: into a
// folder the user picked (File System Access) or as one streamed .zip.
// Only a few chunks are ever in flight, so memory does not grow with the
// size of a file.
import { makeZip } from 'client-zip';
import { showMessages, messageBox } from './dialogs.js';

export const CHUNK_SIZE = 8 * 1024 * 1024;
const AHEAD = 2;

export class Aborted extends Error {}
export class FileFailed extends Error {}

// The decrypted contents of a file entry as chunks (Uint8Arrays), AHEAD
// chunks asked for ahead.  Reports its failures and throws FileFailed;
// throws Aborted when the flag is set between chunks.  The page reads each
// chunk's bytes from the data file and the worker deciphers them in the
// same buffer, which comes back as the chunk.
export async function openEntry(core, entry) {
  const opened = await core.call('readOpen', { entry });
  await showMessages(opened.messages);
  if (!opened.reader) throw new FileFailed();
  const { reader, size, file, offset } = opened;
  // With a pool (an array of spare buffers of CHUNK_SIZE), chunks are read
  // into its buffers; the caller gives a chunk's buffer back once the chunk
  // is written.
  async function* chunks(abort, pool = null) {
    // Requests are answered in order; the worker deciphers the next chunks
    // while the page writes this one.  Reads of the data file may finish
    // in any order, but each chunk is sent only after the one before it.
    let asked = 0;
    let sent = Promise.resolve();
    const queue = [];
    const ask = () => {
      while (queue.length < AHEAD && asked < size) {
        const want = Math.min(CHUNK_SIZE, size - asked);
        const at = offset + asked;
        asked += want;
        const spare = pool && want === CHUNK_SIZE ? pool.pop() || new ArrayBuffer(CHUNK_SIZE) : null;
        const data = core.bytes(file, at, at + want, spare);
        const posted = sent.then(() => data).then((bytes) => ({
          answer: core.call('read', { reader, data: bytes, offset: at }, bytes ? [bytes] : []),
        }));
        sent = posted.then(() => {}, () => {});
        queue.push(posted.then((p) => p.answer));
      }
    };
    try {
      ask();
      while (queue.length) {
        const chunk = await queue.shift();
        if (chunk.failed) {
          await showMessages(chunk.messages);
          throw new FileFailed();
        }
        if (chunk.length === 0) break;
        ask();
        if (abort && abort.aborted) throw new Aborted();
        yield new Uint8Array(chunk.buffer, 0, chunk.length);
      }
    } finally {
      await Promise.allSettled(queue);
      core.call('readClose', { reader });
    }
  }
  return { size, chunks };
}

// The handle of a directory below root, made where missing.
async function directoryAt(root, path, cache) {
  let handle = root;
  let sofar = '';
  for (const piece of path.split('/').filter(Boolean)) {
    sofar += '/' + piece;
    let next = cache.get(sofar);
    if (!next) {
      next = await handle.getDirectoryHandle(piece, { create: true });
      cache.set(sofar, next);
    }
    handle = next;
  }
  return handle;
}

function splitPath(path) {
  const cut = path.lastIndexOf('/');
  return cut < 0 ? ['', path] : [path.slice(0, cut), path.slice(cut + 1)];
}

// The plan's files in order, each opened for reading; a file whose data
// cannot be opened has been reported and counts as failed.  Stops at Abort.
async function* openedFiles(core, plan, state) {
  for (const file of plan.files) {
    if (state.abort.aborted) throw new Aborted();
    state.begin(file);
    try {
      yield [file, await openEntry(core, file.entry)];
    } catch (error) {
      if (!(error instanceof FileFailed)) throw error;
      state.fileDone(false);
    }
  }
}

// Writes the plan's directories and files below a picked directory.
async function exportToDirectory(core, plan, root, state) {
  const cache = new Map();
  const pool = [];
  for (const directory of plan.directories) {
    try {
      await directoryAt(root, directory, cache);
    } catch {
      await messageBox('Error Making Dir...(4311)', `${root.name}/${directory}`);
    }
  }
  for await (const [file, source] of openedFiles(core, plan, state)) {
    const [directory, name] = splitPath(file.path);
    let parent, writable;
    try {
      parent = await directoryAt(root, directory, cache);
      writable = await (await parent.getFileHandle(name, { create: true })).createWritable();
    } catch {
      await messageBox('Error:(34565)', 'Cannot create new export file.');
      state.fileDone(false);
      continue;
    }
    try {
      for await (const chunk of source.chunks(state.abort, pool)) {
        await writable.write(chunk);
        state.bytes(chunk.byteLength);
        if (chunk.buffer.byteLength === CHUNK_SIZE) pool.push(chunk.buffer);
      }
      // An Abort during the last write still leaves no file.
      if (state.abort.aborted) throw new Aborted();
      await writable.close();
      state.fileDone(true);
    } catch (error) {
      await writable.abort().catch(() => {});
      await parent.removeEntry(name).catch(() => {});
      if (error instanceof Aborted) throw error;
      if (!(error instanceof FileFailed))
        await messageBox('Error:(34567)', `Cannot write export file [${file.name}]; it was removed.`);
      state.fileDone(false);
    }
  }
}

// The .zip's entries: the plan's empty directories, then its files, each
// file's chunks counted as they go.
async function* zipEntries(core, plan, state, pool) {
  const made = new Set();
  const hasChildren = (dir) => plan.files.some((f) => f.path.startsWith(dir + '/')) ||
    plan.directories.some((d) => d.startsWith(dir + '/'));
  for (const directory of plan.directories)
    if (!hasChildren(directory) && !made.has(directory)) {
      made.add(directory);
      yield { name: directory + '/' };
    }
  for await (const [file, source] of openedFiles(core, plan, state)) {
    const chunks = source.chunks(state.abort, pool);
    async function* counted() {
      for await (const chunk of chunks) {
        state.bytes(chunk.byteLength);
        yield chunk;
      }
      state.fileDone(true);
    }
    yield { name: file.path, lastModified: new Date(), input: counted() };
  }
}

// Where a .zip is spooled until it is whole: a file of the origin-private
// file system where the engine offers one to the page (written as it is
// made, so the page's memory stays flat), else a Blob of the .zip's pieces,
// which an engine may keep on disk or in memory.
const SPOOL = 'kelvora-export';
const SPOOL_KEPT = 10 * 60 * 1000;  // ms a spooled .zip outlives its download's start

async function spoolFolder() {
  try {
    const root = await navigator.storage.getDirectory();
    const folder = await root.getDirectoryHandle(SPOOL, { create: true });
    const probe = await folder.getFileHandle('probe', { create: true });
    if (typeof probe.createWritable !== 'function') return null;
    await folder.removeEntry('probe');
    return folder;
  } catch {
    return null;  // no such storage here (a file:// page in some engines)
  }
}

// Removes the spooled .zips whose downloads started long enough ago.
async function removeOldSpools(folder) {
  const now = Date.now();
  const names = [];
  for await (const name of folder.keys()) names.push(name);
  for (const name of names) {
    const made = Number(name.split('-')[0]);
    if (!(now - made < SPOOL_KEPT)) await folder.removeEntry(name).catch(() => {});
  }
}

// Each piece of the .zip is written (or copied) before the next is read;
// written goes back to the pool of read buffers.
async function eachPiece(stream, write, written) {
  const reader = stream.getReader();
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    await write(value);
    written(value);
  }
}

async function spoolToFile(folder, stream, written) {
  await removeOldSpools(folder);
  const handle = await folder.getFileHandle(`${Date.now()}-export.zip`, { create: true });
  const writable = await handle.createWritable();
  try {
    await eachPiece(stream, (piece) => writable.write(piece), written);
    await writable.close();
  } catch (error) {
    await writable.abort().catch(() => {});
    await folder.removeEntry(handle.name).catch(() => {});
    throw error;
  }
  return handle.getFile();
}

async function spoolToBlob(stream, written) {
  // One Blob per piece: the engine takes each piece out of the page's
  // memory as it comes, where it can.
  const pieces = [];
  await eachPiece(stream, (piece) => { pieces.push(new Blob([piece])); }, written);
  return new Blob(pieces, { type: 'application/zip' });
}

// Makes the plan's .zip and hands it to the browser's downloads once it is
// whole.
async function exportToZip(core, plan, zipName, state) {
  const pool = [];
  const stream = makeZip(zipEntries(core, plan, state, pool));
  // A piece that is a whole chunk read from the CD is one of the pool's.
  const written = (piece) => {
    if (piece.byteLength === CHUNK_SIZE && piece.buffer.byteLength === CHUNK_SIZE) pool.push(piece.buffer);
  };
  const folder = await spoolFolder();
  const zip = folder ? await spoolToFile(folder, stream, written) : await spoolToBlob(stream, written);
  if (state.abort.aborted) throw new Aborted();
  const url = URL.createObjectURL(zip);
  const link = document.createElement('a');
  link.href = url;
  link.download = zipName;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), SPOOL_KEPT);
}

// Runs an export of a plan to a target ({directory} or {zipName}),
// reporting progress; resolves with {written, failed, aborted}.
export async function runExport(core, plan, target, progress) {
  // A backslash in a stored name separates directories, as the engine
  // writes it on systems other than Windows.
  const local = (path) => path.replace(/\\/g, '/');
  plan = {
    directories: plan.directories.map(local),
    files: plan.files.map((f) => ({ ...f, path: local(f.path) })),
  };
  const abort = { aborted: false };
  const p = {
    name: '', filesDone: 0, filesTotal: plan.files.length, bytesDone: 0,
    bytesTotal: plan.files.reduce((sum, f) => sum + f.size, 0),
  };
  const box = progress(() => { abort.aborted = true; });
  let lastPaint = 0;
  const paint = (force) => {
    const now = performance.now();
    if (force || now - lastPaint > 100) {
      lastPaint = now;
      box.update(p);
    }
  };
  const result = { written: 0, failed: 0, aborted: false };
  const state = {
    abort,
    begin(file) { p.name = file.path; paint(true); },
    bytes(n) { p.bytesDone += n; paint(false); },
    fileDone(ok) { p.filesDone += 1; if (ok) result.written += 1; else result.failed += 1; paint(true); },
  };
  paint(true);
  try {
    if (target.directory) await exportToDirectory(core, plan, target.directory, state);
    else await exportToZip(core, plan, target.zipName, state);
  } catch (error) {
    if (error instanceof Aborted || abort.aborted) result.aborted = true;
    else throw error;
  } finally {
    box.close();
  }
  return result;
}
