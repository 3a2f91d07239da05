// The cages created in this session: a list with Edit and Delete, the
// downloads, and the schedule as a table.
const $ = (id) => document.getElementById(id);
const el = (tag, props = {}, children = []) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};
const FILES = [
  ['cage.ifc', 'IFC'],
  ['schedule.csv', 'CSV'],
  ['drawing.svg', 'Drawing'],
  ['model.json', 'JSON'],
];

export function showCreated(created, { fileUrl, onEdit, onDelete, onSchedule }) {
  const summary = created.cages.map((c) => `${c.name}: ${c.bars}`).join(', ');
  $('created-summary').textContent = created.bars ? `${created.bars} bars (${summary})` : 'No bars yet.';
  const list = $('cage-list');
  list.textContent = '';
  for (const c of created.cages) {
    const edit = el('button', { type: 'button', className: 'small', textContent: 'Edit', title: `Open ${c.name} in the palette; Draw replaces it` });
    edit.addEventListener('click', () => onEdit(c));
    const remove = el('button', { type: 'button', className: 'small danger', textContent: 'Delete', title: `Delete ${c.name} (Undo brings it back)` });
    remove.addEventListener('click', () => onDelete(c));
    const item = el('li', { className: created.replacing === c.id ? 'is-replacing' : '' }, [
      el('span', { className: 'name', textContent: c.name }),
      el('span', { className: 'count', textContent: `${c.bars} bars` }),
      edit, remove,
    ]);
    item.dataset.cage = c.id;
    item.dataset.name = c.name;
    list.append(item);
  }
  const links = $('downloads');
  links.textContent = '';
  if (!created.bars) return;
  const table = el('button', { type: 'button', textContent: 'Schedule', title: 'The bar schedule of the created cages' });
  table.id = 'show-schedule';
  table.addEventListener('click', onSchedule);
  links.append(table);
  for (const [name, text] of FILES) {
    const a = el('a', { href: fileUrl(name), textContent: text, download: name, title: `Download ${name}` });
    links.append(a);
  }
}

const numeric = (text) => /^-?[0-9][0-9.]*$/.test(text);

function table(rows) {
  const [head, ...body] = rows;
  return el('table', {}, [
    el('thead', {}, [el('tr', {}, head.map((h) => el('th', { textContent: h })))]),
    el('tbody', {}, body.map((r) => el('tr', {}, r.map((cell) => el('td', { textContent: cell, className: numeric(cell) ? 'number' : '' }))))),
  ]);
}

export function showSchedule(schedule) {
  const box = $('schedule-body');
  box.textContent = '';
  if (!schedule.bars.length) {
    box.append(el('p', { textContent: 'Nothing was created yet.' }));
  } else {
    box.append(el('p', { textContent: schedule.header.map(([k, v]) => `${k}: ${v}`).join(' · ') }));
    box.append(el('p', { textContent: 'Lengths and dimensions in mm.' }));
    box.append(table(schedule.bars), table(schedule.totals));
    if (schedule.notes.length) {
      box.append(el('h4', { textContent: 'Notes' }), el('ul', {}, schedule.notes.map((n) => el('li', { textContent: n }))));
    }
    if (schedule.members && schedule.members.length > 1) {
      box.append(el('h4', { textContent: 'Member table' }), table(schedule.members));
    }
  }
  $('schedule').showModal();
}
