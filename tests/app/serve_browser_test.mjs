// pierhost serve in a real browser: Debian's chromium, headless, driven by
// playwright-core, as a detailer uses it with the mouse and the keyboard.
// A column, a stacked pair and a third column reinforced; the mind changed
// with undo, a created cage edited, the outputs downloaded and held against
// the screen; what the page shows when a value makes no cage or a blocked
// one, when picks make no cage, when a column has a cage already; the
// camera's views; a reload; an 800 x 600 window. Prints the time from an
// edit to the first frame that shows its new cage over the edits of a
// stacked cage, and leaves screenshots and the timings in --out.
//
// node serve_browser_test.mjs --pierhost PROGRAM --model MODEL --ifc IFC_MODEL --web PAGE_DIR
//                             --packages WEB_SOURCE_DIR --plugin PLUGIN_DIR --out DIR
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

const CHROMIUM = '/usr/bin/chromium';
const MIN_MESSAGE = 'Main Column Rebar Diameter \u00D8min = 12 mm!';

function options() {
  const out = {};
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; i += 2) out[argv[i].replace(/^--/, '')] = argv[i + 1];
  for (const key of ['pierhost', 'model', 'ifc', 'web', 'packages', 'plugin', 'out']) {
    if (!out[key]) throw new Error(`--${key} is missing`);
  }
  return out;
}

function need(condition, message) {
  if (!condition) {
    console.error(`serve_browser_test: ${message}`);
    process.exit(1);
  }
}

// Starts the server on a free port; resolves with its URL once it listens.
function startServer(opts, env = {}) {
  const server = spawn(opts.pierhost, ['serve', opts.model, '--port', '0', '--web', opts.web], {
    stdio: ['ignore', 'pipe', 'pipe'],
    env: { ...process.env, ...env },
  });
  let output = '';
  const url = new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`the server did not start: ${output}`)), 20000);
    const read = (chunk) => {
      output += chunk;
      // The page's address with the API's token: http://127.0.0.1:PORT/?token=…
      const found = /(http:\/\/\S+\/\?token=[0-9a-f]+)/.exec(output);
      if (found) {
        clearTimeout(timer);
        resolve(found[1]);
      }
    };
    server.stdout.on('data', read);
    server.stderr.on('data', read);
    server.on('exit', (code) => reject(new Error(`the server exited (${code}): ${output}`)));
  });
  const stopped = new Promise((resolve) => server.on('exit', (code, signal) => resolve({ code, signal, output })));
  return { server, url, stopped };
}

// RFC 4180: fields quoted where they hold a comma, a quote or a line break.
function parseCsv(text) {
  const rows = [];
  let row = [];
  let field = '';
  let quoted = false;
  for (let i = 0; i < text.length; ++i) {
    const ch = text[i];
    if (quoted) {
      if (ch === '"' && text[i + 1] === '"') { field += '"'; ++i; } else if (ch === '"') quoted = false;
      else field += ch;
    } else if (ch === '"') quoted = true;
    else if (ch === ',') { row.push(field); field = ''; } else if (ch === '\r' && text[i + 1] === '\n') {
      row.push(field); rows.push(row); row = []; field = ''; ++i;
    } else field += ch;
  }
  if (field || row.length) { row.push(field); rows.push(row); }
  return rows;
}

const median = (values) => {
  const v = [...values].sort((a, b) => a - b);
  return v[Math.floor(v.length / 2)];
};

// Rectangles that overlap by more than a pixel.
function overlap(a, b) {
  return a && b && a.width > 0 && b.width > 0 && a.x + 1 < b.x + b.width && b.x + 1 < a.x + a.width
    && a.y + 1 < b.y + b.height && b.y + 1 < a.y + a.height;
}

// What the user works with on one page: the mouse on the columns, the
// palette's fields, the dialogs.
function user(page) {
  const u = {
    idle: () => page.evaluate(() => window.pier.settled()),
    state: () => page.evaluate(() => window.pier.state()),
    prompt: () => page.textContent('#prompt'),
    async ready() {
      await page.waitForFunction(() => window.pier && window.pier.ready, null, { timeout: 30000 });
    },
    // A click on the column, with the whole model framed first if the
    // column is out of view, as a user would.
    async click(id) {
      const where = () => page.evaluate((column) => {
        const at = window.pier.columnPoint(column);
        const r = document.getElementById('scene').getBoundingClientRect();
        return at && { ...at, inside: at.visible && at.x > r.left + 20 && at.x < r.right - 20 && at.y > r.top + 40 && at.y < r.bottom - 30 };
      }, id);
      let at = await where();
      if (!at || !at.inside) {
        await page.click('#fit-all');
        at = await where();
      }
      assert.ok(at && at.inside, `${id} is not in view`);
      await page.mouse.click(at.x, at.y);
    },
    async pick(id) {
      await u.click(id);
      await u.idle();
    },
    async press(name) {
      await page.locator('#buttons').getByRole('button', { name, exact: true }).click();
      await u.idle();
    },
    // The open dialog: its title, its items as [kind, text], its class; then
    // the button of that name pressed.
    async dialog(button = null) {
      await page.waitForSelector('#message[open]', { timeout: 10000 });
      const read = await page.evaluate(() => ({
        title: document.getElementById('message-title').textContent,
        kind: document.getElementById('message-title').className,
        items: [...document.querySelectorAll('#message-items li')].map((li) => [li.className, li.querySelector('.text').textContent]),
        buttons: [...document.querySelectorAll('#message-buttons button')].map((b) => b.textContent),
      }));
      if (button) await page.locator('#message-buttons').getByRole('button', { name: button }).click();
      else await page.click('#message-buttons button');
      await page.waitForFunction(() => !document.getElementById('message').open);
      await u.idle();
      return read;
    },
    noDialog: async () => !(await page.evaluate(() => document.getElementById('message').open)),
    async open(tabText) {
      await page.locator('#tabs').getByRole('tab', { name: tabText }).click();
    },
    // Types a value into a field on whichever tab it is, as a user does;
    // false when the field held that value already (no edit then).
    async edit(name, value) {
      if ((await u.value(name)) === String(value)) return false;
      const page_ = await page.getAttribute(`#field-${name}`, 'data-page');
      await page.click(`#tabs button[data-page="${page_}"]`).catch(() => {});
      const tag = await page.evaluate((n) => document.getElementById(`field-${n}`).tagName, name);
      if (tag === 'SELECT') await page.selectOption(`#field-${name}`, { label: String(value) });
      else {
        await page.fill(`#field-${name}`, String(value));
        await page.press(`#field-${name}`, 'Enter');
      }
      await u.idle();
      return true;
    },
    value: (name) => page.inputValue(`#field-${name}`),
    note: (name) => page.evaluate((n) => {
      const note = document.getElementById(`note-${n}`);
      return note && !note.hidden ? note.textContent : '';
    }, name),
    consoleText: () => page.textContent('#console'),
    created: () => page.evaluate(() => [...document.querySelectorAll('#cage-list li')].map((li) => li.dataset.name)),
    async cageButton(name, button) {
      await page.locator(`#cage-list li[data-name="${name}"]`).getByRole('button', { name: button }).click();
      await u.idle();
    },
    async history(which) {
      await page.click(`#${which}`);
      await u.idle();
    },
    check: (id) => page.evaluate((c) => {
      const li = document.querySelector(`#checks li[data-check="${c}"]`);
      return li ? li.dataset.state : 'missing';
    }, id),
    async shot(name) {
      await page.screenshot({ path: path.join(u.out, `${name}.png`) });
    },
  };
  return u;
}

async function main() {
  const opts = options();
  need(fs.existsSync(CHROMIUM), `${CHROMIUM} is missing: install it with ./scripts/deps.sh --browser`);
  need(fs.existsSync(path.join(opts.web, 'app.js')),
    `the page is not built in ${opts.web}: run npm ci in web/, then build the target pier_web`);
  const require = createRequire(path.join(opts.packages, 'package.json'));
  let chromium;
  try {
    ({ chromium } = require('playwright-core'));
  } catch {
    need(false, `playwright-core is missing: run npm ci in ${opts.packages}`);
  }
  fs.rmSync(opts.out, { recursive: true, force: true });
  fs.mkdirSync(opts.out, { recursive: true });

  const { server, url, stopped } = startServer(opts);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'pier-chromium-'));
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'pier-browser-'));
  let broken = null;
  let fromIfc = null;
  let browser;
  try {
    const address = await url;
    const base = address.slice(0, address.indexOf('?'));
    const token = new URL(address).searchParams.get('token');
    const auth = { headers: { Authorization: `Bearer ${token}` } };

    // Without the token the API refuses, and so does it a page of another site.
    assert.equal((await fetch(`${base}api/model`)).status, 401, 'the API without the token');
    assert.equal((await fetch(`${base}api/model`, { headers: { ...auth.headers, Origin: 'http://evil.example' } })).status, 403,
      'the API asked by a page of another site');

    // The script goes out compressed, and no source map in a production build.
    const script = await fetch(`${base}app.js`, { headers: { 'Accept-Encoding': 'gzip' }, decompress: false });
    const raw = fs.readFileSync(path.join(opts.web, 'app.js'));
    assert.equal(script.headers.get('content-encoding'), 'gzip', 'app.js is sent gzip-compressed');
    const packed = Buffer.from(await (await fetch(`${base}app.js`, { headers: { 'Accept-Encoding': 'gzip' } })).arrayBuffer());
    assert.deepEqual(packed, raw, 'and unpacks to the file');
    const sent = Number(script.headers.get('content-length')) || zlib.gzipSync(raw).length;
    assert.ok(sent < raw.length / 3, `app.js sent in ${sent} bytes of ${raw.length}`);
    assert.equal((await fetch(`${base}app.js.map`)).status, 404, 'no source map is served');
    assert.ok(!raw.toString().includes('sourceMappingURL'), 'app.js names no source map');

    browser = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM,
      headless: true,
      viewport: { width: 1400, height: 900 },
      acceptDownloads: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    });
    const errors = [];
    browser.on('weberror', (e) => errors.push(e.error().message));
    const page = browser.pages()[0] || (await browser.newPage());
    const u = user(page);
    u.out = opts.out;
    // Developer mode: the timing badge and the tool's own words.
    await page.goto(`${address}&dev=1`);
    await u.ready();

    // ----- Picks that make no cage are told at Finish; a second click unpicks.
    assert.equal(await u.prompt(), 'Select <Column>');
    await u.press('Finish');
    assert.match((await u.dialog()).items[0][1], /^Nothing is picked yet/);
    await u.pick('C2');
    await u.pick('C1');
    await u.press('Finish');
    let box = await u.dialog();
    assert.deepEqual(box.items, [['is-block', 'C2 stands on C1: pick the lower column first, C1, then C2.']]);
    await u.pick('C2');
    assert.equal(await page.textContent('#picked'), 'Picked: C1', 'a second click unpicks');
    await u.pick('C2');
    assert.equal(await page.textContent('#picked'), 'Picked: C1, C2');
    await u.press('Finish');
    assert.equal(await u.prompt(), 'Customize rebars and finish by Draw button');
    assert.equal(await page.textContent('#field-Concr_Grade option:checked'), 'C25/30');
    const previewed = await page.evaluate(() => window.pier.previewBarCount());
    assert.ok(previewed > 0, 'Finish shows a preview cage');
    assert.equal(previewed, (await u.state()).preview.bars);

    // The section beside the model, as the drawing draws it, and the figures.
    const section = await page.evaluate(() => window.pier.section());
    for (const label of ['SECTION A-A', 'SECTION B-B', 'cover 30', '>X</text>', '>Y</text>', 'links', '>300<', '>500<']) {
      assert.ok(section.includes(label), `the section shows ${label}`);
    }
    await page.waitForFunction(() => document.getElementById('section-image').naturalWidth > 0);
    assert.equal(await page.textContent('#figures dd[data-figure="Bars"]'), String(previewed));
    assert.match(await page.textContent('#figures dd[data-figure="Steel in C1"]'), /^0\.99 % \(10 bars/);
    assert.equal(await page.locator('#labels span.face').count(), 8, 'X and Y on the faces of both columns');
    assert.equal(await u.check('spacing'), 'pass');

    // ----- A click on another column while the palette is open picks nothing.
    await u.click('C5');
    box = await u.dialog('Keep editing');
    assert.equal(box.title, 'A cage is being edited');
    assert.deepEqual((await u.state()).picked, ['C1', 'C2']);

    // ----- The preview never lies. Twenty side bars: the cage is blocked,
    // shown grey, and the field says why; Draw says what blocked it.
    await u.edit('Add_X_Number', 20);
    assert.ok(await page.evaluate(() => window.pier.previewBlocked()), 'a blocked cage is grey');
    assert.match(await page.textContent('#preview-state'), /^Blocked: Draw would create nothing \(Clear spacing between bars\)/);
    assert.match(await u.note('Add_X_Number'), /the cage is blocked: Clear spacing between bars/);
    assert.equal(await u.check('spacing'), 'block');
    assert.ok(await u.noDialog(), 'the checks are no message box');
    await u.press('Draw');
    box = await u.dialog();
    assert.match(box.title, /^Nothing created for C1\+C2: blocked by the clear spacing on the X faces/);
    assert.equal(box.kind, 'is-block');
    assert.ok(box.items.some(([kind, text]) => kind === 'is-block' && text.startsWith('Blocked: the bars on the X faces')));
    assert.equal(await page.evaluate(() => window.pier.createdBarCount()), 0);
    // A value the field does not take: refused beside the field, by its
    // label, with the value and the limit; the cage stays as it was.
    await u.edit('Add_X_Number', 1);
    assert.ok(!(await page.evaluate(() => window.pier.previewBlocked())));
    const before = await page.evaluate(() => window.pier.previewBarCount());
    await u.edit('Concr_Cover', 200);
    assert.equal(await u.note('Concr_Cover'),
      'Concrete cover to the stirrups: 200 mm is outside what this value can be; it must be between 10 and 100 mm');
    assert.equal(await u.value('Concr_Cover'), '30');
    assert.ok(await u.noDialog());
    assert.equal(await page.evaluate(() => window.pier.previewBarCount()), before);

    // ----- Corrections stay marked, with their tabs, until the next edit.
    await u.edit('Main_Diameter', 10);
    box = await u.dialog();
    assert.deepEqual(box.items[0], ['is-note', MIN_MESSAGE]);
    assert.ok(box.items.some(([kind, text]) => kind === 'is-note' && text.includes('Corner bar diameter: 10 → 12 mm')));
    assert.equal(await u.value('Main_Diameter'), '12');
    assert.ok(await page.evaluate(() => document.getElementById('field-Main_Diameter').classList.contains('corrected')));
    assert.ok(await page.evaluate(() => document.querySelector('#tabs button[data-page="1"]').classList.contains('has-corrected')),
      'the stirrup tab shows that its fields changed');
    await u.edit('Main_Diameter', 16);
    assert.ok(!(await page.evaluate(() => document.getElementById('field-Main_Diameter').classList.contains('corrected'))),
      'the next edit clears the marks');

    // ----- Draw: what was created, in the page's words; then Draw again on
    // the same columns asks first.
    await u.press('Draw');
    const first = await page.evaluate(() => window.pier.createdBarCount());
    assert.ok(first > 0, 'Draw creates bars');
    assert.equal(await page.textContent('#draw-status'), `Created ${first} bars for C1+C2`);
    const session = await page.evaluate(() => window.pier.session());
    const serverState = await (await fetch(`${base}api/sessions/${session}`, auth)).json();
    assert.equal(first, serverState.created.bars, 'bars in the scene against the server\'s count');
    await u.press('Draw');
    box = await u.dialog('Add a second cage');
    assert.equal(box.title, 'C1+C2 has a cage already');
    assert.deepEqual(await u.created(), ['C1+C2', 'C1+C2 #2']);
    // Changing one's mind: undo the second cage, redo it, delete it.
    await u.history('undo');
    assert.deepEqual(await u.created(), ['C1+C2']);
    assert.equal(await page.evaluate(() => window.pier.createdBarCount()), first);
    await page.keyboard.press('Control+Shift+Z');
    await u.idle();
    assert.deepEqual(await u.created(), ['C1+C2', 'C1+C2 #2']);
    await u.cageButton('C1+C2 #2', 'Delete');
    assert.deepEqual(await u.created(), ['C1+C2']);
    assert.equal(await page.evaluate(() => window.pier.createdBarCount()), first);
    // Draw once more, replacing it: still one cage.
    await u.press('Draw');
    await u.dialog('Replace C1+C2');
    assert.deepEqual(await u.created(), ['C1+C2']);

    // ----- A column of its own; picking a column that has a cage says so.
    await page.click('#new-run');
    await u.idle();
    const marked = () => page.evaluate(() => [...document.querySelectorAll('#labels span.reinforced')].map((s) => s.dataset.column));
    assert.deepEqual(await marked(), ['C1', 'C2'], 'the view marks the columns that have a cage');
    await u.pick('C1');
    assert.equal(await page.textContent('#picked'), 'Picked: C1 (has a cage)');
    assert.match(await u.consoleText(), /C1 has a cage already \(C1\+C2\)/);
    await u.pick('C1');
    await u.pick('C5');
    await u.press('Finish');
    await u.edit('Concr_Cover', 35);
    await u.press('Draw');
    box = await u.dialog();
    assert.equal(box.title, `Created ${await page.evaluate(() => window.pier.state().created.cages.at(-1).bars)} bars for C5`);
    assert.equal(box.kind, 'is-done');
    assert.ok(box.items.every(([kind]) => kind === 'is-warn'), 'warnings look like warnings');
    assert.deepEqual(await u.created(), ['C1+C2', 'C5']);
    await u.history('undo');
    assert.deepEqual(await u.created(), ['C1+C2'], 'changed my mind: no C5');
    await u.history('redo');
    assert.deepEqual(await u.created(), ['C1+C2', 'C5']);

    // ----- A created cage edited: its own values, Draw replaces it, undo
    // brings it back.
    await u.cageButton('C1+C2', 'Edit');
    assert.match(await page.textContent('#editing'), /^Editing C1\+C2: Draw replaces it/);
    assert.equal(await u.value('Main_Diameter'), '16');
    await u.edit('Main_Diameter', 20);
    // The corner bars move the stirrup fields on another tab: it says so,
    // and so does the console.
    assert.ok(await page.evaluate(() => document.querySelector('#tabs button[data-page="1"]').classList.contains('has-corrected')));
    assert.match(await u.consoleText(), /changed by the tool: Stirrup spacing: \d+ → \d+ mm/);
    await u.press('Draw');
    assert.deepEqual(await u.created(), ['C1+C2', 'C5']);
    const edited = (await u.state()).created.cages[0].bars;
    await u.history('undo');
    assert.equal((await u.state()).created.cages[0].bars, first, 'undo brings the old cage back');
    await u.history('redo');
    assert.equal((await u.state()).created.cages[0].bars, edited);

    // ----- The third cage, a stacked one: it starts from the values of the
    // last stacked cage drawn in this browser.
    await page.click('#new-run');
    await u.idle();
    await u.pick('C3');
    await u.pick('C4');
    await u.press('Finish');
    assert.equal(await u.value('Main_Diameter'), '20', 'the last stacked cage\'s corner bars');
    assert.match(await u.consoleText(), /the values of your last cage of this kind: Corner bar diameter 20 mm/);
    assert.ok(!(await page.evaluate(() => document.getElementById('field-Main_Diameter').classList.contains('corrected'))),
      'a remembered value is the user\'s own, not a correction by the tool');
    const consoleLines = await page.$$eval('#console div', (lines) => lines.map((l) => l.textContent));
    assert.ok(!consoleLines.some((l) => l.startsWith('changed by the tool') && l.includes('Corner bar diameter: 16 → 20')));
    while (!(await u.noDialog())) await u.dialog(); // the link rule may speak again

    // ----- Speed: edits of the stacked cage, each to the first frame that
    // shows its new cage.
    await page.evaluate(() => { window.pier.timings.length = 0; });
    const edits = [
      ['Main_Diameter', 16], ['Main_Diameter', 20], ['Add_X_Number', 2], ['Add_Y_Number', 1], ['Concr_Cover', 35],
      ['Main_Stirrup_Spacing', 150], ['Add_X_Number', 1], ['Add_Y_Number', 2], ['Concr_Cover', 30], ['Main_Diameter', 16],
      ['Main_Stirrup_Spacing', 180], ['Add_X_Diameter', 14], ['Add_Y_Diameter', 14], ['Add_X_Diameter', 12], ['Add_Y_Diameter', 12],
      ['Main_Diameter', 20], ['Main_Diameter', 16], ['Aggregate_Size', 20], ['Aggregate_Size', 16], ['Concr_Cover', 40],
      ['Concr_Cover', 30], ['Main_Stirrup_Spacing', 190], ['Add_X_Number', 2], ['Add_X_Number', 1],
    ];
    let made = 0;
    for (const [name, value] of edits) {
      made += (await u.edit(name, value)) ? 1 : 0;
      while (!(await u.noDialog())) await u.dialog();
    }
    const timings = await page.evaluate(() => window.pier.timings.filter((t) => t.what.startsWith('set ')));
    assert.equal(timings.length, made);
    assert.ok(made >= 20, `${made} edits`);
    const totals = timings.map((t) => t.total);
    const report = {
      edits: timings.length,
      medianMs: median(totals),
      maxMs: Math.max(...totals),
      slowest: timings.reduce((a, b) => (b.total > a.total ? b : a)).what,
      medianServerMs: median(timings.map((t) => t.server)),
      medianRequestMs: median(timings.map((t) => t.request)),
      medianShowMs: median(timings.map((t) => t.show)),
      medianFrameMs: median(timings.map((t) => t.frame)),
      medianPaintMs: median(timings.map((t) => t.paint)),
      // Where the frame that shows the cage begins, before it is painted.
      medianToFrameStartMs: median(timings.map((t) => t.toFrameStart)),
      maxToFrameStartMs: Math.max(...timings.map((t) => t.toFrameStart)),
      target: 'median at most 30 ms, max at most 100 ms on an idle machine',
      timings,
    };
    fs.writeFileSync(path.join(opts.out, 'timings.json'), `${JSON.stringify(report, null, 2)}\n`);
    console.log(`edit to the painted frame showing the new cage (${report.edits} edits of a stacked cage): median ${report.medianMs.toFixed(1)} ms, `
      + `max ${report.maxMs.toFixed(1)} ms (${report.slowest}), of which painting the frame median ${report.medianPaintMs.toFixed(1)} ms `
      + `(to the frame's start: median ${report.medianToFrameStartMs.toFixed(1)} ms, max ${report.maxToFrameStartMs.toFixed(1)} ms); `
      + `server median ${report.medianServerMs.toFixed(2)} ms; target: ${report.target}`);
    // Generous bounds only: the machine may be busy.
    assert.ok(report.medianMs < 1000 && report.maxMs < 5000, 'edits reach the screen');
    assert.match(await page.textContent('#timing'), /ms to the new cage on screen \(server/);
    await u.press('Draw');
    while (!(await u.noDialog())) await u.dialog();
    assert.deepEqual(await u.created(), ['C1+C2', 'C5', 'C3+C4']);

    // ----- The schedule in the page and the downloads hold what the screen
    // shows.
    await page.click('#show-schedule');
    await page.waitForSelector('#schedule[open]');
    const rows = await page.evaluate(() => [...document.querySelectorAll('#schedule-body table')].map((t) => [...t.rows].map((r) => [...r.cells].map((c) => c.textContent))));
    await page.click('#schedule-ok');
    const [csvDownload] = await Promise.all([page.waitForEvent('download'), page.click('#downloads a[download="schedule.csv"]')]);
    const csv = parseCsv(fs.readFileSync(await csvDownload.path(), 'utf8'));
    const trim = (row) => { const r = [...row]; while (r.length && r.at(-1) === '') r.pop(); return r; };
    const blank = (from) => {
      const at = csv.findIndex((row, i) => i > from && row.every((c) => c === ''));
      return at < 0 ? csv.length : at;
    };
    const heading = csv.findIndex((row) => row.includes('Bar mark'));
    const csvBars = csv.slice(heading + 1, blank(heading)).map(trim);
    assert.deepEqual(rows[0].slice(1).map(trim), csvBars, 'the page\'s schedule is the CSV\'s');
    const totalsAt = blank(heading) + 1;
    const csvTotals = csv.slice(totalsAt, blank(totalsAt)).map(trim);
    assert.deepEqual(rows[1].map(trim), csvTotals, 'and so are its totals');
    const membersAt = csv.findIndex((row) => row[0] === 'Member table');
    assert.deepEqual(rows[2].map(trim), csv.slice(membersAt + 1, blank(membersAt)).map(trim), 'and its member table');
    const notesAt = csv.findIndex((row) => row[0] === 'Notes');
    const csvNotes = notesAt < 0 ? [] : csv.slice(notesAt + 1, blank(notesAt)).map((row) => row[0]);
    assert.deepEqual(await page.evaluate(() => [...document.querySelectorAll('#schedule-body li')].map((li) => li.textContent)), csvNotes,
      'and its notes');
    const [jsonDownload] = await Promise.all([page.waitForEvent('download'), page.click('#downloads a[download="model.json"]')]);
    const model = JSON.parse(fs.readFileSync(await jsonDownload.path(), 'utf8'));
    const shown = (await u.state()).created.cages;
    assert.deepEqual(model.cages.map((c) => c.name), shown.map((c) => c.name), 'model.json holds the cages the page lists');
    assert.deepEqual(model.cages.map((c) => c.placements.reduce((n, p) => n + p.bars.length, 0)), shown.map((c) => c.bars),
      'with their bars');
    const [ifcDownload] = await Promise.all([page.waitForEvent('download'), page.click('#downloads a[download="cage.ifc"]')]);
    const ifc = fs.readFileSync(await ifcDownload.path(), 'utf8');
    assert.ok(ifc.startsWith('ISO-10303-21;'), 'the IFC download is an IFC file');
    const bars = (ifc.match(/IFCREINFORCINGBAR\(/g) || []).length;
    assert.equal(bars, (await u.state()).created.bars, 'the IFC holds the bars the page shows');

    // ----- The camera: standard views, never below the ground, zoom to the cursor.
    const close = (a, b) => a.every((v, i) => Math.abs(v - b[i]) < 0.01);
    await page.click('#view-plan');
    assert.ok(close(await page.evaluate(() => window.pier.direction()), [0, 0, 1]), 'plan looks down');
    await page.click('#view-front');
    assert.ok(close(await page.evaluate(() => window.pier.direction()), [0, -1, 0]), 'front looks along y');
    await page.click('#view-side');
    assert.ok(close(await page.evaluate(() => window.pier.direction()), [1, 0, 0]), 'side looks along x');
    await page.click('#view-home');
    const home = await page.evaluate(() => window.pier.direction());
    const canvas = await page.locator('#scene').boundingBox();
    await page.mouse.move(canvas.x + canvas.width / 2, canvas.y + canvas.height / 2);
    await page.mouse.down();
    await page.mouse.move(canvas.x + canvas.width / 2, canvas.y + canvas.height - 5, { steps: 8 });
    await page.mouse.up();
    assert.ok((await page.evaluate(() => window.pier.direction()))[2] >= -1e-6, 'the view stays above the ground');
    await page.click('#view-home');
    assert.ok(close(await page.evaluate(() => window.pier.direction()), home), 'home is where it started');
    const target = await page.evaluate(() => window.pier.target());
    await page.mouse.move(canvas.x + canvas.width * 0.8, canvas.y + canvas.height * 0.7);
    await page.mouse.wheel(0, -400);
    await page.waitForTimeout(100);
    const zoomed = await page.evaluate(() => window.pier.target());
    assert.ok(Math.hypot(zoomed[0] - target[0], zoomed[1] - target[1], zoomed[2] - target[2]) > 1, 'the wheel zooms towards the cursor');
    await page.click('#fit-all');

    // ----- A reload keeps the session, its bars and the console, and
    // replays no message box.
    assert.equal(new URL(page.url()).searchParams.get('token'), null, 'the token is not left in the address bar');
    const lines = await page.locator('#console div').count();
    await page.reload();
    await u.ready();
    assert.equal(await page.evaluate(() => window.pier.session()), session, 'a reload keeps the session');
    assert.equal(await page.evaluate(() => window.pier.createdBarCount()), (await u.state()).created.bars, 'and its bars');
    assert.equal(await page.locator('#console div').count(), lines, 'and the console');
    assert.match(await u.consoleText(), /› click C1/);
    assert.ok(await u.noDialog(), 'no old message box comes back');

    // ----- A page that goes says so, and its session is freed once it has
    // not come back for a while (looked at below, after the other steps:
    // the browser does not report a request sent as its page goes).
    const other = await browser.newPage();
    await other.goto(address);
    await user(other).ready();
    const otherSession = await other.evaluate(() => window.pier.session());
    assert.notEqual(otherSession, session, 'a new tab has a session of its own');
    await other.goto('about:blank');
    await other.close();
    const otherLeft = Date.now();

    // ----- 800 x 600: Draw in view, the header on one line, nothing covering
    // anything.
    await page.setViewportSize({ width: 800, height: 600 });
    await page.click('#new-run');
    await u.idle();
    await u.pick('C5');
    await u.press('Finish');
    await page.waitForTimeout(150);
    const layout = await page.evaluate(() => {
      const rect = (sel) => {
        const e = document.querySelector(sel);
        if (!e || e.offsetParent === null) return null;
        const r = e.getBoundingClientRect();
        return { x: r.x, y: r.y, width: r.width, height: r.height };
      };
      const header = document.querySelector('.bar');
      return {
        draw: rect('#buttons button[data-event="2000"]'),
        header: { height: header.getBoundingClientRect().height, fits: header.scrollWidth <= header.clientWidth },
        headerButtons: [...header.querySelectorAll('button')].map((b) => b.getBoundingClientRect().top),
        hint: rect('#hint'), tools: rect('#view-tools'), legend: rect('#legend'), timing: rect('#timing'),
        state: rect('#preview-state'), prompt: rect('#prompt'), undo: rect('#undo'),
        section: rect('#section'),
      };
    });
    assert.ok(layout.draw && layout.draw.y + layout.draw.height <= 600 && layout.draw.x + layout.draw.width <= 800, 'Draw is in view at 800 x 600');
    assert.equal(layout.header.height, 40, 'the header stays one line');
    assert.ok(layout.header.fits, 'the header fits');
    assert.ok(layout.headerButtons.every((t) => t === layout.headerButtons[0]));
    for (const [a, b] of [['hint', 'tools'], ['legend', 'timing'], ['legend', 'state'], ['state', 'timing'], ['prompt', 'undo'],
      ['tools', 'legend'], ['hint', 'legend']]) {
      assert.ok(!overlap(layout[a], layout[b]), `${a} and ${b} do not overlap at 800 x 600`);
    }
    assert.ok(layout.section, 'the section is there at 800 x 600 too, under the palette');
    await u.shot('serve_browser_800x600');
    await page.setViewportSize({ width: 1920, height: 1080 });
    await page.waitForTimeout(150);
    await u.shot('serve_browser_1920x1080');
    await page.setViewportSize({ width: 1400, height: 900 });
    await page.click('#fit-picked');
    await page.waitForTimeout(150);
    await u.shot('serve_browser');

    // ----- A value the tool cannot build a cage from: no cage on screen, the
    // reason beside the field, and none of the tool's inner words outside
    // developer mode.
    const plugin = path.join(scratch, 'plugin');
    fs.cpSync(opts.plugin, plugin, { recursive: true });
    const table = path.join(plugin, 'PierTool', 'lap_length_for_tension.csv');
    fs.writeFileSync(table, fs.readFileSync(table, 'utf8').split('\n').map((l) => (l.startsWith('20,') ? `20${','.repeat(14)}` : l)).join('\n'));
    broken = startServer(opts, { PIER_PLUGIN: path.join(plugin, 'libpiertool.so') });
    const brokenAddress = await broken.url;
    const plain = await browser.newPage();
    const p = user(plain);
    await plain.goto(brokenAddress);
    await p.ready();
    await p.pick('C1');
    await p.pick('C2');
    await p.press('Finish');
    assert.ok(await plain.evaluate(() => window.pier.previewBarCount()) > 0);
    await p.edit('Main_Diameter', 20);
    assert.equal(await plain.evaluate(() => window.pier.previewBarCount()), 0, 'no cage is shown');
    assert.match(await plain.textContent('#preview-state'), /^No cage: these values do not make one/);
    assert.match(await p.note('Main_Diameter'), /^With corner bar diameter at 20 mm the tool cannot build the cage/);
    const words = await plain.evaluate(() => document.body.innerText);
    for (const inner of ['lap_length_for', 'PierTool', '.csv', 'Main_Diameter']) {
      assert.ok(!words.includes(inner), `the page does not show "${inner}"`);
    }
    assert.equal(await plain.textContent('#timing'), '', 'the timing badge is for developers only');
    await p.edit('Add_X_Number', 2);
    assert.equal(await plain.evaluate(() => window.pier.previewBarCount()), 0, 'still no cage');
    await p.edit('Main_Diameter', 16);
    assert.ok(await plain.evaluate(() => window.pier.previewBarCount()) > 0, 'a good value brings it back');
    await plain.close();

    // ----- An IFC model, opened as the model file is: its columns under
    // their names, a stacked pair reinforced.
    fromIfc = startServer({ ...opts, model: opts.ifc });
    const ifcPage = await browser.newPage();
    const f = user(ifcPage);
    f.out = opts.out;
    await ifcPage.goto(await fromIfc.url);
    await f.ready();
    assert.equal(await ifcPage.textContent('#model-name'), 'Mapped columns in metres');
    await f.pick('C1');
    await f.pick('C1-up');
    await f.press('Finish');
    assert.ok(await ifcPage.evaluate(() => window.pier.previewBarCount()) > 0, 'the pair of the IFC model has a preview');
    assert.equal(await ifcPage.locator('#labels span.face').count(), 8);
    await f.press('Draw');
    while (!(await f.noDialog())) await f.dialog();
    assert.match(await ifcPage.textContent('#draw-status'), /^Created \d+ bars for C1\+C1-up$/);
    assert.equal(await ifcPage.evaluate(() => window.pier.createdBarCount()), (await f.state()).created.bars);
    await f.shot('serve_browser_ifc');
    await ifcPage.close();

    // The server forgets a page that went 15 s after it went.
    await new Promise((resolve) => setTimeout(resolve, Math.max(0, otherLeft + 16000 - Date.now())));
    assert.equal((await fetch(`${base}api/sessions/${otherSession}`, auth)).status, 404, 'a page that goes frees its session');
    assert.equal((await fetch(`${base}api/sessions/${session}`, auth)).status, 200, 'and the page that stays keeps its own');

    assert.deepEqual(errors, [], 'no script errors on the page');
    console.log(`created ${(await u.state()).created.bars} bars; screenshots in ${opts.out}`);
  } catch (e) {
    // What the page showed when it went wrong.
    for (const [i, p] of (browser ? browser.pages() : []).entries()) {
      await p.screenshot({ path: path.join(opts.out, `failure-${i}.png`) }).catch(() => {});
    }
    throw e;
  } finally {
    if (browser) await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
    fs.rmSync(scratch, { recursive: true, force: true });
    if (broken) broken.server.kill('SIGTERM');
    if (fromIfc) fromIfc.server.kill('SIGTERM');
    server.kill('SIGTERM');
  }
  const end = await stopped;
  assert.equal(end.code, 0, `the server stops cleanly on SIGTERM: ${end.output}`);
}

main().catch((e) => {
  console.error(e.stack || String(e));
  process.exit(1);
});
