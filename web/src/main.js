// The Kelvora viewer as a web page: choosing the CD folder, the start
// screen, the password and licence dialogs, and the main view with the
// folder tree, the file list, the status-bar totals, View/Open, Export and
// Properties.  The core runs in a worker (see core.js and worker.js).
import { Core } from './core.js';
import { CODE_PAGES, encodeText } from './codepage.js';
import { drawStartScreen } from './start_screen.js';
import {
  messageBox, showMessages, passwordDialog, licenceDialog, propertiesDialog, ProgressBox,
} from './dialogs.js';
import { openEntry, runExport, FileFailed, Aborted } from './export.js';

const $ = (id) => document.getElementById(id);
const START_SCREEN_PERIOD = 200;  // ms, the start screen's one timer period

const core = new Core();
const state = {
  cd: null,            // the result of opening: settings, flags, licence
  nodes: new Map(),    // tree node index -> {node, parent, label, element}
  shownNode: -1,       // the node whose files the list shows
  rows: [],            // the list's rows: {entry, name, sizeText, element}
  anchor: -1,          // the list row a Shift selection extends from
  source: 'tree',      // the pane whose menu or command ran last
  urls: [],            // object URLs of opened files, freed with the CD
  codepage: 'windows-1252',  // of the names and the password
};

for (const [value, label] of CODE_PAGES) $('codepage').append(new Option(label, value));

// ---- Choosing the CD ----------------------------------------------------

// Files of a directory input: paths below the chosen folder.
function filesFromInput(list) {
  return Array.from(list, (file) => {
    const relative = file.webkitRelativePath || file.name;
    const cut = relative.indexOf('/');
    return { path: cut < 0 ? relative : relative.slice(cut + 1), file };
  });
}

function readAllEntries(reader) {
  return new Promise((resolve, reject) => {
    const all = [];
    const more = () => reader.readEntries((batch) => {
      if (!batch.length) resolve(all);
      else { all.push(...batch); more(); }
    }, reject);
    more();
  });
}

async function walkEntry(entry, prefix, out) {
  if (entry.isFile) {
    const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
    out.push({ path: prefix + entry.name, file });
  } else if (entry.isDirectory) {
    for (const child of await readAllEntries(entry.createReader()))
      await walkEntry(child, prefix + entry.name + '/', out);
  }
}

// Files of a drop: a dropped folder is the CD folder; dropped files are
// taken as its contents.
async function filesFromDrop(transfer) {
  const entries = Array.from(transfer.items, (item) => item.webkitGetAsEntry && item.webkitGetAsEntry())
    .filter(Boolean);
  // Without entries (a browser that gives none) the dropped files are all.
  if (!entries.length) return Array.from(transfer.files, (file) => ({ path: file.name, file }));
  const out = [];
  if (entries.length === 1 && entries[0].isDirectory) {
    for (const child of await readAllEntries(entries[0].createReader())) await walkEntry(child, '', out);
  } else {
    for (const entry of entries) await walkEntry(entry, '', out);
  }
  return out;
}

function show(which) {
  for (const id of ['landing', 'start-screen', 'viewer']) $(id).hidden = id !== which;
}

// The last four bytes of a file are where a viewer file has its trailer's
// mark; the core looks for the viewer file in the CD's root by them.
const TAIL = 4;

// Hands the CD's files to the worker: their names and sizes, the ends of
// those in the root, then the whole viewer file once the core found it.
async function mountCd(files) {
  core.files = new Map(files.map((f) => [f.path, f.file]));
  const list = [];
  const moved = [];
  for (const { path, file } of files) {
    const entry = { path, size: file.size };
    if (!path.includes('/') && file.size >= TAIL) {
      entry.tail = await core.bytes(path, file.size - TAIL, file.size);
      moved.push(entry.tail);
    }
    list.push(entry);
  }
  const found = await core.call('mount', { files: list, codepage: state.codepage }, moved);
  const viewer = found.viewers.length === 1 ? found.viewers[0] : null;
  const bytes = viewer ? await core.bytes(viewer, 0, core.files.get(viewer).size) : null;
  return core.call('open', { viewer, bytes }, bytes ? [bytes] : []);
}

async function openCd(files) {
  if (!files.length) return;
  $('busy').hidden = false;
  let cd;
  try {
    state.codepage = $('codepage').value;
    cd = await mountCd(files);
  } catch (error) {
    $('busy').hidden = true;
    await messageBox('Error:', `The CD cannot be read: ${error.message}`);
    return;
  }
  $('busy').hidden = true;
  await showMessages(cd.messages);
  if (!cd.ok) return;
  state.cd = cd;
  await startUp(cd);
}

// ---- Start-up: start screen, password, licence -------------------------

async function startUp(cd) {
  show('start-screen');
  await drawStartScreen(core, $('start-screen'), cd);
  // The start screen fills the window, as the viewer's fills the screen.
  const redraw = () => drawStartScreen(core, $('start-screen'), cd);
  window.addEventListener('resize', redraw);
  try {
    await startUpDialogs(cd);
  } finally {
    window.removeEventListener('resize', redraw);
  }
}

async function startUpDialogs(cd) {
  await new Promise((resolve) => setTimeout(resolve, START_SCREEN_PERIOD));
  let cancelled = false;
  if (cd.password) cancelled = !(await askPassword());
  if (!cancelled && cd.licence !== null) cancelled = !(await licenceDialog(cd.licence));
  if (cancelled) {
    closeCd();
    return;
  }
  await openMainView();
}

function askPassword() {
  return passwordDialog(async (text) => {
    const verdict = await core.call('unlock', { password: encodeText(text, state.codepage) });
    await showMessages(verdict.messages);
    if (verdict.result === 'correct') return 'correct';
    if (verdict.result === 'too-long') {
      await messageBox(verdict.caption, verdict.text);
      return 'retry';
    }
    const answer = await messageBox(verdict.caption, verdict.text, ['Yes', 'No']);
    return answer === 'Yes' ? 'retry' : 'cancel';
  });
}

function closeCd() {
  for (const url of state.urls) URL.revokeObjectURL(url);
  state.urls = [];
  state.cd = null;
  $('folder-input').value = '';
  show('landing');
}

// ---- Main view ----------------------------------------------------------

async function openMainView() {
  const tree = await core.call('tree');
  await showMessages(tree.messages);
  $('status').textContent = tree.totals;
  const exportAllowed = !state.cd.noExport;
  $('cmd-export').disabled = !exportAllowed;
  buildTree(tree.nodes);
  show('viewer');
  const first = tree.nodes[0];
  if (first) {
    selectTreeItem(first.node, true);
    await fillList(first.node);
  } else {
    fillRows([]);
  }
}

function buildTree(nodes) {
  const root = $('tree');
  root.replaceChildren();
  state.nodes.clear();
  for (const n of nodes) {
    const item = document.createElement('li');
    item.setAttribute('role', 'treeitem');
    // Named by its own label alone, not by the labels of its sub-tree.
    item.setAttribute('aria-labelledby', `tree-label-${n.node}`);
    item.setAttribute('aria-selected', 'false');
    item.tabIndex = -1;
    item.dataset.node = n.node;
    // The name is the label's text without the expand arrow drawn before it.
    const label = document.createElement('span');
    label.className = 'label';
    const text = document.createElement('span');
    text.id = `tree-label-${n.node}`;
    text.textContent = n.label;
    label.append(text);
    item.append(label);
    if (n.hasChildren) {
      item.setAttribute('aria-expanded', String(n.expanded));
      const group = document.createElement('ul');
      group.setAttribute('role', 'group');
      group.hidden = !n.expanded;
      item.append(group);
    }
    const parent = state.nodes.get(n.parent);
    const level = parent ? parent.level + 1 : 1;
    item.setAttribute('aria-level', String(level));
    (parent ? parent.element.querySelector(':scope > ul') : root).append(item);
    state.nodes.set(n.node, { ...n, level, element: item });
  }
}

function treeItems() {
  // The visible items in order: those not inside a collapsed group.
  return Array.from($('tree').querySelectorAll('[role=treeitem]')).filter(
    (item) => !item.parentElement.closest('ul[hidden]'));
}

function selectedTreeNode() {
  const item = $('tree').querySelector('[role=treeitem][aria-selected=true]');
  return item ? Number(item.dataset.node) : -1;
}

function selectTreeItem(node, focus) {
  for (const item of $('tree').querySelectorAll('[aria-selected=true]')) {
    item.setAttribute('aria-selected', 'false');
    item.tabIndex = -1;
  }
  const n = state.nodes.get(node);
  if (!n) return;
  n.element.setAttribute('aria-selected', 'true');
  n.element.tabIndex = 0;
  if (focus) n.element.focus();
}

function setExpanded(node, expanded) {
  const n = state.nodes.get(node);
  if (!n || !n.hasChildren) return;
  n.element.setAttribute('aria-expanded', String(expanded));
  n.element.querySelector(':scope > ul').hidden = !expanded;
}

async function fillList(node) {
  const listing = await core.call('list', { node });
  await showMessages(listing.messages);
  state.shownNode = node;
  fillRows(listing.rows);
}

function fillRows(rows) {
  const body = $('list-body');
  body.replaceChildren();
  state.rows = rows.map((row, index) => {
    const tr = document.createElement('tr');
    tr.setAttribute('role', 'row');
    tr.setAttribute('aria-selected', 'false');
    tr.tabIndex = index === 0 ? 0 : -1;
    tr.dataset.row = index;
    for (const text of [row.name, row.sizeText]) {
      const td = document.createElement('td');
      td.setAttribute('role', 'gridcell');
      td.textContent = text;
      tr.append(td);
    }
    body.append(tr);
    return { ...row, element: tr };
  });
  state.anchor = -1;
}

function selectedRows() {
  return state.rows.filter((r) => r.element.getAttribute('aria-selected') === 'true');
}

function focusRow(index) {
  for (const r of state.rows) r.element.tabIndex = -1;
  const row = state.rows[index];
  if (!row) return;
  row.element.tabIndex = 0;
  row.element.focus();
  row.element.scrollIntoView({ block: 'nearest' });
}

function selectRows(index, { toggle = false, extend = false } = {}) {
  if (extend && state.anchor >= 0) {
    const [a, b] = [Math.min(state.anchor, index), Math.max(state.anchor, index)];
    state.rows.forEach((r, i) => r.element.setAttribute('aria-selected', String(i >= a && i <= b)));
  } else if (toggle) {
    const el = state.rows[index].element;
    el.setAttribute('aria-selected', String(el.getAttribute('aria-selected') !== 'true'));
    state.anchor = index;
  } else {
    state.rows.forEach((r, i) => r.element.setAttribute('aria-selected', String(i === index)));
    state.anchor = index;
  }
  focusRow(index);
}

// ---- Context menus ------------------------------------------------------

let menuClosed = null;

function closeMenu() {
  $('menu').hidden = true;
  if (menuClosed) menuClosed();
  menuClosed = null;
}

function openMenu(items, x, y, returnFocus) {
  const menu = $('menu');
  menu.replaceChildren();
  for (const { label, run, disabled } of items) {
    const item = document.createElement('div');
    item.setAttribute('role', 'menuitem');
    item.tabIndex = -1;
    item.textContent = label;
    if (disabled) item.setAttribute('aria-disabled', 'true');
    item.onclick = () => {
      if (disabled) return;
      closeMenu();
      run();
    };
    menu.append(item);
  }
  menu.hidden = false;
  menu.style.left = `${Math.min(x, window.innerWidth - menu.offsetWidth - 4)}px`;
  menu.style.top = `${Math.min(y, window.innerHeight - menu.offsetHeight - 4)}px`;
  menuClosed = () => returnFocus && returnFocus.focus();
  menu.firstChild.focus();
}

$('menu').addEventListener('keydown', (event) => {
  const items = Array.from($('menu').children);
  const at = items.indexOf(document.activeElement);
  if (event.key === 'ArrowDown') items[(at + 1) % items.length].focus();
  else if (event.key === 'ArrowUp') items[(at - 1 + items.length) % items.length].focus();
  else if (event.key === 'Enter' || event.key === ' ') document.activeElement.click();
  else if (event.key === 'Escape' || event.key === 'Tab') closeMenu();
  else return;
  event.preventDefault();
});
document.addEventListener('mousedown', (event) => {
  if (!$('menu').hidden && !$('menu').contains(event.target)) closeMenu();
});

function treeMenu(x, y) {
  state.source = 'tree';
  const focus = $('tree').querySelector('[tabindex="0"]');
  openMenu([
    { label: 'Export', run: exportCommand, disabled: state.cd.noExport },
    { label: 'Properties', run: propertiesCommand },
  ], x, y, focus);
}

function listMenu(x, y) {
  state.source = 'list';
  const focus = document.activeElement;
  openMenu([
    { label: 'View/Open', run: viewCommand },
    { label: 'Export', run: exportCommand, disabled: state.cd.noExport },
    { label: 'Properties', run: propertiesCommand },
  ], x, y, focus);
}

function menuPosition(element) {
  const r = element.getBoundingClientRect();
  return [r.left + 16, r.top + r.height];
}

// ---- Tree and list events ----------------------------------------------

$('tree').addEventListener('click', (event) => {
  const item = event.target.closest('[role=treeitem]');
  if (!item) return;
  state.source = 'tree';
  const node = Number(item.dataset.node);
  selectTreeItem(node, true);
  fillList(node);
});
$('tree').addEventListener('dblclick', (event) => {
  const item = event.target.closest('[role=treeitem]');
  if (!item) return;
  const node = Number(item.dataset.node);
  setExpanded(node, item.getAttribute('aria-expanded') !== 'true');
});
$('tree').addEventListener('contextmenu', (event) => {
  event.preventDefault();
  const item = event.target.closest('[role=treeitem]');
  if (item && event.button === 2) selectTreeItem(Number(item.dataset.node), true);
  const focused = $('tree').querySelector('[tabindex="0"]');
  const [x, y] = event.button === 2 || !focused ? [event.clientX, event.clientY] : menuPosition(focused);
  treeMenu(x, y);
});
$('tree').addEventListener('keydown', (event) => {
  const items = treeItems();
  const current = document.activeElement.closest('[role=treeitem]');
  const at = items.indexOf(current);
  if (at < 0) return;
  const node = Number(current.dataset.node);
  const n = state.nodes.get(node);
  const expanded = current.getAttribute('aria-expanded') === 'true';
  // Moving the selection does not refill the list; Enter does, as a click.
  switch (event.key) {
    case 'ArrowDown': if (at + 1 < items.length) selectTreeItem(Number(items[at + 1].dataset.node), true); break;
    case 'ArrowUp': if (at > 0) selectTreeItem(Number(items[at - 1].dataset.node), true); break;
    case 'Home': selectTreeItem(Number(items[0].dataset.node), true); break;
    case 'End': selectTreeItem(Number(items[items.length - 1].dataset.node), true); break;
    case 'ArrowRight':
      if (n.hasChildren && !expanded) setExpanded(node, true);
      else if (n.hasChildren && at + 1 < items.length) selectTreeItem(Number(items[at + 1].dataset.node), true);
      break;
    case 'ArrowLeft':
      if (n.hasChildren && expanded) setExpanded(node, false);
      else if (n.parent >= 0) selectTreeItem(n.parent, true);
      break;
    case 'Enter': case ' ': state.source = 'tree'; fillList(node); break;
    case 'F10': if (!event.shiftKey) return; treeMenu(...menuPosition(current)); break;
    default: return;
  }
  event.preventDefault();
});

$('list-body').addEventListener('click', (event) => {
  const tr = event.target.closest('tr[role=row]');
  if (!tr) return;
  state.source = 'list';
  selectRows(Number(tr.dataset.row), { toggle: event.ctrlKey || event.metaKey, extend: event.shiftKey });
});
$('list-body').addEventListener('dblclick', (event) => {
  const tr = event.target.closest('tr[role=row]');
  if (!tr) return;
  state.source = 'list';
  viewCommand();
});
$('list').addEventListener('contextmenu', (event) => {
  event.preventDefault();
  const tr = event.target.closest('tbody tr[role=row]');
  if (tr && event.button === 2) {
    const index = Number(tr.dataset.row);
    if (tr.getAttribute('aria-selected') !== 'true') selectRows(index);
    else focusRow(index);
  }
  const focused = document.activeElement.closest && document.activeElement.closest('tbody tr[role=row]');
  const [x, y] = event.button === 2 || !focused ? [event.clientX, event.clientY] : menuPosition(focused);
  listMenu(x, y);
});
$('list').addEventListener('keydown', (event) => {
  if (!state.rows.length) return;
  const tr = document.activeElement.closest && document.activeElement.closest('tbody tr[role=row]');
  const at = tr ? Number(tr.dataset.row) : -1;
  const move = (to) => {
    const index = Math.max(0, Math.min(state.rows.length - 1, to));
    if (event.ctrlKey) focusRow(index);
    else selectRows(index, { extend: event.shiftKey });
  };
  state.source = 'list';
  switch (event.key) {
    case 'ArrowDown': move(at + 1); break;
    case 'ArrowUp': move(at < 0 ? 0 : at - 1); break;
    case 'Home': move(0); break;
    case 'End': move(state.rows.length - 1); break;
    case 'PageDown': move(at + 10); break;
    case 'PageUp': move(at - 10); break;
    case ' ': if (at >= 0) selectRows(at, { toggle: event.ctrlKey }); break;
    case 'a': case 'A':
      if (!event.ctrlKey) return;
      state.rows.forEach((r) => r.element.setAttribute('aria-selected', 'true'));
      break;
    case 'Enter':
      if (at >= 0 && tr.getAttribute('aria-selected') !== 'true') selectRows(at);
      viewCommand();
      break;
    case 'F10': if (!event.shiftKey) return; listMenu(...menuPosition(tr || $('list'))); break;
    default: return;
  }
  event.preventDefault();
});
$('tree').addEventListener('focusin', () => { state.source = 'tree'; });
$('list').addEventListener('focusin', () => { state.source = 'list'; });

// ---- Commands -----------------------------------------------------------

const VIEWABLE = {
  jpg: 'image/jpeg', jpeg: 'image/jpeg', png: 'image/png', gif: 'image/gif', bmp: 'image/bmp',
  webp: 'image/webp', svg: 'image/svg+xml', ico: 'image/x-icon', pdf: 'application/pdf',
  txt: 'text/plain', log: 'text/plain', csv: 'text/plain', ini: 'text/plain', md: 'text/plain',
  mp3: 'audio/mpeg', wav: 'audio/wav', ogg: 'audio/ogg', oga: 'audio/ogg', flac: 'audio/flac',
  m4a: 'audio/mp4', mp4: 'video/mp4', m4v: 'video/mp4', webm: 'video/webm', ogv: 'video/ogg',
};

function typeOf(name) {
  const dot = name.lastIndexOf('.');
  return dot < 0 ? null : VIEWABLE[name.slice(dot + 1).toLowerCase()] || null;
}

// View/Open: the first selected row's decrypted contents in a new tab when
// the browser can show them, else as a download.
async function viewCommand() {
  const row = selectedRows()[0];
  if (!row) return;
  const type = typeOf(row.name);
  // The tab is opened at once, while the click still counts as the user's.
  const tab = type ? window.open('', '_blank') : null;
  const abort = { aborted: false };
  let box = null;
  const boxTimer = setTimeout(() => {
    box = new ProgressBox('Opening...', () => { abort.aborted = true; });
  }, 300);
  const parts = [];
  let failed = false;
  try {
    const source = await openEntry(core, row.entry);
    let done = 0;
    for await (const chunk of source.chunks(abort)) {
      parts.push(new Blob([chunk]));
      done += chunk.byteLength;
      if (box) box.update({ name: row.name, bytesDone: done, bytesTotal: source.size, filesDone: 0, filesTotal: 1 });
    }
  } catch (error) {
    failed = true;
    if (!(error instanceof FileFailed) && !(error instanceof Aborted)) await messageBox('Error:', error.message);
  } finally {
    clearTimeout(boxTimer);
    if (box) box.close();
  }
  if (failed) {
    if (tab) tab.close();
    return;
  }
  const blob = new Blob(parts, { type: type ? await declaredType(type, parts) : 'application/octet-stream' });
  const url = URL.createObjectURL(blob);
  state.urls.push(url);
  if (tab) showInTab(tab, row.name, type, url, blob);
  else download(url, row.name);
}

// A text's type with its encoding: UTF-8 when the bytes are valid UTF-8,
// else the CD's code page (the one its names are in).
async function declaredType(type, parts) {
  if (type !== 'text/plain') return type;
  const bytes = new Uint8Array(await new Blob(parts).arrayBuffer());
  try {
    new TextDecoder('utf-8', { fatal: true }).decode(bytes);
    return 'text/plain;charset=utf-8';
  } catch {
    return `text/plain;charset=${state.codepage}`;
  }
}

function download(url, name) {
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
}

// Shows a file in the tab opened for it, under its own name: a picture,
// a sound, a video or a text in a document titled with the name, with a
// link that saves it under that name.  A PDF goes to the browser's own
// viewer, which a document of this page may not frame.
async function showInTab(tab, name, type, url, blob) {
  if (type === 'application/pdf') {
    tab.location.href = url;
    return;
  }
  const doc = tab.document;
  doc.title = name;
  const body = doc.body || doc.documentElement.appendChild(doc.createElement('body'));
  body.replaceChildren();
  const save = doc.createElement('a');
  save.href = url;
  save.download = name;
  save.textContent = `Save ${name}`;
  const holder = doc.createElement('p');
  holder.append(save);
  let shown;
  if (type.startsWith('image/')) {
    shown = doc.createElement('img');
    shown.alt = name;
  } else if (type.startsWith('audio/') || type.startsWith('video/')) {
    shown = doc.createElement(type.startsWith('audio/') ? 'audio' : 'video');
    shown.controls = true;
  } else {
    shown = doc.createElement('pre');
    const charset = blob.type.split('charset=')[1] || 'utf-8';
    shown.textContent = new TextDecoder(charset).decode(await blob.arrayBuffer());
  }
  if (shown.tagName !== 'PRE') shown.src = url;
  body.append(holder, shown);
}

async function propertiesCommand() {
  let lines;
  if (state.source === 'list') {
    // The first selected row; without one, the dialog's own template texts.
    const row = selectedRows()[0];
    lines = await core.call('properties', row ? { node: state.shownNode, entry: row.entry } : { node: -1, entry: -1 });
  } else {
    lines = await core.call('properties', { node: selectedTreeNode(), entry: -1 });
  }
  await showMessages(lines.messages);
  await propertiesDialog(lines);
}

// Where the export goes: a folder the user picks where the browser offers
// that, else a .zip download.  Null when the user cancelled the picker.
async function pickTarget(zipName) {
  if (typeof window.showDirectoryPicker === 'function') {
    try {
      const directory = await window.showDirectoryPicker({ id: 'kelvora-export', mode: 'readwrite' });
      return { directory, name: directory.name };
    } catch (error) {
      if (error && error.name === 'AbortError') return null;
      // Refused (for instance a system folder): fall back to a download.
    }
  }
  return { zipName, name: `the download ${zipName}` };
}

async function exportCommand() {
  if (!state.cd || state.cd.noExport) return;  // the command is ignored
  if (state.source === 'list') {
    const rows = selectedRows();
    if (!rows.length) return;
    const target = await pickTarget('Kelvora files.zip');
    if (!target) return;
    const plan = { directories: [], files: [] };
    for (const row of rows) {
      const part = await core.call('plan', { node: state.shownNode, entry: row.entry });
      await showMessages(part.messages);
      plan.files.push(...part.files);
    }
    const result = await runExport(core, plan, target, (onAbort) => new ProgressBox('Exporting...', onAbort));
    if (!result.aborted) await messageBox('Finished:', `File(s) has been exported to ${target.name}.`);
    return;
  }
  const node = selectedTreeNode();
  if (node < 0) {
    await messageBox('INFO:', 'You must select a folder to export it.');
    return;
  }
  const name = state.nodes.get(node).label;
  const target = await pickTarget(`${name}.zip`);
  if (!target) return;
  const plan = await core.call('plan', { node, entry: -1 });
  await showMessages(plan.messages);
  const result = await runExport(core, plan, target, (onAbort) => new ProgressBox('Exporting...', onAbort));
  if (!result.aborted) await messageBox('Finished:', `${name} has been exported to ${target.name}.`);
}

$('cmd-view').onclick = () => { state.source = 'list'; viewCommand(); };
$('cmd-export').onclick = () => exportCommand();
$('cmd-properties').onclick = () => propertiesCommand();
$('cmd-close').onclick = () => closeCd();
// The toolbar acts on the pane used last; clicking it must not change that.
for (const id of ['cmd-view', 'cmd-export', 'cmd-properties'])
  $(id).addEventListener('mousedown', (event) => event.preventDefault());

// ---- Landing ------------------------------------------------------------

$('folder-input').addEventListener('change', (event) => openCd(filesFromInput(event.target.files)));
const zone = $('drop-zone');
for (const target of [document.body]) {
  target.addEventListener('dragover', (event) => {
    event.preventDefault();
    zone.classList.add('over');
  });
  target.addEventListener('dragleave', () => zone.classList.remove('over'));
  target.addEventListener('drop', async (event) => {
    event.preventDefault();
    zone.classList.remove('over');
    if ($('landing').hidden) return;
    openCd(await filesFromDrop(event.dataTransfer));
  });
}

window.addEventListener('unhandledrejection', (event) => {
  messageBox('Error:', String((event.reason && event.reason.message) || event.reason));
});
