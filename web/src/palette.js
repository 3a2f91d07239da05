// The tool's palette as a form: pages as tabs, a field per parameter with
// its unit, choice lists (showing the choice text where the palette gives
// one), switches, and the palette's buttons. Fields the tool changed stay
// marked until the next edit, and so do the tabs they are on; a field can
// carry a note of what is wrong with its value.

const el = (tag, props = {}, children = []) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};

export class Palette {
  constructor({ title, tabs, fields, buttons, onEdit, onButton, developer = false }) {
    Object.assign(this, { title, tabs, fields, buttons, onEdit, onButton, developer });
    this.file = null;
    this.page = 0;
    this.inputs = new Map();
    this.params = new Map();
  }

  // Shows the palette of a state; keeps the open page while the palette file
  // stays the same. Returns the fields whose value changed other than by the
  // user's own entry: [{name, label, unit, from, to}], and marks them.
  // `recalled`: values the page itself entered for the user (name → value),
  // which are the user's own too.
  show(palette, { mark = true, edited = null, recalled = null } = {}) {
    if (!palette || !palette.shown) {
      this.file = null;
      this.inputs.clear();
      this.params.clear();
      this.title.textContent = palette ? `${palette.name} (closed)` : 'No palette';
      this.tabs.textContent = '';
      this.fields.textContent = '';
      this.buttons.textContent = '';
      this.fields.append(el('p', { className: 'empty', textContent: 'The tool shows no palette. Start a new run.' }));
      return [];
    }
    if (palette.file !== this.file) {
      this.build(palette);
      return [];
    }
    const changed = [];
    for (const page of palette.pages) {
      for (const p of page.parameters) {
        this.params.set(p.name, p);
        const input = this.inputs.get(p.name);
        if (!input) continue;
        const shown = this.display(input, p.value);
        const held = input.dataset.value;
        const now = input.type === 'checkbox' ? String(input.checked) : input.value;
        const entered = edited && edited.name === p.name ? edited.value : recalled && recalled.has(p.name) ? recalled.get(p.name) : undefined;
        const own = entered !== undefined && (String(entered) === shown
          || (shown !== '' && Number(entered) === Number(shown)));
        if (now !== shown && own) {
          // The user's own entry, as the palette writes it ("20.0" is 20).
          this.setDisplay(input, shown);
        } else if (now !== shown) {
          // The field shows something else than the palette holds: the tool
          // corrected the value, or changed it as a consequence of another.
          const from = entered !== undefined ? this.text(input, this.display(input, entered)) : this.text(input, held);
          changed.push({ name: p.name, label: p.text || p.name, unit: p.unit, from, to: this.text(input, shown) });
          if (mark) this.markCorrected(p.name);
          this.setDisplay(input, shown);
        } else if (held !== shown) {
          input.dataset.value = shown;
        }
      }
    }
    this.markTabs();
    return changed;
  }

  build(palette) {
    this.file = palette.file;
    this.page = 0;
    this.inputs.clear();
    this.params.clear();
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
      for (const p of page.parameters) this.field(grid, p, index);
      if (page.parameters.length === 0) {
        grid.append(el('p', { className: 'empty', textContent: 'Click a column in the view, then the column standing on it if it has one, then Finish.' }));
      }
      this.fields.append(grid);
    });
    for (const b of palette.buttons) {
      const button = el('button', { type: 'button', textContent: b.text, className: b.event === 2002 ? '' : 'primary' });
      button.dataset.event = b.event;
      button.dataset.page = b.page;
      button.addEventListener('click', () => this.onButton(b.event, b.text));
      this.buttons.append(button);
    }
    this.select(0);
  }

  field(grid, p, page) {
    this.params.set(p.name, p);
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
    input.dataset.page = page;
    const range = p.min !== undefined && p.max !== undefined ? `${p.min} to ${p.max}${p.unit ? ` ${p.unit}` : ''}` : '';
    // What the user reads is the label; the parameter's own name only for a developer.
    input.title = [range && `From ${range}`, this.developer ? p.name : ''].filter(Boolean).join(' · ');
    input.addEventListener('change', (e) => {
      this.onEdit(p.name, this.read(input), e.timeStamp);
    });
    this.inputs.set(p.name, input);
    const label = el('label', { htmlFor: id, textContent: p.text || p.name });
    label.id = `label-${p.name}`;
    if (this.developer) label.title = p.name;
    const note = el('p', { className: 'field-note', hidden: true });
    note.id = `note-${p.name}`;
    grid.append(label, el('span', { className: 'input' }, [input, el('span', { className: 'unit', textContent: p.unit || '' })]), note);
    this.setDisplay(input, this.display(input, p.value));
  }

  // The value as the field shows it, as text, for comparing.
  display(input, value) {
    if (input.type === 'checkbox') return value ? 'true' : 'false';
    if (input.tagName === 'SELECT') return JSON.stringify(value);
    return String(value);
  }

  // A shown value as a user reads it: a choice's text, on/off, a number.
  text(input, shown) {
    if (input.type === 'checkbox') return shown === 'true' ? 'on' : 'off';
    if (input.tagName === 'SELECT') {
      const option = [...input.options].find((o) => o.value === shown);
      return option ? option.textContent : shown;
    }
    return shown;
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

  // The value a parameter holds, as the API takes it.
  value(name) {
    const p = this.params.get(name);
    return p ? p.value : undefined;
  }

  label(name) {
    const p = this.params.get(name);
    return p ? p.text || name : name;
  }

  unit(name) {
    const p = this.params.get(name);
    return p && p.unit ? ` ${p.unit}` : '';
  }

  has(name) {
    return this.inputs.has(name);
  }

  // Shows the value the palette holds again (after a refused edit).
  revert(name) {
    const input = this.inputs.get(name);
    if (input) this.setDisplay(input, input.dataset.value);
  }

  markCorrected(name) {
    const input = this.inputs.get(name);
    if (!input) return;
    input.classList.add('corrected');
    const label = document.getElementById(`label-${name}`);
    if (label) label.classList.add('corrected-label');
  }

  // A note under the field: why its value was refused, or what it leads to.
  note(name, text, kind = 'is-block') {
    const note = document.getElementById(`note-${name}`);
    const input = this.inputs.get(name);
    if (!note || !input) return false;
    note.textContent = text;
    note.className = `field-note ${kind}`;
    note.hidden = false;
    input.classList.toggle('invalid', kind === 'is-block');
    this.markTabs();
    return true;
  }

  // Every mark goes with the next edit.
  clearMarks() {
    for (const [name, input] of this.inputs) {
      input.classList.remove('corrected', 'invalid');
      const label = document.getElementById(`label-${name}`);
      if (label) label.classList.remove('corrected-label');
      const note = document.getElementById(`note-${name}`);
      if (note) note.hidden = true;
    }
    this.markTabs();
  }

  // A tab with a marked field on it is marked too.
  markTabs() {
    for (const tab of this.tabs.children) {
      const page = tab.dataset.page;
      const inputs = [...this.inputs.values()].filter((i) => i.dataset.page === page);
      tab.classList.toggle('has-corrected', inputs.some((i) => i.classList.contains('corrected')));
      tab.classList.toggle('has-invalid', inputs.some((i) => i.classList.contains('invalid')));
    }
  }

  // Opens the page of a field.
  reveal(name) {
    const input = this.inputs.get(name);
    if (input) this.select(Number(input.dataset.page));
  }

  select(index) {
    this.page = index;
    for (const tab of this.tabs.children) tab.setAttribute('aria-selected', String(Number(tab.dataset.page) === index));
    for (const grid of this.fields.children) {
      if (grid.dataset.page !== undefined) grid.hidden = Number(grid.dataset.page) !== index;
    }
  }
}
