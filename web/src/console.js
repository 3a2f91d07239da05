// The console below the view: what the tool printed, the message boxes it
// showed and what the page sent, line by line. A session's lines are kept
// for the tab, so that a reload shows them again.
const LIMIT = 500;

export class Console {
  constructor(box) {
    this.box = box;
    this.session = null;
    this.lines = [];
  }

  // The console of a session: its earlier lines, if the tab has them.
  open(session) {
    this.session = session;
    this.box.textContent = '';
    let kept = [];
    try {
      kept = JSON.parse(sessionStorage.getItem(this.key()) || '[]');
    } catch {
      kept = [];
    }
    this.lines = Array.isArray(kept) ? kept.slice(-LIMIT) : [];
    for (const [text, kind] of this.lines) this.append(text, `${kind} earlier`);
    return this.lines.length;
  }

  key() {
    return `pier-console:${this.session}`;
  }

  log(text, kind = '') {
    this.append(text, kind);
    this.lines.push([text, kind]);
    if (this.lines.length > LIMIT) this.lines.splice(0, this.lines.length - LIMIT);
    if (this.session) {
      try {
        sessionStorage.setItem(this.key(), JSON.stringify(this.lines));
      } catch {
        // Storage full: the lines stay on screen.
      }
    }
  }

  append(text, kind) {
    const line = document.createElement('div');
    line.className = kind;
    line.textContent = text;
    this.box.append(line);
    while (this.box.childElementCount > LIMIT) this.box.firstElementChild.remove();
    this.box.scrollTop = this.box.scrollHeight;
  }
}
