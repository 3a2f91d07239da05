// Beside the model: the section of the cage being edited as the drawing
// draws it, its figures (bars, mass, steel ratio) and its checks.
const $ = (id) => document.getElementById(id);
const el = (tag, props = {}, children = []) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};

let sectionText = '';

// The drawing waiting to go in, or null.
let waiting = null;

// The server's drawing, shown as an image: it is drawn, never run. The
// browser decodes an SVG image on the page's own thread (about a dozen ms
// for a section), so a new drawing goes in once the frame that shows the new
// cage is out: the cage comes first, its section a frame later.
export function showSection(svg, blocked) {
  const box = $('section');
  box.classList.toggle('is-blocked', Boolean(blocked));
  if (svg === undefined) return;
  // The same drawing again (an edit that moved no bar): the image stays,
  // and the browser decodes nothing.
  if (svg && svg === sectionText && box.querySelector('img')) {
    waiting = null;
    return;
  }
  const scheduled = waiting !== null;
  waiting = svg || '';
  if (scheduled) return;
  requestAnimationFrame(() => setTimeout(placeSection, 0));
  // A page in the background makes no frames.
  setTimeout(placeSection, 250);
}

function placeSection() {
  if (waiting === null) return;
  const svg = waiting;
  waiting = null;
  const box = $('section');
  sectionText = svg;
  box.textContent = '';
  if (!svg) {
    box.append(el('p', { className: 'empty', textContent: 'No cage: nothing to cut.' }));
    return;
  }
  const src = `data:image/svg+xml;charset=utf-8,${encodeURIComponent(svg)}`;
  const img = el('img', { alt: 'Section of the cage being edited', src, title: 'Click to see it large' });
  img.id = 'section-image';
  img.addEventListener('click', () => {
    $('section-large').src = src;
    $('section-dialog').showModal();
  });
  box.append(img);
}

// Whether the section shows the last drawing it was given.
export const sectionPlaced = () => waiting === null;

export function clearSection(text) {
  waiting = null;
  sectionText = '';
  const box = $('section');
  box.classList.remove('is-blocked');
  box.textContent = '';
  box.append(el('p', { className: 'empty', textContent: text }));
}

export function section() {
  return sectionText;
}

const number = (v, digits) => v.toLocaleString('en-GB', { minimumFractionDigits: digits, maximumFractionDigits: digits });

// What each list shows now, so that an answer that changes nothing in it
// leaves it alone.
const shown = { figures: null, checks: null };
const unchanged = (what, value) => {
  const key = JSON.stringify(value ?? null);
  if (shown[what] === key) return true;
  shown[what] = key;
  return false;
};

export function showFigures(figures) {
  if (unchanged('figures', figures)) return;
  const list = $('figures');
  list.textContent = '';
  if (!figures) {
    list.append(el('dt', { textContent: 'Bars' }), el('dd', { textContent: '–' }));
    return;
  }
  const rows = [
    ['Bars', String(figures.bars)],
    ['Mass', `${number(figures.mass_kg, 1)} kg`],
  ];
  for (const c of figures.columns) {
    const where = c.at === 'lap' ? `Steel in ${c.id}, lap` : `Steel in ${c.id}`;
    rows.push([where, `${number(c.ratio_percent, 2)} % (${c.bars} bars, ${number(c.steel_mm2 / 100, 1)} cm²)`]);
  }
  for (const [term, value] of rows) {
    const dd = el('dd', { textContent: value });
    dd.dataset.figure = term;
    list.append(el('dt', { textContent: term }), dd);
  }
}

const WORD = { pass: 'passes', warn: 'warns', block: 'blocks' };

export function showChecks(checks) {
  if (unchanged('checks', checks)) return;
  const list = $('checks');
  const title = $('checks-title');
  list.textContent = '';
  title.className = '';
  if (!checks || !checks.checked) {
    title.textContent = 'Checks';
    list.append(el('li', { className: 'empty', textContent: 'The checks of a cage show while it is edited.' }));
    return;
  }
  const count = (state) => checks.checks.filter((c) => c.state === state).length;
  const blocks = count('block') + (checks.failures.length ? 1 : 0);
  const warns = count('warn');
  title.textContent = blocks ? `Checks: ${blocks} blocking` : warns ? `Checks: ${warns} warning${warns > 1 ? 's' : ''}` : 'Checks: all pass';
  title.className = blocks ? 'is-block' : warns ? 'is-warn' : '';
  if (checks.failures.length) {
    list.append(el('li', { className: 'is-block', textContent: 'The cage can be built from these values' },
      [el('span', { className: 'finding', textContent: 'It cannot: no cage is shown and Draw creates nothing.' })]));
  }
  for (const c of checks.checks) {
    const item = el('li', { className: `is-${c.state}`, textContent: c.name, title: `${c.name}: ${WORD[c.state] || c.state}` });
    item.dataset.check = c.id;
    item.dataset.state = c.state;
    for (const f of c.findings) item.append(el('span', { className: 'finding', textContent: f }));
    list.append(item);
  }
}
