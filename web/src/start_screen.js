// The start screen in a canvas over the whole page: the background
// picture, the logo and the start-screen text of the CD's settings, placed
// by the core's layout arithmetic (the same as the Windows viewer's).

const FLAG_BACKGROUND = 0x00000001;
const FLAG_LOGO = 0x00000200;
const FLAG_TEXT = 0x00020000;
const FLAG_TEXT_SHADOW = 0x00040000;
const TEXT_CUSTOM_FONT = 0x40;

// 0x00BBGGRR as a CSS colour.
export function cssColour(value) {
  return `rgb(${value & 0xff}, ${(value >>> 8) & 0xff}, ${(value >>> 16) & 0xff})`;
}

async function picture(core, which) {
  const bytes = await core.call('region', { which });
  if (!bytes) return null;
  try {
    return await createImageBitmap(new Blob([bytes]));
  } catch {
    return null;  // a picture the browser cannot decode leaves its layer out
  }
}

// The logo with its key colour made transparent.
function keyed(image, key) {
  const canvas = new OffscreenCanvas(image.width, image.height);
  const g = canvas.getContext('2d');
  g.drawImage(image, 0, 0);
  const pixels = g.getImageData(0, 0, image.width, image.height);
  const d = pixels.data;
  const [r, gr, b] = [key & 0xff, (key >>> 8) & 0xff, (key >>> 16) & 0xff];
  for (let i = 0; i < d.length; i += 4)
    if (d[i] === r && d[i + 1] === gr && d[i + 2] === b) d[i + 3] = 0;
  g.putImageData(pixels, 0, 0);
  return canvas;
}

async function fontFamily(core, settings, pictures) {
  if (!(settings.textFlags & TEXT_CUSTOM_FONT) || !pictures.font || !settings.fontFace) return 'Arial';
  const bytes = await core.call('region', { which: 2 });
  if (!bytes) return 'Arial';
  try {
    const face = new FontFace(settings.fontFace, bytes, { weight: '700' });
    await face.load();
    document.fonts.add(face);
    return JSON.stringify(settings.fontFace);
  } catch {
    return 'Arial';
  }
}

// Draws the start screen into the canvas, filling the window.
export async function drawStartScreen(core, canvas, cd) {
  const s = cd.settings;
  const width = window.innerWidth;
  const height = window.innerHeight;
  canvas.width = width;
  canvas.height = height;
  const g = canvas.getContext('2d');
  g.fillStyle = cssColour(s.backColour);
  g.fillRect(0, 0, width, height);

  const background = s.flags & FLAG_BACKGROUND || cd.pictures.background ? await picture(core, 0) : null;
  const logo = s.flags & FLAG_LOGO || cd.pictures.logo ? await picture(core, 1) : null;
  const family = await fontFamily(core, s, cd.pictures);
  // The font height follows the Windows convention: negative is the
  // character height, positive the cell height.
  const size = s.fontHeight < 0 ? -s.fontHeight : s.fontHeight > 0 ? Math.round(s.fontHeight * 0.85) : 16;
  g.font = `bold ${size}px ${family}, Arial, sans-serif`;
  const metrics = g.measureText('Hg');
  const cellHeight = Math.round(metrics.fontBoundingBoxAscent + metrics.fontBoundingBoxDescent) || size;
  const averageWidth = Math.round(g.measureText('x').width) || 1;

  const layout = await core.call('startScreen', {
    width, height,
    bw: background ? background.width : 0, bh: background ? background.height : 0,
    lw: logo ? logo.width : 0, lh: logo ? logo.height : 0,
    cellHeight, averageWidth,
  });
  if (background)
    for (const r of layout.background) g.drawImage(background, r.x, r.y, r.w, r.h);
  if (logo) g.drawImage(layout.logo.transparent ? keyed(logo, s.logoKeyColour) : logo, layout.logo.x, layout.logo.y);
  if (s.flags & FLAG_TEXT) {
    g.textBaseline = 'top';
    for (const line of layout.lines) {
      if (s.flags & FLAG_TEXT_SHADOW) {
        g.fillStyle = cssColour(s.shadowColour);
        g.fillText(line.text, line.x + s.shadowX, line.y + s.shadowY);
      }
      g.fillStyle = cssColour(s.textColour);
      g.fillText(line.text, line.x, line.y);
    }
  }
}
