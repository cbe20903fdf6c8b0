// The page's modal boxes: the message box every report of the core goes
// through, the password and licence dialogs, Properties and the progress
// of an export.  Each returns a promise of the button pressed.

const $ = (id) => document.getElementById(id);

function modal(dialog) {
  dialog.showModal();
}

// One box with a caption, a text (CR LF lines) and buttons; resolves with
// the label of the button pressed.  Escape answers the last button.
export function messageBox(caption, text, buttons = ['OK']) {
  const dialog = $('message-dialog');
  $('message-caption').textContent = caption;
  $('message-text').textContent = text.replace(/\r\n/g, '\n');
  const row = $('message-buttons');
  row.replaceChildren();
  return new Promise((resolve) => {
    const done = (label) => {
      dialog.oncancel = null;
      dialog.close();
      resolve(label);
    };
    for (const label of buttons) {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = label;
      button.onclick = () => done(label);
      row.append(button);
    }
    dialog.oncancel = (event) => {
      event.preventDefault();
      done(buttons[buttons.length - 1]);
    };
    modal(dialog);
    row.firstChild.focus();
  });
}

// Shows each report of a result, one box after the other.
export async function showMessages(messages) {
  for (const m of messages || []) await messageBox(m.caption, m.text);
}

// The password dialog: resolves with the text when OK is pressed, or null
// for Cancel (and Escape).  check(text) decides: true closes the dialog,
// false leaves it open with the text for another try.
export function passwordDialog(check) {
  const dialog = $('password-dialog');
  const input = $('password-input');
  input.value = '';
  return new Promise((resolve) => {
    const finish = (value) => {
      $('password-form').onsubmit = null;
      $('password-cancel').onclick = null;
      dialog.oncancel = null;
      dialog.close();
      resolve(value);
    };
    $('password-form').onsubmit = async (event) => {
      event.preventDefault();
      const verdict = await check(input.value);
      if (verdict === 'correct') finish(input.value);
      else if (verdict === 'cancel') finish(null);
      else {
        if (!dialog.open) modal(dialog);
        input.focus();
      }
    };
    $('password-cancel').onclick = () => finish(null);
    dialog.oncancel = (event) => {
      event.preventDefault();
      finish(null);
    };
    modal(dialog);
    input.focus();
  });
}

// The licence dialog: true for "I accept this agreement >>", false for
// "Decline" (and Escape).
export function licenceDialog(text) {
  const dialog = $('licence-dialog');
  $('licence-text').value = text.replace(/\r\n/g, '\n');
  return new Promise((resolve) => {
    const finish = (accepted) => {
      dialog.oncancel = null;
      dialog.close();
      resolve(accepted);
    };
    $('licence-accept').onclick = () => finish(true);
    $('licence-decline').onclick = () => finish(false);
    dialog.oncancel = (event) => {
      event.preventDefault();
      finish(false);
    };
    modal(dialog);
    $('licence-accept').focus();
  });
}

export function propertiesDialog(lines) {
  const dialog = $('properties-dialog');
  $('prop-name').textContent = lines.name;
  $('prop-type').textContent = lines.type;
  $('prop-size').textContent = lines.size;
  $('prop-encryption').textContent = lines.encryption;
  return new Promise((resolve) => {
    const finish = () => {
      dialog.onclose = null;
      dialog.close();
      resolve();
    };
    $('properties-done').onclick = finish;
    dialog.onclose = finish;
    modal(dialog);
    $('properties-done').focus();
  });
}

function megabytes(bytes) {
  return (bytes / 1048576).toFixed(1) + ' MB';
}

// The progress box of an export or of opening a file; onAbort runs when
// Abort (or Escape) is pressed.
export class ProgressBox {
  constructor(title, onAbort) {
    this.dialog = $('progress-dialog');
    $('progress-title').textContent = title;
    $('progress-name').textContent = '';
    $('progress-figures').textContent = '';
    $('progress-bar').value = 0;
    $('progress-abort').disabled = false;
    $('progress-abort').onclick = () => this.abort(onAbort);
    this.dialog.oncancel = (event) => {
      event.preventDefault();
      this.abort(onAbort);
    };
    modal(this.dialog);
    $('progress-abort').focus();
  }

  abort(onAbort) {
    $('progress-abort').disabled = true;
    onAbort();
  }

  update(p) {
    $('progress-name').textContent = p.name || '';
    $('progress-bar').value = p.bytesTotal ? p.bytesDone / p.bytesTotal : 0;
    $('progress-figures').textContent =
      `${megabytes(p.bytesDone)} of ${megabytes(p.bytesTotal)}, ` +
      `${p.filesDone} of ${p.filesTotal} files`;
  }

  close() {
    this.dialog.oncancel = null;
    this.dialog.close();
  }
}
