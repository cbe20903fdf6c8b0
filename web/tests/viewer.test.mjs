// The page in a real browser: a CD opened through the folder input, the
// start-up dialogs, the tree and the list read through their ARIA roles,
// View/Open, Export (into a picked folder and as a .zip), Abort, the
// no-export bit, damaged CDs and missing data files, all with the tool's
// texts; and no network request once the page has loaded.
import { test, expect } from '@playwright/test';
import { execFileSync, spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { mkdirSync, readFileSync, readdirSync, statSync, mkdtempSync, rmSync } from 'node:fs';
import { join, relative } from 'node:path';
import { tmpdir } from 'node:os';
import { pathToFileURL } from 'node:url';

const PAGE = process.env.KELVORA_WEB_PAGE;
const FIXTURES = process.env.KELVORA_WEB_FIXTURES;
const TOOL = process.env.KELVORA_TOOL;
const SHOTS = process.env.KELVORA_SCREENSHOTS;
const HTTP_PAGE = `http://127.0.0.1:${process.env.KELVORA_WEB_PORT || 8124}/kelvora-viewer.html`;
const PASSWORD = 'Harbour-Light';

const fileUrl = pathToFileURL(PAGE).href;
const cd = (name) => join(FIXTURES, name);
const sha = (bytes) => createHash('sha256').update(bytes).digest('hex');

// What the tool prints for a CD, for comparing texts.
function tool(...args) {
  const run = spawnSync(TOOL, args, { encoding: 'utf8' });
  return { stdout: run.stdout, stderr: run.stderr, status: run.status };
}

// Every file below a directory: relative path -> sha256 and size.
function digestTree(root) {
  const out = {};
  const walk = (dir) => {
    for (const name of readdirSync(dir)) {
      const path = join(dir, name);
      if (statSync(path).isDirectory()) walk(path);
      else {
        const bytes = readFileSync(path);
        out[relative(root, path)] = { sha: sha(bytes), size: bytes.length };
      }
    }
  };
  walk(root);
  return out;
}

// Records every request the page makes once it has loaded.
function watchRequests(page) {
  const seen = [];
  let loaded = false;
  page.on('load', () => { loaded = true; });
  page.on('request', (request) => { if (loaded) seen.push(request.url()); });
  // Blob URLs are the page's own memory, not the network.
  return () => seen.filter((url) => !url.startsWith('blob:') && !url.startsWith('data:'));
}

async function shot(page, name) {
  mkdirSync(SHOTS, { recursive: true });
  await page.screenshot({ path: join(SHOTS, name) });
}

// The message box showing now: its caption and text.
async function messageShown(page) {
  const box = page.getByRole('alertdialog');
  await expect(box).toBeVisible();
  return {
    caption: await box.locator('h2').textContent(),
    text: (await box.locator('p').textContent()).replace(/\n/g, '\r\n'),
  };
}

async function answer(page, button) {
  await page.getByRole('alertdialog').getByRole('button', { name: button, exact: true }).click();
}

async function openLocked(page, url = fileUrl) {
  await page.goto(url);
  await page.locator('#folder-input').setInputFiles(cd('locked'));
  await page.getByRole('dialog', { name: 'Enter password:' }).getByRole('textbox').fill(PASSWORD);
  await page.getByRole('button', { name: 'OK', exact: true }).click();
  await page.getByRole('button', { name: 'I accept this agreement >>' }).click();
  await expect(page.getByRole('tree')).toBeVisible();
}

// A fresh folder of the origin-private file system answers the folder
// picker; the test reads the export back from it.
async function pickerAnswersWithPrivateFolder(page, slowWrites = false) {
  await page.addInitScript((slow) => {
    window.showDirectoryPicker = async () => {
      const root = await navigator.storage.getDirectory();
      const name = 'export-' + Math.random().toString(36).slice(2);
      return root.getDirectoryHandle(name, { create: true });
    };
    if (slow) {
      const write = FileSystemWritableFileStream.prototype.write;
      FileSystemWritableFileStream.prototype.write = async function (data) {
        await new Promise((resolve) => setTimeout(resolve, 1500));
        return write.call(this, data);
      };
    }
  }, slowWrites);
}

// The files of the newest export folder: path -> sha256 and size.
async function exportedFiles(page) {
  return page.evaluate(async () => {
    const root = await navigator.storage.getDirectory();
    let folder = null;
    for await (const handle of root.values()) folder = handle;
    const out = {};
    const hex = (buffer) => Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
    async function walk(dir, prefix) {
      for await (const handle of dir.values()) {
        const path = prefix + handle.name;
        if (handle.kind === 'directory') {
          out[path + '/'] = 'directory';
          await walk(handle, path + '/');
        } else {
          const bytes = await (await handle.getFile()).arrayBuffer();
          out[path] = { sha: hex(await crypto.subtle.digest('SHA-256', bytes)), size: bytes.byteLength };
        }
      }
    }
    await walk(folder, '');
    return out;
  });
}

function treeItems(page) {
  return page.getByRole('tree').getByRole('treeitem');
}

// A tree item is clicked on its own label, not in the middle of its
// sub-tree.
function treeLabel(page, name) {
  return page.getByRole('treeitem', { name, exact: true }).locator(':scope > .label');
}

test('a CD with a password and a licence opens through the folder input, from file://', async ({ page }) => {
  const requests = watchRequests(page);
  await page.goto(fileUrl);
  await expect(page.getByText('Nothing leaves this machine').first()).toBeVisible();
  await page.locator('#folder-input').setInputFiles(cd('locked'));

  const prompt = page.getByRole('dialog', { name: 'Enter password:' });
  await expect(prompt).toBeVisible();
  await expect(page.locator('#start-screen')).toBeVisible();
  await shot(page, 'web-start-screen.png');

  // A wrong password asks whether to try again; Yes keeps the dialog.
  await prompt.getByRole('textbox').fill('Harbour-Lamp');
  await prompt.getByRole('button', { name: 'OK', exact: true }).click();
  expect(await messageShown(page)).toEqual({
    caption: 'Password Incorrect.',
    text: 'Password incorrect, do you want to try again?\r\n\r\n( case sensitive - make sure "CAPS LOCK" is not on )',
  });
  await answer(page, 'Yes');
  await expect(prompt).toBeVisible();
  await prompt.getByRole('textbox').fill(PASSWORD);
  await prompt.getByRole('button', { name: 'OK', exact: true }).click();

  const licence = page.getByRole('dialog', { name: 'End User Licence Agreement' });
  await expect(licence).toBeVisible();
  await expect(licence.getByRole('textbox')).toHaveValue('These terms apply.\nRead them well.\n');
  await licence.getByRole('button', { name: 'I accept this agreement >>' }).click();

  // The tree, the list and the totals, with the tool's texts.
  const shownFolders = ['Kelvora', 'Docs', 'Empty', 'Pictures'];
  await expect(treeItems(page)).toHaveCount(shownFolders.length);
  for (const [i, name] of shownFolders.entries())
    await expect(treeItems(page).nth(i)).toHaveAccessibleName(name);
  const listed = tool('list', cd('locked'), '--password', PASSWORD).stdout.trim().split('\n');
  await expect(page.getByRole('status')).toHaveText(listed[listed.length - 1]);
  const grid = page.getByRole('grid');
  await expect(grid.getByRole('columnheader')).toHaveText(['File Name', 'File Size']);
  await expect(grid.getByRole('row').nth(1).getByRole('gridcell')).toHaveText(['notes.txt', '17 bytes ( 0.02 kb/0.00 MB )']);

  // Keyboard: down to Docs, open it, down to Letters, Enter fills the list.
  await treeItems(page).first().focus();
  await page.keyboard.press('ArrowDown');
  await expect(page.getByRole('treeitem', { name: 'Docs' })).toBeFocused();
  await page.keyboard.press('ArrowRight');
  await expect(page.getByRole('treeitem', { name: 'Letters' })).toBeVisible();
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('Enter');
  const rows = grid.locator('tbody').getByRole('row');
  await expect(rows).toHaveCount(2);
  // The list's order and size texts are those the tool prints for Letters.
  const letters = listed.slice(listed.findIndex((l) => l.trim() === 'Letters/') + 1)
    .filter((l) => l.startsWith('      ') && !l.trim().endsWith('/')).map((l) => l.trim().split(/  /));
  for (let i = 0; i < 2; i++)
    await expect(rows.nth(i).getByRole('gridcell')).toHaveText(letters[i]);
  await shot(page, 'web-main-view.png');

  // The context-menu key on a row, then Properties.
  await rows.nth(0).click();
  await page.keyboard.press('Shift+F10');
  await expect(page.getByRole('menuitem')).toHaveText(['View/Open', 'Export', 'Properties']);
  await page.getByRole('menuitem', { name: 'Properties' }).click();
  const properties = page.getByRole('dialog', { name: 'Properties' });
  await expect(properties.locator('#prop-name')).toHaveText(letters[0][0]);
  await properties.getByRole('button', { name: 'Done >>' }).click();
  // The tree's Properties describe the folder.
  await treeLabel(page, 'Letters').click({ button: 'right' });
  await page.getByRole('menuitem', { name: 'Properties' }).click();
  await expect(properties.locator('#prop-name')).toHaveText('Letters');
  await properties.getByRole('button', { name: 'Done >>' }).click();

  // The context-menu key on the tree opens the tree's menu; Escape closes
  // it and gives the focus back.
  await page.getByRole('treeitem', { name: 'Letters' }).focus();
  await page.keyboard.press('ContextMenu');
  await expect(page.getByRole('menuitem')).toHaveText(['Export', 'Properties']);
  await page.keyboard.press('Escape');
  await expect(page.getByRole('menu')).toBeHidden();
  await expect(page.getByRole('treeitem', { name: 'Letters' })).toBeFocused();

  expect(requests()).toEqual([]);
});

test('View/Open shows a text in a new tab and downloads what the browser cannot show', async ({ page, context }) => {
  await openLocked(page);
  await treeLabel(page, 'Docs').dblclick();
  await treeLabel(page, 'Letters').click();
  const hello = page.getByRole('row', { name: /hello\.txt/ });
  await hello.click();
  // The tab is titled with the file's name and saves it under that name.
  const [tab] = await Promise.all([context.waitForEvent('page'), page.keyboard.press('Enter')]);
  await expect(tab).toHaveTitle('hello.txt');
  await expect(tab.locator('pre')).toHaveText(
    readFileSync(join(FIXTURES, 'sources/Docs/Letters/hello.txt'), 'utf8').replace(/\r\n/g, '\n'));
  await expect(tab.getByRole('link', { name: 'Save hello.txt' })).toHaveAttribute('download', 'hello.txt');
  await tab.close();

  // A picture opens as a picture.
  await treeLabel(page, 'Pictures').click();
  const [pictureTab] = await Promise.all([context.waitForEvent('page'), page.getByRole('row', { name: /dot\.png/ }).dblclick()]);
  await expect(pictureTab).toHaveTitle('dot.png');
  await expect.poll(() => pictureTab.evaluate(() => document.images[0] && document.images[0].naturalWidth)).toBe(2);
  await pictureTab.close();

  await page.getByRole('row', { name: /large\.bin/ }).click();
  const [download] = await Promise.all([page.waitForEvent('download'), page.getByRole('button', { name: 'View/Open' }).click()]);
  expect(download.suggestedFilename()).toBe('large.bin');
  expect(sha(readFileSync(await download.path()))).toBe(sha(readFileSync(join(FIXTURES, 'sources/Pictures/large.bin'))));
});

test('the whole CD exported into a picked folder equals its sources, with no request after load', async ({ page }) => {
  await pickerAnswersWithPrivateFolder(page);
  const requests = watchRequests(page);
  await openLocked(page, HTTP_PAGE);
  await treeLabel(page, 'Kelvora').click({ button: 'right' });
  await page.getByRole('menuitem', { name: 'Export' }).click();
  const finished = await messageShown(page);
  expect(finished.caption).toBe('Finished:');
  expect(finished.text).toMatch(/^Kelvora has been exported to export-\w+\.$/);
  await answer(page, 'OK');

  const exported = await exportedFiles(page);
  const expected = {};
  for (const [path, digest] of Object.entries(digestTree(join(FIXTURES, 'sources'))))
    expected['Kelvora/' + path] = digest;
  for (const dir of ['Kelvora/', 'Kelvora/Docs/', 'Kelvora/Docs/Letters/', 'Kelvora/Empty/', 'Kelvora/Pictures/'])
    expected[dir] = 'directory';
  expect(exported).toEqual(expected);
  expect(requests()).toEqual([]);
  // The page's Content-Security-Policy refuses any request, even to where
  // the page came from.
  const fetched = await page.evaluate(() => fetch(location.href).then(() => 'fetched', (e) => e.name));
  expect(fetched).toBe('TypeError');
  expect(requests()).toEqual([]);
});

test('Abort stops an export and leaves no partial file', async ({ page }) => {
  await pickerAnswersWithPrivateFolder(page, true);
  await openLocked(page, HTTP_PAGE);
  await treeLabel(page, 'Pictures').click();
  await page.getByRole('button', { name: 'Export' }).click();
  const progress = page.getByRole('dialog', { name: 'Exporting...' });
  await expect(progress.locator('#progress-name')).toHaveText('Pictures/large.bin');
  // The first chunk of large.bin is written: the bar has moved.
  await expect(progress.locator('#progress-figures')).toHaveText(/^[1-9][0-9.]* MB of 9\.0 MB, 1 of 2 files$/);
  await shot(page, 'web-export-progress.png');
  await progress.getByRole('button', { name: 'Abort' }).click();
  await expect(progress).toBeHidden();
  await expect(page.getByRole('alertdialog')).toBeHidden();
  const exported = await exportedFiles(page);
  expect(exported['Pictures/large.bin']).toBeUndefined();
  // Export works again after an Abort.
  await treeLabel(page, 'Docs').click();
  await page.getByRole('button', { name: 'Export' }).click();
  expect((await messageShown(page)).caption).toBe('Finished:');
});

test('without a folder picker a folder is exported as a .zip download', async ({ page }) => {
  await page.addInitScript(() => { delete window.showDirectoryPicker; });
  await openLocked(page);
  await treeLabel(page, 'Docs').click();
  const [download] = await Promise.all([page.waitForEvent('download'), page.getByRole('button', { name: 'Export' }).click()]);
  expect(download.suggestedFilename()).toBe('Docs.zip');
  expect((await messageShown(page)).text).toBe('Docs has been exported to the download Docs.zip.');
  const unpacked = mkdtempSync(join(tmpdir(), 'kelvora-zip-'));
  try {
    execFileSync('python3', ['-m', 'zipfile', '-e', await download.path(), unpacked]);
    const expected = {};
    for (const [path, digest] of Object.entries(digestTree(join(FIXTURES, 'sources/Docs'))))
      expected['Docs/' + path] = digest;
    expect(digestTree(unpacked)).toEqual(expected);
  } finally {
    rmSync(unpacked, { recursive: true, force: true });
  }
});

test('the no-export bit greys Export', async ({ page }) => {
  await page.goto(fileUrl);
  await page.locator('#folder-input').setInputFiles(cd('sealed'));
  await expect(page.getByRole('tree')).toBeVisible();
  await expect(page.getByRole('button', { name: 'Export' })).toBeDisabled();
  await page.getByRole('row', { name: /three\.txt/ }).click({ button: 'right' });
  await expect(page.getByRole('menuitem', { name: 'Export' })).toHaveAttribute('aria-disabled', 'true');
  await page.keyboard.press('Escape');

  // Another CD after this one: the same page, the other CD's tree.
  await page.getByRole('button', { name: 'Close CD' }).click();
  await page.locator('#folder-input').setInputFiles(cd('locked'));
  await page.getByRole('dialog', { name: 'Enter password:' }).getByRole('textbox').fill(PASSWORD);
  await page.getByRole('button', { name: 'OK', exact: true }).click();
  await page.getByRole('button', { name: 'I accept this agreement >>' }).click();
  await expect(page.getByRole('treeitem', { name: 'Pictures' })).toBeVisible();
  await expect(page.getByRole('button', { name: 'Export' })).toBeEnabled();
});

// Damaged CDs: the page shows the tool's message and stays usable.
const damagedCases = [
  { name: 'a catalogue past the end of the viewer file', folder: 'damaged' },
  { name: 'a folder without a viewer file', folder: 'sources',
    message: { caption: 'Error:', text: 'No viewer file in the chosen folder.' } },
];
for (const c of damagedCases) {
  test(`${c.name} gives the tool's message, not a blank page`, async ({ page }) => {
    await page.goto(fileUrl);
    await page.locator('#folder-input').setInputFiles(cd(c.folder));
    let expected = c.message;
    if (!expected) {
      const line = tool('list', cd(c.folder)).stderr.trim();
      const cut = line.indexOf(') ') + 1;
      expected = { caption: line.slice(0, cut), text: line.slice(cut + 1) };
    }
    expect(await messageShown(page)).toEqual(expected);
    await answer(page, 'OK');
    await expect(page.getByRole('button', { name: /Choose the CD's folder/ })).toBeVisible();
  });
}

// Each way of stopping at start-up ends without the main view, back at the
// folder choice.
const stops = [
  { name: 'a wrong password answered No', steps: async (page) => {
    await page.getByRole('dialog', { name: 'Enter password:' }).getByRole('textbox').fill('wrong');
    await page.getByRole('button', { name: 'OK', exact: true }).click();
    await answer(page, 'No');
  } },
  { name: 'Cancel in the password dialog', steps: async (page) => {
    await page.getByRole('button', { name: 'Cancel' }).click();
  } },
  { name: 'Decline of the licence', steps: async (page) => {
    await page.getByRole('dialog', { name: 'Enter password:' }).getByRole('textbox').fill(PASSWORD);
    await page.getByRole('button', { name: 'OK', exact: true }).click();
    await page.getByRole('button', { name: 'Decline' }).click();
  } },
];
for (const stop of stops) {
  test(`${stop.name} ends at the folder choice again`, async ({ page }) => {
    await page.goto(fileUrl);
    await page.locator('#folder-input').setInputFiles(cd('locked'));
    await stop.steps(page);
    await expect(page.getByRole('button', { name: /Choose the CD's folder/ })).toBeVisible();
    await expect(page.getByRole('tree')).toBeHidden();
    await expect(page.locator('dialog[open]')).toHaveCount(0);
  });
}

test('files selected in the list are exported into the picked folder itself', async ({ page }) => {
  await pickerAnswersWithPrivateFolder(page);
  await openLocked(page, HTTP_PAGE);
  await treeLabel(page, 'Pictures').click();
  await page.getByRole('row', { name: /dot\.png/ }).click();
  await page.getByRole('row', { name: /large\.bin/ }).click({ modifiers: ['Control'] });
  await page.getByRole('row', { name: /large\.bin/ }).click({ button: 'right' });
  await page.getByRole('menuitem', { name: 'Export' }).click();
  expect((await messageShown(page)).text).toMatch(/^File\(s\) has been exported to export-\w+\.$/);
  await answer(page, 'OK');
  expect(await exportedFiles(page)).toEqual(digestTree(join(FIXTURES, 'sources/Pictures')));
});

test('missing and short data files give the messages of kelvora test', async ({ page }) => {
  await pickerAnswersWithPrivateFolder(page);
  await page.goto(HTTP_PAGE);
  await page.locator('#folder-input').setInputFiles(cd('holes'));
  await treeLabel(page, 'Kelvora').click();
  await page.getByRole('button', { name: 'Export' }).click();
  const faults = tool('test', cd('holes')).stderr.trim().split('\n');
  for (const line of faults) {
    const cut = line.indexOf(') ') + 1;
    expect(await messageShown(page)).toEqual({ caption: line.slice(0, cut), text: line.slice(cut + 1) });
    await answer(page, 'OK');
  }
  expect((await messageShown(page)).caption).toBe('Finished:');
  await answer(page, 'OK');
  const exported = await exportedFiles(page);
  expect(Object.keys(exported).sort()).toEqual(['Kelvora/', 'Kelvora/Folder/', 'Kelvora/three.txt']);
});

test('the sample CD opens in the page it carries, from file://, with its names in the code page', async ({ page }) => {
  const sample = cd('sample');
  const password = readFileSync(join(sample, '..', '..', '..', 'examples/sample-cd/password.txt'), 'utf8').trim();
  await page.goto(pathToFileURL(join(sample, 'kelvora-viewer.html')).href);
  await page.locator('#folder-input').setInputFiles(sample);
  await page.getByRole('dialog', { name: 'Enter password:' }).getByRole('textbox').fill(password);
  await page.getByRole('button', { name: 'OK', exact: true }).click();
  await page.getByRole('button', { name: 'I accept this agreement >>' }).click();
  const listed = tool('list', sample, '--password', password).stdout.trim().split('\n');
  // The root's files, as the tool lists them (name, two blanks, size text).
  const rootFiles = listed.slice(1).filter((l) => /^  \S/.test(l) && !l.trim().endsWith('/'))
    .map((l) => l.trim().split(/  /));
  const rows = page.getByRole('grid').locator('tbody').getByRole('row');
  await expect(rows).toHaveCount(rootFiles.length);
  for (const [i, cells] of rootFiles.entries())
    await expect(rows.nth(i).getByRole('gridcell')).toHaveText(cells);
  expect(rootFiles.map((r) => r[0])).toContain('Café menu.txt');
});

test('the files of a CD dropped onto the page open it', async ({ page }) => {
  await page.goto(fileUrl);
  const files = readdirSync(cd('sealed')).map((name) => ({
    name, bytes: readFileSync(join(cd('sealed'), name)).toString('base64'),
  }));
  await page.evaluate((dropped) => {
    const transfer = new DataTransfer();
    for (const f of dropped)
      transfer.items.add(new File([Uint8Array.from(atob(f.bytes), (c) => c.charCodeAt(0))], f.name));
    const zone = document.getElementById('drop-zone');
    zone.dispatchEvent(new DragEvent('dragover', { bubbles: true, dataTransfer: transfer }));
    zone.dispatchEvent(new DragEvent('drop', { bubbles: true, dataTransfer: transfer }));
  }, files);
  await expect(page.getByRole('treeitem', { name: 'Folder' })).toBeVisible();
  await expect(page.getByRole('grid').locator('tbody').getByRole('row')).toHaveText([/three\.txt/]);
});

test('names and the password in the code page chosen for the CD', async ({ page }) => {
  await page.goto(fileUrl);
  await page.getByLabel('Names on the CD are in').selectOption('windows-1251');
  await page.locator('#folder-input').setInputFiles(cd('cyrillic'));
  await page.getByRole('dialog', { name: 'Enter password:' }).getByRole('textbox').fill('Пароль-1');
  await page.getByRole('button', { name: 'OK', exact: true }).click();
  await treeLabel(page, 'Документы').click();
  await expect(page.getByRole('grid').locator('tbody').getByRole('row').getByRole('gridcell').first())
    .toHaveText('Привет.txt');
});

test('a double-byte name holding a backslash byte is exported whole', async ({ page }) => {
  await pickerAnswersWithPrivateFolder(page);
  await page.goto(HTTP_PAGE);
  await page.getByLabel('Names on the CD are in').selectOption('shift_jis');
  await page.locator('#folder-input').setInputFiles(cd('japanese'));
  await treeLabel(page, 'Kelvora').click();
  await page.getByRole('button', { name: 'Export' }).click();
  await answer(page, 'OK');
  expect(Object.keys(await exportedFiles(page)).sort()).toEqual(['Kelvora/', 'Kelvora/資料/', 'Kelvora/資料/表.txt']);
});
