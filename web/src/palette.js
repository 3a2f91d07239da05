// The tool's palette as a form: pages as tabs, a field per parameter with
// its unit, choice lists (showing the choice text where the palette gives
// one), switches, and the palette's buttons.

const el = (tag, props = {}, children = []) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};

export class Palette {
  constructor({ title, tabs, fields, buttons, onEdit, onButton }) {
    Object.assign(this, { title, tabs, fields, buttons, onEdit, onButton });
    this.file = null;
    this.page = 0;
    this.inputs = new Map();
  }

  // Shows the palette of a state; keeps the open page while the palette file
  // stays the same, and marks the fields whose value the tool changed.
  show(palette) {
    if (!palette || !palette.shown) {
      this.file = null;
      this.title.textContent = palette ? `${palette.name} (closed)` : 'No palette';
      this.tabs.textContent = '';
      this.fields.textContent = '';
      this.buttons.textContent = '';
      this.fields.append(el('p', { className: 'empty', textContent: 'The tool shows no palette. Start a new run.' }));
      return;
    }
    if (palette.file !== this.file) this.build(palette);
    for (const page of palette.pages) {
      for (const p of page.parameters) {
        const input = this.inputs.get(p.name);
        if (!input) continue;
        const shown = this.display(input, p.value);
        const now = input.type === 'checkbox' ? String(input.checked) : input.value;
        if (now !== shown) {
          this.flash(input);
          this.setDisplay(input, shown);
        }
        input.dataset.value = shown;
      }
    }
  }

  build(palette) {
    this.file = palette.file;
    this.page = 0;
    this.inputs.clear();
    this.title.textContent = palette.name;
    this.tabs.textContent = '';
    this.fields.textContent = '';
    this.buttons.textContent = '';
    palette.pages.forEach((page, index) => {
      if (palette.pages.length > 1) {
        const tab = el('button', { type: 'button', textContent: page.text || page.name, role: 'tab' });
        tab.dataset.page = index;
        tab.addEventListener('click', () => this.select(index));
        this.tabs.append(tab);
      }
      const grid = el('div', { className: 'page' });
      grid.dataset.page = index;
      for (const p of page.parameters) this.field(grid, p);
      if (page.parameters.length === 0) {
        grid.append(el('p', { className: 'empty', textContent: 'Click a column in the view, then the column standing on it if it has one, then Finish.' }));
      }
      this.fields.append(grid);
    });
    for (const b of palette.buttons) {
      const button = el('button', { type: 'button', textContent: b.text, className: 'primary' });
      button.dataset.event = b.event;
      button.dataset.page = b.page;
      button.addEventListener('click', () => this.onButton(b.event, b.text));
      this.buttons.append(button);
    }
    this.select(0);
  }

  field(grid, p) {
    const id = `field-${p.name}`;
    let input;
    const restricted = p.choices.length > 0 && (p.type === 'integer' || p.type === 'text');
    if (p.type === 'switch') {
      input = el('input', { type: 'checkbox', id });
    } else if (restricted) {
      input = el('select', { id }, p.choices.map((c) => el('option', { value: JSON.stringify(c.value), textContent: c.text || String(c.value) })));
    } else {
      input = el('input', { type: 'text', id, inputMode: p.type === 'text' ? 'text' : 'decimal', spellcheck: false });
      if (p.choices.length) {
        // Suggestions only: a number parameter takes other values too.
        const list = el('datalist', { id: `${id}-choices` }, p.choices.map((c) => el('option', { value: String(c.value) })));
        grid.append(list);
        input.setAttribute('list', list.id);
      }
    }
    input.name = p.name;
    input.dataset.type = p.type;
    input.title = p.name;
    input.addEventListener('change', () => {
      this.onEdit(p.name, this.read(input));
    });
    this.inputs.set(p.name, input);
    const label = el('label', { htmlFor: id, textContent: p.text || p.name, title: p.name });
    grid.append(label, el('span', { className: 'input' }, [input, el('span', { className: 'unit', textContent: p.unit || '' })]));
    this.setDisplay(input, this.display(input, p.value));
  }

  // The value as the field shows it, as text, for comparing.
  display(input, value) {
    if (input.type === 'checkbox') return value ? 'true' : 'false';
    if (input.tagName === 'SELECT') return JSON.stringify(value);
    return String(value);
  }

  setDisplay(input, shown) {
    input.dataset.value = shown;
    if (input.type === 'checkbox') input.checked = shown === 'true';
    else input.value = shown;
  }

  // What the field holds, as the API takes it.
  read(input) {
    if (input.type === 'checkbox') return input.checked;
    if (input.tagName === 'SELECT') return JSON.parse(input.value);
    return input.value.trim();
  }

  // Shows the value the palette holds again (after a refused edit).
  revert(name) {
    const input = this.inputs.get(name);
    if (input) this.setDisplay(input, input.dataset.value);
  }

  flash(input) {
    input.classList.remove('corrected');
    void input.offsetWidth;
    input.classList.add('corrected');
  }

  select(index) {
    this.page = index;
    for (const tab of this.tabs.children) tab.setAttribute('aria-selected', String(Number(tab.dataset.page) === index));
    for (const grid of this.fields.children) {
      if (grid.dataset.page !== undefined) grid.hidden = Number(grid.dataset.page) !== index;
    }
  }
}
