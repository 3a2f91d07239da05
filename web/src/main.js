// The page of pierhost serve: one run of the tool per browser session. The
// view sends clicks on columns, the palette sends edits and buttons; every
// answer brings the tool's prompt, palette, messages, printed lines and
// preview, which the page shows.
import { api, ApiError, hasToken } from './api.js';
import { View } from './scene.js';
import { Palette } from './palette.js';

const $ = (id) => document.getElementById(id);
const FILES = [
  ['cage.ifc', 'IFC'],
  ['schedule.csv', 'Schedule'],
  ['drawing.svg', 'Drawing'],
  ['model.json', 'JSON'],
];

let session = null;
let state = null;
let createdShown = -1;
const timings = [];

// Requests go one after the other, so that the tool gets the events in the
// order the user made them.
let queue = Promise.resolve();
function enqueue(task) {
  const next = queue.then(task);
  queue = next.catch(() => {});
  return next;
}

// ---------------------------------------------------------------------------
// Console and message boxes.

function log(text, kind = '') {
  const line = document.createElement('div');
  line.className = kind;
  line.textContent = text;
  const box = $('console');
  box.append(line);
  box.scrollTop = box.scrollHeight;
}

let dialogs = Promise.resolve();
function messageBox(text) {
  dialogs = dialogs.then(() => new Promise((resolve) => {
    const dialog = $('message');
    $('message-text').textContent = text;
    dialog.addEventListener('close', resolve, { once: true });
    dialog.showModal();
  }));
  return dialogs;
}

// ---------------------------------------------------------------------------
// Showing a state.

const view = new View($('scene'), $('labels'), {
  onPick: (id) => enqueue(() => send([{ type: 'click', element: id }], `click ${id}`)),
});
const palette = new Palette({
  title: $('palette-title'),
  tabs: $('tabs'),
  fields: $('fields'),
  buttons: $('buttons'),
  onEdit: (name, value) => {
    const start = performance.now();
    // The preview is drawn when the mouse moves over the view, as in a CAD
    // host: the edit is followed by one move.
    enqueue(() => send([{ type: 'set', name, value }, { type: 'move' }], `set ${name} = ${value}`, { start, edited: name }));
  },
  onButton: (event, text) => {
    const start = performance.now();
    enqueue(() => send([{ type: 'button', event }, { type: 'move' }], text, { start }));
  },
});

// `dialogs`: whether the state's messages come up as message boxes; a page
// taking up its session again (a reload) only lists the run's earlier ones.
async function show(next, { dialogs = true } = {}) {
  const before = state;
  state = next;
  $('prompt').textContent = next.prompt || '';
  $('picked').textContent = next.picked.length ? `Picked: ${next.picked.join(', ')}` : 'Nothing picked yet.';
  view.setPicked(next.picked);
  palette.show(next.palette);
  if (next.preview.placements) view.setPreview(next.preview.placements);
  for (const line of next.lines) log(line);
  for (const text of next.messages) log(`message: ${text}`, 'is-message');
  if (next.created.bars !== createdShown) await showCreated(next);
  // Finish opened a cage palette: bring the picked columns into view.
  const file = next.palette && next.palette.file;
  if (before && file && file !== (before.palette && before.palette.file) && next.picked.length) view.focus(next.picked);
  if (dialogs) for (const text of next.messages) messageBox(text);
}

async function showCreated(next) {
  const { json } = await api.created(session);
  view.setCreated(json.cages);
  createdShown = json.bars;
  const cages = next.created.cages.map((c) => `${c.name}: ${c.bars}`).join(', ');
  $('created-summary').textContent = json.bars ? `${json.bars} bars (${cages})` : 'No bars yet.';
  const links = $('downloads');
  links.textContent = '';
  if (!json.bars) return;
  for (const [name, text] of FILES) {
    const a = Object.assign(document.createElement('a'), { href: api.fileUrl(session, name), textContent: text, download: name });
    a.title = `Download ${name}`;
    links.append(a);
  }
}

// Sends events and shows the answer; a measured edit records how long it
// took from the edit to the new preview on screen, and the server's share.
async function send(events, what, { start, edited } = {}) {
  log(`› ${what}`, 'is-host');
  try {
    const { json, serverMs } = await api.events(session, events);
    const answered = performance.now();
    await show(json);
    if (start !== undefined) {
      const shown = performance.now();
      view.render();
      const total = performance.now() - start;
      await new Promise((r) => requestAnimationFrame(r));
      const frame = performance.now() - start;
      timings.push({
        what, start, total, server: serverMs, frame, bars: state.preview.bars,
        request: answered - start, show: shown - answered, render: start + total - shown,
      });
      $('timing').textContent = `${what}: ${total.toFixed(1)} ms to preview (server ${serverMs.toFixed(1)} ms)`;
    }
  } catch (e) {
    await failed(e, edited);
  }
}

async function failed(e, edited) {
  if (e instanceof ApiError && e.status === 404 && session) {
    log(`error: ${e.message}`, 'is-error');
    messageBox('This session has expired. A new run starts.');
    await startSession();
    return;
  }
  if (e instanceof ApiError && e.body && e.body.state) await show(e.body.state);
  else if (edited) palette.revert(edited);
  log(`error: ${e.message}`, 'is-error');
  messageBox(e.message);
}

async function startSession() {
  const { json } = await api.create();
  session = json.session;
  sessionStorage.setItem('pier-session', session);
  createdShown = -1;
  await show(json);
}

// ---------------------------------------------------------------------------
// Start.

$('cancel').addEventListener('click', () => enqueue(() => send([{ type: 'cancel' }], 'cancel')));
$('new-run').addEventListener('click', () => enqueue(async () => {
  log('› new run', 'is-host');
  try {
    const { json } = await api.newRun(session);
    await show(json);
    view.focus([]);
  } catch (e) {
    await failed(e);
  }
}));
$('fit-picked').addEventListener('click', () => view.focus(state ? state.picked : []));
$('fit-all').addEventListener('click', () => view.focus([]));
document.addEventListener('keydown', (e) => {
  // Keys act only while no field has the focus and no message is open.
  if ($('message').open || document.activeElement !== document.body) return;
  if (e.key === 'Escape') $('cancel').click();
  if (e.key === 'p' || e.key === 'P') $('fit-picked').click();
  if (e.key === 'a' || e.key === 'A') $('fit-all').click();
});

async function start() {
  if (!hasToken()) {
    throw new Error('this page needs the address that pierhost serve printed, which ends in ?token=…');
  }
  const { json: model } = await api.model();
  $('model-name').textContent = model.name;
  document.title = `Column cage: ${model.name}`;
  view.setModel(model);
  const kept = sessionStorage.getItem('pier-session');
  if (kept) {
    try {
      session = kept;
      await show((await api.state(kept)).json, { dialogs: false });
      return;
    } catch {
      session = null;
    }
  }
  await startSession();
}

// The page goes: its session is freed unless it comes back (a reload).
window.addEventListener('pagehide', () => {
  if (session) api.leave(session);
});

// What tests read: the state, the bars in the scene, and the timings.
window.pier = {
  ready: false,
  state: () => state,
  session: () => session,
  createdBarCount: () => view.barCount(view.created),
  previewBarCount: () => view.barCount(view.preview),
  columnPoint: (id) => view.screenPoint(id),
  timings,
  idle: () => queue,
};

enqueue(start)
  .then(() => { window.pier.ready = true; })
  .catch((e) => {
    log(`error: ${e.message}`, 'is-error');
    messageBox(`The page could not start: ${e.message}`);
  });
