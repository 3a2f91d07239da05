// pierhost serve in a real browser: Debian's chromium, headless, driven by
// playwright-core. A user's run from pick to created bars, with the mouse:
// pick C1 and the column above it, Finish, palette edits and the message
// boxes they bring, Draw, then the bars in the scene against the server's
// count and a download. Leaves a screenshot and the edit timings in --out.
//
// node serve_browser_test.mjs --pierhost PROGRAM --model MODEL --web PAGE_DIR
//                             --packages WEB_SOURCE_DIR --out DIR
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';

const CHROMIUM = '/usr/bin/chromium';
const MIN_MESSAGE = 'Main Column Rebar Diameter \u00D8min = 12 mm!';

function options() {
  const out = {};
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; i += 2) out[argv[i].replace(/^--/, '')] = argv[i + 1];
  for (const key of ['pierhost', 'model', 'web', 'packages', 'out']) {
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
function startServer(opts) {
  const server = spawn(opts.pierhost, ['serve', opts.model, '--port', '0', '--web', opts.web], {
    stdio: ['ignore', 'pipe', 'pipe'],
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
    browser = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM,
      headless: true,
      viewport: { width: 1400, height: 860 },
      acceptDownloads: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    });
    const page = browser.pages()[0] || (await browser.newPage());
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await page.goto(address);
    await page.waitForFunction(() => window.pier && window.pier.ready, null, { timeout: 30000 });
    const idle = () => page.evaluate(() => window.pier.idle());
    const prompt = () => page.textContent('#prompt');
    const pick = async (id) => {
      const at = await page.evaluate((column) => window.pier.columnPoint(column), id);
      assert.ok(at && at.visible, `${id} is not in view`);
      await page.mouse.click(at.x, at.y);
      await idle();
    };
    const dialog = async () => {
      await page.waitForSelector('#message[open]', { timeout: 10000 });
      const text = await page.textContent('#message-text');
      await page.click('#message-ok');
      await page.waitForFunction(() => !document.getElementById('message').open);
      return text;
    };
    const edit = async (name, value) => {
      await page.fill(`#field-${name}`, String(value));
      await page.press(`#field-${name}`, 'Enter');
      await idle();
    };

    // Pick with the mouse.
    assert.equal(await prompt(), 'Select <Column>');
    await pick('C1');
    assert.equal(await prompt(), 'Select next <Column> or click Finish');
    await pick('C2');
    assert.equal(await page.textContent('#picked'), 'Picked: C1, C2');
    await page.getByRole('button', { name: 'Finish' }).click();
    await idle();
    assert.equal(await prompt(), 'Customize rebars and finish by Draw button');
    assert.equal(await page.textContent('#field-Concr_Grade option:checked'), 'C25/30');
    const previewed = await page.evaluate(() => window.pier.previewBarCount());
    assert.ok(previewed > 0, 'Finish shows a preview cage');
    assert.equal(previewed, await page.evaluate(() => window.pier.state().preview.bars));

    // 10 mm, below the minimum: the message box, and 12 in the field.
    await edit('Main_Diameter', 10);
    assert.equal(await dialog(), MIN_MESSAGE);
    assert.equal(await page.inputValue('#field-Main_Diameter'), '12');

    // Edit to preview, timed by the page; the server's share from its
    // Server-Timing header.
    for (let i = 0; i < 8; ++i) await edit('Main_Diameter', i % 2 ? 16 : 20);
    const timings = await page.evaluate(() => window.pier.timings.filter((t) => t.what.startsWith('set Main_Diameter = ') && !t.what.endsWith(' 10')));
    const median = (key) => {
      const v = timings.map((t) => t[key]).sort((a, b) => a - b);
      return v[Math.floor(v.length / 2)];
    };
    const report = { edits: timings.length, medianTotalMs: median('total'), medianServerMs: median('server'), timings };
    fs.writeFileSync(path.join(opts.out, 'timings.json'), `${JSON.stringify(report, null, 2)}\n`);
    console.log(`edit to preview: median ${report.medianTotalMs.toFixed(1)} ms, server ${report.medianServerMs.toFixed(2)} ms (${timings.length} edits)`);

    // Draw: the created bars in the scene are the server's.
    await page.getByRole('button', { name: 'Draw' }).click();
    await idle();
    const session = await page.evaluate(() => window.pier.session());
    const server_state = await (await fetch(`${base}api/sessions/${session}`, auth)).json();
    const created = await page.evaluate(() => window.pier.createdBarCount());
    assert.ok(server_state.created.bars > 0, 'Draw creates bars');
    assert.equal(created, server_state.created.bars, 'bars in the scene against the server\'s count');
    assert.match(await page.textContent('#created-summary'), new RegExp(`^${created} bars \\(C1\\+C2: ${created}\\)`));

    // A download of what was created.
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#downloads a[download="cage.ifc"]')]);
    const ifc = fs.readFileSync(await download.path(), 'utf8');
    assert.ok(ifc.startsWith('ISO-10303-21;'), 'the IFC download is an IFC file');

    // The token left the address bar; a reload keeps the session and its bars.
    assert.equal(new URL(page.url()).search, '', 'the token is not left in the address bar');
    await page.reload();
    await page.waitForFunction(() => window.pier && window.pier.ready, null, { timeout: 30000 });
    assert.equal(await page.evaluate(() => window.pier.session()), session, 'a reload keeps the session');
    assert.equal(await page.evaluate(() => window.pier.createdBarCount()), created, 'and its bars');

    await page.click('#fit-picked');
    await page.waitForTimeout(200);
    await page.screenshot({ path: path.join(opts.out, 'serve_browser.png') });
    assert.deepEqual(errors, [], 'no script errors on the page');
    console.log(`created ${created} bars; screenshot ${path.join(opts.out, 'serve_browser.png')}`);
  } finally {
    if (browser) await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
    server.kill('SIGTERM');
  }
  const end = await stopped;
  assert.equal(end.code, 0, `the server stops cleanly on SIGTERM: ${end.output}`);
}

main().catch((e) => {
  console.error(e.stack || String(e));
  process.exit(1);
});
