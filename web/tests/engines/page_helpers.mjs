// The suite's steps inside the page, installed once a page has loaded
// (window.kelvoraTest).  It runs in the page: nothing from outside.
// A new tab and a download are not made for real (a script run by a
// driver is no user's click, and engines differ in where downloads go):
// the tab is a document of its own, the download's Blob is kept.
export function installHelpers() {
  if (window.kelvoraTest) return;
  const $ = (id) => document.getElementById(id);
  const errors = [];
  const logError = console.error.bind(console);
  console.error = (...args) => { errors.push(args.map(String).join(' ')); logError(...args); };
  window.addEventListener('error', (e) => errors.push(String(e.message)));
  document.addEventListener('securitypolicyviolation', (e) => errors.push(`refused ${e.violatedDirective} ${e.blockedURI}`));

  const blobs = new Map();
  const createURL = URL.createObjectURL.bind(URL);
  URL.createObjectURL = (blob) => {
    const url = createURL(blob);
    blobs.set(url, blob);
    return url;
  };
  const downloads = [];
  HTMLAnchorElement.prototype.click = function () {
    if (this.download) downloads.push({ name: this.download, blob: blobs.get(this.href) });
  };
  const tabs = [];
  window.open = () => {
    const tab = { document: document.implementation.createHTMLDocument(''), location: {}, close() { this.closed = true; } };
    tabs.push(tab);
    return tab;
  };

  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
  async function until(test, what, ms = 60000) {
    for (const end = Date.now() + ms; Date.now() < end; await sleep(50)) {
      const value = test();
      if (value) return value;
    }
    throw new Error(`waited for ${what}`);
  }
  const hex = (buffer) => Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
  const digest = async (blob) => hex(await crypto.subtle.digest('SHA-256', await blob.arrayBuffer()));
  const treeLabel = (name) => Array.from(document.querySelectorAll('#tree [role=treeitem] > .label'))
    .find((l) => l.textContent === name);
  const rows = () => Array.from(document.querySelectorAll('#list-body tr'), (tr) =>
    Array.from(tr.cells, (td) => td.textContent));
  const base64 = async (blob) => {
    const bytes = new Uint8Array(await blob.arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 32768) text += String.fromCharCode(...bytes.subarray(i, i + 32768));
    return btoa(text);
  };

  window.kelvoraTest = {
    errors,
    waitOpen: (id) => until(() => $(id).open, id),
    async message() {
      await until(() => $('message-dialog').open, 'a message');
      return { caption: $('message-caption').textContent, text: $('message-text').textContent };
    },
    async answer(label) {
      await until(() => $('message-dialog').open, 'a message');
      Array.from($('message-buttons').children).find((b) => b.textContent === label).click();
      await until(() => !$('message-dialog').open, 'the message closed');
    },
    async password(text) {
      await until(() => $('password-dialog').open && !$('message-dialog').open, 'the password dialog');
      $('password-input').value = text;
      $('password-ok').click();
      await sleep(50);
    },
    async licence() {
      await until(() => $('licence-dialog').open, 'the licence');
      return $('licence-text').value;
    },
    async accept() {
      await until(() => $('licence-dialog').open, 'the licence');
      $('licence-accept').click();
    },
    // The main view's tree labels, totals and list rows; with a folder,
    // its list.
    async mainView(folder) {
      await until(() => !$('viewer').hidden && $('status').textContent, 'the main view');
      if (folder) await this.showFolder(folder);
      return {
        tree: Array.from(document.querySelectorAll('#tree [role=treeitem] > .label'))
          .filter((l) => !l.closest('ul[hidden]')).map((l) => l.textContent),
        status: $('status').textContent,
        rows: rows(),
      };
    },
    async showFolder(folder) {
      const label = treeLabel(folder) || (await (async () => {
        for (const item of document.querySelectorAll('#tree [aria-expanded=false] > .label'))
          item.dispatchEvent(new MouseEvent('dblclick', { bubbles: true }));
        return until(() => treeLabel(folder), folder);
      })());
      label.click();
      await until(() => label.parentElement.getAttribute('aria-selected') === 'true', folder);
      // The list is filled by the worker's answer.
      await sleep(300);
    },
    // View/Open of a file: its bytes' digest, type and the name it is shown
    // and saved under.
    async view(folder, name) {
      await this.showFolder(folder);
      await until(() => rows().some((r) => r[0] === name), name);
      const tr = Array.from($('list-body').rows).find((r) => r.cells[0].textContent === name);
      tr.click();
      const [opened, downloaded] = [tabs.length, downloads.length];
      $('cmd-view').click();
      await until(() => downloads.length > downloaded ||
        (tabs.length > opened && (tabs[tabs.length - 1].document.querySelector('a[download]') ||
          tabs[tabs.length - 1].location.href)), `View/Open of ${name}`);
      if (downloads.length > downloaded) {
        const d = downloads[downloads.length - 1];
        return { name: d.name, type: d.blob.type, sha: await digest(d.blob) };
      }
      const tab = tabs[tabs.length - 1];
      const save = tab.document.querySelector('a[download]');
      const blob = blobs.get(save ? save.href : tab.location.href);
      return { name: save ? save.download : null, title: tab.document.title, type: blob.type, sha: await digest(blob) };
    },
    // Export of a tree folder where no folder can be picked: the .zip's
    // name, bytes (or size) and the box that ends it.
    async exportZip(folder, { bytesOnly = false } = {}) {
      delete window.showDirectoryPicker;
      await this.showFolder(folder);
      const before = downloads.length;
      $('cmd-export').click();
      const message = await this.message();
      await until(() => downloads.length > before, 'the download');
      const d = downloads[downloads.length - 1];
      const result = { name: d.name, message: message.text, size: d.blob.size };
      if (!bytesOnly) result.base64 = await base64(d.blob);
      await this.answer('OK');
      return result;
    },
  };
}
