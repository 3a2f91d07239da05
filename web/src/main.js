// The page of pierhost serve: one run of the tool per browser session. The
// view sends clicks on columns, the palette sends edits and buttons; every
// answer brings the tool's prompt, palette, messages, printed lines and
// preview with its checks, figures and section, which the page shows.
import { api, ApiError, developer, hasToken } from './api.js';
import { View } from './scene.js';
import { Palette } from './palette.js';
import { Console } from './console.js';
import { ask, explain, isOpen, showMessages } from './dialogs.js';
import { clearSection, section, sectionPlaced, showChecks, showFigures, showSection } from './info.js';
import { showCreated, showSchedule } from './created.js';
import { keep, recall } from './remember.js';

const $ = (id) => document.getElementById(id);
const DRAW = 2000;
const FINISH = 1000;

let session = null;
let state = null;
let createdKey = null;
let createdCages = [];
// The edits the user made in this run, in order: what the next run with
// the same palette starts from once a cage was drawn.
let runEdits = new Map();
const timings = [];
const console_ = new Console($('console'));
const log = (text, kind = '') => console_.log(text, kind);

// Requests go one after the other, so that the tool gets the events in the
// order the user made them.
let queue = Promise.resolve();
let tasks = 0;
function enqueue(task) {
  tasks += 1;
  const next = queue.then(task).finally(() => { tasks -= 1; });
  // A fault of the page itself: said, and the next task still runs.
  queue = next.catch((e) => {
    log(`error: the page failed: ${e.message}`, 'is-error');
    setTimeout(() => { throw e; });
  });
  return next;
}

// ---------------------------------------------------------------------------
// What the state says.

// A cage palette is open: a cage is being edited.
const editing = (s) => Boolean(s && s.palette && s.palette.shown && s.palette.buttons.some((b) => b.event === DRAW));
const sameColumns = (a, b) => a.length === b.length && a.every((id, i) => id === b[i]);
const cageName = (s) => (s.picked.length ? s.picked.join('+') : 'the picked columns');
const reinforcedColumns = () => new Set(createdCages.flatMap((c) => c.columns));

// A line the tool printed: what Draw did, or why a cage could not be built.
function readLine(line) {
  let m = /^created (\d+) bars$/.exec(line);
  if (m) return { kind: 'done', bars: Number(m[1]) };
  m = /^created nothing: blocked by (.*)$/.exec(line);
  if (m) return { kind: 'block', by: m[1] };
  return { kind: 'failure' };
}

const FAILURE = 'The cage cannot be built from these values: no cage is shown, and Draw would create nothing.';

// ---------------------------------------------------------------------------
// Showing a state.

const view = new View($('scene'), $('labels'), {
  onPick: (id) => enqueue(() => pick(id)),
});
const palette = new Palette({
  title: $('palette-title'),
  tabs: $('tabs'),
  fields: $('fields'),
  buttons: $('buttons'),
  developer,
  onEdit: (name, value, at) => {
    const start = at || performance.now();
    enqueue(() => edit(name, value, start));
  },
  onButton: (event, text) => {
    const start = performance.now();
    enqueue(() => button(event, text, start));
  },
});

function showPicked(next) {
  const box = $('picked');
  box.textContent = '';
  if (!next.picked.length) {
    box.textContent = editing(next) ? '' : 'Nothing picked yet.';
    return;
  }
  box.append('Picked: ');
  const reinforced = reinforcedColumns();
  next.picked.forEach((id, i) => {
    if (i) box.append(', ');
    const span = document.createElement('span');
    span.textContent = id;
    if (reinforced.has(id)) {
      span.className = 'has-cage';
      span.title = `${id} has a cage already`;
      span.textContent = `${id} (has a cage)`;
    }
    box.append(span);
  });
}

function showEditing(next) {
  const box = $('editing');
  const cage = next.created.cages.find((c) => c.id === next.created.replacing);
  box.hidden = !(cage && editing(next));
  if (cage) box.textContent = `Editing ${cage.name}: Draw replaces it (Undo brings the old one back).`;
}

function showHistory(next) {
  for (const [id, label, what] of [['undo', 'Undo', next.created.undo], ['redo', 'Redo', next.created.redo]]) {
    const b = $(id);
    b.disabled = !what;
    b.title = what ? `${label} ${what}` : `Nothing to ${label.toLowerCase()}`;
  }
}

// The preview, its state beside the view, and the note beside the field at
// fault when the fields make no cage, or one Draw would not create.
function showPreview(next, edited) {
  const checks = next.checks || { checked: false, state: 'none', checks: [], failures: [] };
  const failed = checks.failures.length > 0;
  const blocked = checks.state === 'block';
  if (next.preview.placements) view.setPreview(next.preview.placements, blocked);
  else view.setPreviewBlocked(blocked);
  const badge = $('preview-state');
  badge.textContent = '';
  if (editing(next)) {
    const span = document.createElement('span');
    const blocking = checks.checks.filter((c) => c.state === 'block').map((c) => c.name);
    if (failed || !next.preview.bars) {
      span.className = 'is-block';
      span.textContent = 'No cage: these values do not make one';
    } else if (blocked) {
      span.className = 'is-block';
      span.textContent = `Blocked: Draw would create nothing (${blocking.join('; ')})`;
    }
    if (span.textContent) badge.append(span);
    if (edited && palette.has(edited.name)) {
      if (failed) palette.note(edited.name, `With ${palette.label(edited.name).toLowerCase()} at ${edited.value}${palette.unit(edited.name)} the tool builds no cage: change it back or change another field.`, 'is-block');
      else if (blocked) palette.note(edited.name, `With this value the cage is blocked: ${blocking.join('; ')}. Draw would create nothing.`, 'is-block');
    }
  }
  if (next.preview.placements) {
    if (next.preview.section) showSection(next.preview.section, blocked);
    else clearSection(editing(next) ? 'No cage: nothing to cut.' : 'Finish a pick to see the section of its cage.');
    showFigures(next.preview.figures);
  } else {
    showSection(undefined, blocked);
  }
  showChecks(checks);
}

let createdShown = null;
async function showCreatedCages(next) {
  const key = next.created.cages.map((c) => c.id).join(',');
  // The list as it is (an edit of the cage being drawn): left alone.
  const listed = JSON.stringify(next.created);
  if (listed === createdShown && key === createdKey) return;
  createdShown = listed;
  showCreated(next.created, {
    fileUrl: (name) => api.fileUrl(session, name),
    onEdit: (cage) => enqueue(() => editCage(cage)),
    onDelete: (cage) => enqueue(() => deleteCage(cage)),
    onSchedule: () => enqueue(openSchedule),
  });
  createdCages = next.created.cages;
  view.setReinforced([...reinforcedColumns()]);
  if (key === createdKey) return;
  const { json } = await api.created(session);
  view.setCreated(json.cages);
  createdKey = key;
}

// Shows a state. `dialogs`: whether its messages come up as message boxes
// (a page taking up its session again after a reload only has them in its
// console); `edited`: the field the user just edited, if any.
async function show(next, { dialogs = true, edited = null, fresh = true, draw = false, recalled = null } = {}) {
  const before = state;
  state = next;
  $('prompt').textContent = next.prompt || '';
  $('prompt').title = next.prompt || '';
  view.setPicked(next.picked);
  view.setFaces(next.faces);
  if (edited || draw) palette.clearMarks();
  const changed = palette.show(next.palette, { edited, recalled, mark: Boolean(before) });
  await showCreatedCages(next);
  showPicked(next);
  showEditing(next);
  showHistory(next);
  showPreview(next, edited);
  if (!fresh) return;

  const items = [];
  next.messages.forEach((text, i) => {
    const kind = next.message_kinds[i] || 'note';
    log(`message: ${text}`, `is-${kind}`);
    items.push({ kind, text, explain: explain(text) });
  });
  let outcome = null;
  for (const line of next.lines) {
    const read = readLine(line);
    if (read.kind === 'done' || read.kind === 'block') {
      outcome = read;
      continue;
    }
    log(developer ? `${FAILURE} (${line})` : FAILURE, 'is-block');
  }
  if (changed.length) {
    const what = changed.map((c) => `${c.label}: ${c.from} → ${c.to}${c.unit ? ` ${c.unit}` : ''}`).join('\n');
    log(`changed by the tool: ${what.replaceAll('\n', '; ')}`, 'is-note');
    if (items.length) items.push({ kind: 'note', word: 'Changed by the tool', text: what });
  }
  let title = '';
  let kind = items.some((i) => i.kind === 'block') ? 'block' : items.some((i) => i.kind === 'warn') ? 'warn' : 'note';
  if (outcome) {
    const name = drawnName(before, next) || (before ? cageName(before) : '');
    const status = $('draw-status');
    if (outcome.kind === 'done') {
      title = `Created ${outcome.bars} bars for ${name}`;
      kind = 'done';
      status.className = 'draw-status is-done';
    } else {
      title = `Nothing created for ${name}: blocked by ${outcome.by}`;
      kind = 'block';
      status.className = 'draw-status is-block';
    }
    status.textContent = title;
    log(title, `is-${kind}`);
  } else if (!title) {
    title = kind === 'block' ? 'Blocked' : kind === 'warn' ? 'Warning' : 'The tool says';
  }
  // Focus on the picked columns when Finish opened a cage palette.
  const file = next.palette && next.palette.file;
  if (before && file && file !== (before.palette && before.palette.file) && next.picked.length) view.focus(next.picked);
  if (dialogs && items.length) showMessages({ title, kind, items });
}

// The name of the cage a Draw made: the one new in the list.
function drawnName(before, next) {
  if (!before) return '';
  const old = new Set(before.created.cages.map((c) => c.id));
  const made = next.created.cages.filter((c) => !old.has(c.id));
  return made.length ? made[made.length - 1].name : '';
}

// ---------------------------------------------------------------------------
// What the user does.

// Sends events and shows the answer. A timed request records the time from
// the user's action to the first frame that shows its answer.
async function send(events, what, { start, edited = null, replace, draw = false, recalled = null } = {}) {
  log(`› ${what}`, 'is-host');
  try {
    const { json, serverMs } = await api.events(session, events, replace);
    const answered = performance.now();
    await show(json, { edited, draw, recalled });
    if (start !== undefined) await measure(what, start, answered, serverMs);
    return json;
  } catch (e) {
    await failed(e, edited);
    return null;
  }
}

async function measure(what, start, answered, serverMs) {
  const shown = performance.now();
  // The new cage drawn now; the next frame the browser makes shows it.
  view.render();
  const drawn = performance.now();
  // The next frame begins with its animation callbacks; a task posted from
  // one runs once that frame is painted, so its time is when the new cage
  // is on screen, not merely when its drawing was issued.
  const { begun, painted } = await new Promise((resolve) => requestAnimationFrame(() => {
    const at = performance.now();
    setTimeout(() => resolve({ begun: at, painted: performance.now() }), 0);
  }));
  const total = painted - start;
  timings.push({
    what, start, total, server: serverMs, bars: state.preview.bars,
    request: answered - start, show: shown - answered, draw: drawn - shown,
    // To the frame's beginning, and its painting.
    frame: begun - drawn, paint: painted - begun, toFrameStart: begun - start,
  });
  if (developer) {
    const cage = state.preview.bars && !(state.checks && state.checks.failures.length) ? 'to the new cage on screen' : 'to the frame (no cage)';
    $('timing').textContent = `${what}: ${total.toFixed(1)} ms ${cage} (server ${serverMs.toFixed(1)} ms)`;
  }
}

async function failed(e, edited) {
  if (e instanceof ApiError && e.status === 404 && session && !(e.body && e.body.state)) {
    log(`error: ${e.message}`, 'is-error');
    showMessages({ title: 'This session has expired', kind: 'note', items: [{ kind: 'note', text: 'A new run starts; the cages of the old session are gone.' }] });
    await startSession();
    return;
  }
  const field = e instanceof ApiError && e.body && e.body.field;
  const tool = e instanceof ApiError && e.body && e.body.tool;
  if (e instanceof ApiError && e.body && e.body.state) await show(e.body.state, { edited: field ? null : edited });
  else if (edited) palette.revert(edited.name);
  if (tool) {
    // The tool's own error names its files and functions: the user is told
    // what it means for the cage; a developer sees the tool's words too.
    const what = edited ? `With ${palette.label(edited.name).toLowerCase()} at ${edited.value}${palette.unit(edited.name)} the tool cannot build the cage.` : 'The tool could not do this.';
    log(developer ? `error: ${what} (${e.message})` : `error: ${what}`, 'is-error');
    if (edited && palette.has(edited.name)) {
      palette.note(edited.name, `${what} No cage is shown; change it back or change another field.`, 'is-block');
      view.setPreview([], true);
      showPreview({ ...state, preview: { ...state.preview, bars: 0, placements: [] } }, null);
      return;
    }
    showMessages({ title: 'The tool could not do this', kind: 'block', items: [{ kind: 'block', text: what }] });
    return;
  }
  log(`error: ${e.message}`, 'is-error');
  if (field && palette.has(field)) {
    // A value the field does not take: the field keeps its value, and says why.
    palette.revert(field);
    palette.reveal(field);
    palette.note(field, e.message, 'is-block');
    return;
  }
  showMessages({ title: 'Refused', kind: 'block', items: [{ kind: 'block', word: 'Refused', text: e.message }] });
}

async function edit(name, value, start) {
  const edited = { name, value };
  const answer = await send([{ type: 'set', name, value }, { type: 'move' }], `set ${palette.label(name)} = ${value}${palette.unit(name)}`, { start, edited });
  if (answer) runEdits.set(name, value);
}

async function button(event, text, start) {
  let replace;
  if (event === DRAW && state.created.replacing == null) {
    // Draw on columns that have a cage: the user says what to do.
    const picked = state.picked;
    const same = state.created.cages.filter((c) => sameColumns(c.columns, picked));
    const overlap = state.created.cages.filter((c) => !same.includes(c) && c.columns.some((id) => picked.includes(id)));
    if (same.length) {
      const last = same[same.length - 1];
      const choice = await ask({
        title: `${cageName(state)} has a cage already`,
        kind: 'warn',
        items: [{ kind: 'warn', text: `${last.name} has ${last.bars} bars. Draw can replace that cage, or add a second one to the same ${picked.length > 1 ? 'columns' : 'column'}.` }],
        buttons: [{ value: 'replace', text: `Replace ${last.name}`, primary: true }, { value: 'add', text: 'Add a second cage' }, { value: 'cancel', text: 'Cancel' }],
      });
      if (choice !== 'replace' && choice !== 'add') return;
      if (choice === 'replace') replace = last.id;
    } else if (overlap.length) {
      const choice = await ask({
        title: 'These columns have bars already',
        kind: 'warn',
        items: [{ kind: 'warn', text: `${overlap.map((c) => c.name).join(', ')} reinforce${overlap.length > 1 ? '' : 's'} ${picked.filter((id) => overlap.some((c) => c.columns.includes(id))).join(' and ')} already. Draw adds this cage's bars as well.` }],
        buttons: [{ value: 'add', text: 'Draw all the same', primary: true }, { value: 'cancel', text: 'Cancel' }],
      });
      if (choice !== 'add') return;
    }
  }
  const before = state;
  const answer = await send([{ type: 'button', event }, { type: 'move' }], text, { start, replace, draw: event === DRAW });
  if (!answer) return;
  if (event === DRAW && answer.lines.some((l) => readLine(l).kind === 'done') && answer.palette) {
    keep(answer.palette.file, [...runEdits]);
  }
  if (event === FINISH && editing(answer) && !editing(before)) await recallValues(answer);
}

// A cage palette opened by Finish starts from the values the user gave the
// last cage of this kind.
async function recallValues(opened) {
  runEdits = new Map();
  const kept = recall(opened.palette.file).filter(([name, value]) => palette.has(name) && JSON.stringify(palette.value(name)) !== JSON.stringify(value));
  if (!kept.length) return;
  const what = kept.map(([name, value]) => `${palette.label(name)} ${value}${palette.unit(name)}`).join(', ');
  const events = kept.map(([name, value]) => ({ type: 'set', name, value }));
  events.push({ type: 'move' });
  log(`the values of your last cage of this kind: ${what}`, 'is-note');
  const answer = await send(events, 'the last values', { recalled: new Map(kept) });
  if (answer) for (const [name, value] of kept) runEdits.set(name, value);
}

async function pick(id) {
  if (editing(state)) {
    const choice = await ask({
      title: 'A cage is being edited',
      kind: 'note',
      items: [{ kind: 'note', text: `The palette of ${cageName(state)} is open, so a click does not pick ${id}. Draw this cage first, or start a new run with ${id}; the cage being edited is then dropped.` }],
      buttons: [{ value: 'new', text: `New run with ${id}`, primary: true }, { value: 'keep', text: 'Keep editing' }],
    });
    if (choice !== 'new') return;
    await newRun();
  }
  const unpick = state.picked.includes(id);
  const answer = await send([{ type: 'click', element: id }], unpick ? `unpick ${id}` : `click ${id}`);
  if (answer && !unpick && reinforcedColumns().has(id)) {
    const cages = createdCages.filter((c) => c.columns.includes(id)).map((c) => c.name).join(', ');
    log(`${id} has a cage already (${cages}); Draw asks before adding another`, 'is-warn');
  }
}

async function call(what, request, options = {}) {
  log(`› ${what}`, 'is-host');
  try {
    const { json } = await request();
    await show(json, options);
    return json;
  } catch (e) {
    await failed(e);
    return null;
  }
}

async function newRun() {
  runEdits = new Map();
  $('draw-status').textContent = '';
  const answer = await call('new run', () => api.newRun(session));
  if (answer) view.focus([]);
  return answer;
}

async function editCage(cage) {
  runEdits = new Map();
  $('draw-status').textContent = '';
  const answer = await call(`edit ${cage.name}`, () => api.editCage(session, cage.id));
  if (answer) view.focus(answer.picked);
}

async function deleteCage(cage) {
  const answer = await call(`delete ${cage.name}`, () => api.deleteCage(session, cage.id));
  if (answer) log(`deleted ${cage.name}; Undo brings it back`, 'is-note');
}

async function history(which) {
  const what = state.created[which];
  if (!what) return;
  const answer = await call(`${which} ${what}`, () => (which === 'undo' ? api.undo(session) : api.redo(session)));
  if (answer) log(`${which === 'undo' ? 'undone' : 'redone'}: ${what}`, 'is-note');
}

async function openSchedule() {
  try {
    const { json } = await api.schedule(session);
    showSchedule(json);
  } catch (e) {
    await failed(e);
  }
}

async function startSession() {
  const { json } = await api.create();
  session = json.session;
  sessionStorage.setItem('pier-session', session);
  createdKey = null;
  runEdits = new Map();
  console_.open(session);
  await show(json);
}

// ---------------------------------------------------------------------------
// Start.

$('cancel').addEventListener('click', () => enqueue(() => send([{ type: 'cancel' }], 'cancel')));
$('new-run').addEventListener('click', () => enqueue(newRun));
$('undo').addEventListener('click', () => enqueue(() => history('undo')));
$('redo').addEventListener('click', () => enqueue(() => history('redo')));
$('view-home').addEventListener('click', () => view.look('home'));
$('view-plan').addEventListener('click', () => view.look('plan', state ? state.picked : []));
$('view-front').addEventListener('click', () => view.look('front', state ? state.picked : []));
$('view-side').addEventListener('click', () => view.look('side', state ? state.picked : []));
$('fit-picked').addEventListener('click', () => view.focus(state ? state.picked : []));
$('fit-all').addEventListener('click', () => view.focus([]));
$('console-toggle').addEventListener('click', () => {
  const box = $('console-box');
  const collapsed = box.classList.toggle('is-collapsed');
  $('console-toggle').setAttribute('aria-expanded', String(!collapsed));
  sessionStorage.setItem('pier-console-collapsed', collapsed ? '1' : '');
});
if (sessionStorage.getItem('pier-console-collapsed') === '1') $('console-box').classList.add('is-collapsed');

document.addEventListener('keydown', (e) => {
  // Keys act only while no field is being typed in and no dialog is open.
  const active = document.activeElement;
  if (isOpen() || (active && ['INPUT', 'SELECT', 'TEXTAREA'].includes(active.tagName))) return;
  const key = e.key.toLowerCase();
  if ((e.ctrlKey || e.metaKey) && key === 'z') {
    e.preventDefault();
    $(e.shiftKey ? 'redo' : 'undo').click();
    return;
  }
  if ((e.ctrlKey || e.metaKey) && key === 'y') {
    e.preventDefault();
    $('redo').click();
    return;
  }
  if (e.ctrlKey || e.metaKey || e.altKey) return;
  const keys = { escape: 'cancel', p: 'fit-picked', a: 'fit-all', h: 'view-home', t: 'view-plan', f: 'view-front', s: 'view-side' };
  if (keys[key]) $(keys[key]).click();
});

// Beside the model on a wide window; under the palette on a narrow one.
const wide = window.matchMedia('(min-width: 1200px)');
const placeInfo = () => (wide.matches ? $('info-wide') : $('info-narrow')).append($('info'));
wide.addEventListener('change', placeInfo);
placeInfo();

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
      const { json } = await api.state(kept);
      session = kept;
      // The console as it was; the run's messages are in it already.
      if (!console_.open(session)) for (const text of json.messages) log(`message: ${text}`, 'is-message');
      await show(json, { dialogs: false, fresh: false });
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

// What tests read: the state, the bars in the scene, the view and the timings.
window.pier = {
  ready: false,
  developer,
  state: () => state,
  session: () => session,
  createdBarCount: () => view.barCount(view.created),
  previewBarCount: () => view.barCount(view.preview),
  previewBlocked: () => Boolean(view.previewBlocked),
  columnPoint: (id) => view.screenPoint(id),
  direction: () => view.direction(),
  target: () => view.controls.target.toArray(),
  section: () => section(),
  timings,
  idle: () => queue,
  // Resolves once the page has done what it was asked, its section
  // included, or waits for the user in a dialog.
  settled: () => new Promise((resolve) => {
    const check = () => ((tasks === 0 && sectionPlaced()) || isOpen() ? resolve() : setTimeout(check, 5));
    check();
  }),
};

enqueue(start)
  .then(() => { window.pier.ready = true; })
  .catch((e) => {
    log(`error: ${e.message}`, 'is-error');
    showMessages({ title: 'The page could not start', kind: 'block', items: [{ kind: 'block', text: e.message }] });
  });
