// Code pages of the names and passwords on a CD.  Names are decoded in the
// worker; a password is typed here and must reach the core as the bytes
// the Windows viewer would have got from the same keys.

// The code pages offered on the page, the tool's default first.
export const CODE_PAGES = [
  ['windows-1252', 'Western European (windows-1252)'],
  ['windows-1250', 'Central European (windows-1250)'],
  ['windows-1251', 'Cyrillic (windows-1251)'],
  ['windows-1253', 'Greek (windows-1253)'],
  ['windows-1254', 'Turkish (windows-1254)'],
  ['windows-1255', 'Hebrew (windows-1255)'],
  ['windows-1256', 'Arabic (windows-1256)'],
  ['windows-1257', 'Baltic (windows-1257)'],
  ['windows-1258', 'Vietnamese (windows-1258)'],
  ['windows-874', 'Thai (windows-874)'],
  ['shift_jis', 'Japanese (shift_jis)'],
  ['gbk', 'Chinese, simplified (gbk)'],
  ['big5', 'Chinese, traditional (big5)'],
  ['euc-kr', 'Korean (euc-kr)'],
];

const tables = new Map();

// Character -> bytes of a code page, found by decoding every single byte
// and every two-byte sequence the double-byte pages use.
function table(codepage) {
  let map = tables.get(codepage);
  if (map) return map;
  map = new Map();
  const decoder = new TextDecoder(codepage);
  const take = (bytes) => {
    const text = decoder.decode(bytes);
    if ([...text].length === 1 && text !== '\ufffd' && !map.has(text)) map.set(text, Array.from(bytes));
  };
  for (let b = 0; b < 256; b++) take(Uint8Array.of(b));
  for (let lead = 0x81; lead <= 0xfe; lead++)
    for (let trail = 0x40; trail <= 0xfe; trail++) take(Uint8Array.of(lead, trail));
  tables.set(codepage, map);
  return map;
}

// The text in the code page; a character it lacks becomes "?".
export function encodeText(text, codepage = 'windows-1252') {
  const map = table(codepage);
  const bytes = [];
  for (const ch of text) bytes.push(...(map.get(ch) || [0x3f]));
  return bytes;
}
