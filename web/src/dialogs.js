// Message boxes and questions as modal dialogs, one at a time. A box lists
// what the tool said, each text as the tool wrote it, styled by how it
// weighs (blocked, warning, note, done), with the page's own explanation
// beside it where the tool's words need one.
const $ = (id) => document.getElementById(id);
const WORD = { block: 'Blocked', warn: 'Warning', note: 'Note', done: 'Done' };

// The page's explanations of the tool's message boxes.
const EXPLAIN = [
  [/^Main Column Rebar Diameter/, 'Corner bars are at least 12 mm thick: the corner bar diameter was set to 12 mm.'],
  [/^Stirrup diamter cannot smaller/, 'Links are at least a quarter as thick as the largest bar they hold: the stirrup diameter was raised.'],
  [/^Stirrup spacing cannot greater/, 'Links stand at most 12 corner-bar diameters and 200 mm apart: the stirrup spacing was lowered.'],
  [/^Additional stirrup spacing cannot greater/, 'The denser zones have at most 0.6 of the stirrup spacing: their spacing was lowered.'],
  [/^The minimum concrete grade for/, 'The concrete grade was raised to the least this exposure class takes.'],
  [/Concrete Cover not enough/, 'The cover to the corner bars is less than the exposure class asks for. The bars can still be created.'],
  [/Max Column Reinforcement Area is 9%/, 'The longitudinal bars are more than 9 % of the section. No bars are created.'],
  [/Rebar Ratio in Splice Area/, 'Where the bars lap, they are more than 9 % of the upper column\u2019s section. The bars can still be created.'],
  [/Column Width is now smaller than 200/, 'A column narrower than 200 mm gets no cage. No bars are created.'],
  [/classified as a wall/, 'The section is more than four times as long as it is wide. The bars can still be created.'],
  [/column above is bigger than cross section/, 'The column above is larger than this one. No bars are created.'],
];

export function explain(text) {
  const found = EXPLAIN.find(([pattern]) => pattern.test(text));
  return found ? found[1] : '';
}

let chain = Promise.resolve();

// items: [{kind, text, explain?}]; buttons: [{value, text, primary?}].
// Resolves with the value of the button pressed ('' for Esc).
function open({ title, kind = '', items = [], buttons = [{ value: 'ok', text: 'OK', primary: true }] }) {
  const next = chain.then(() => new Promise((resolve) => {
    const dialog = $('message');
    const heading = $('message-title');
    heading.textContent = title;
    heading.className = kind ? `is-${kind}` : '';
    const list = $('message-items');
    list.textContent = '';
    for (const item of items) {
      const li = document.createElement('li');
      li.className = `is-${item.kind}`;
      const word = document.createElement('span');
      word.className = 'kind';
      word.textContent = item.word || WORD[item.kind] || '';
      const text = document.createElement('span');
      text.className = 'text';
      text.textContent = item.text;
      li.append(word, text);
      if (item.explain) {
        const more = document.createElement('span');
        more.className = 'explain';
        more.textContent = item.explain;
        li.append(more);
      }
      list.append(li);
    }
    const menu = $('message-buttons');
    menu.textContent = '';
    let focus = null;
    for (const b of buttons) {
      const button = document.createElement('button');
      button.value = b.value;
      button.textContent = b.text;
      if (b.primary) {
        button.className = 'primary';
        focus = focus || button;
      }
      if (b.value === 'ok') button.id = 'message-ok';
      menu.append(button);
    }
    dialog.returnValue = '';
    dialog.addEventListener('close', () => resolve(dialog.returnValue), { once: true });
    dialog.showModal();
    if (focus) focus.focus();
  }));
  chain = next.catch(() => {});
  return next;
}

export function showMessages(box) {
  return open(box);
}

export function ask(question) {
  return open(question);
}

export function isOpen() {
  return $('message').open || $('schedule').open || $('section-dialog').open;
}
