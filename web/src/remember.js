// The values a user gave the last cage of each kind (single, stacked), kept
// in this browser: the next run with that palette starts from them. Only the
// fields the user edited are kept; the others the tool derives from the
// columns picked.
const key = (file) => `pier-palette:${file}`;

export function recall(file) {
  try {
    const kept = JSON.parse(localStorage.getItem(key(file)) || '[]');
    return Array.isArray(kept) ? kept.filter((e) => Array.isArray(e) && typeof e[0] === 'string') : [];
  } catch {
    return [];
  }
}

// edits: [[name, value], ...] in the order they were made.
export function keep(file, edits) {
  try {
    localStorage.setItem(key(file), JSON.stringify(edits));
  } catch {
    // Storage full or off: nothing is remembered.
  }
}

export function forget(file) {
  localStorage.removeItem(key(file));
}
