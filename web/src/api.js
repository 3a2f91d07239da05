// The JSON API of pierhost serve (docs/api.md), one call per function.
//
// The API needs the server's token, which comes in the address pierhost
// serve printed (…/?token=…). The page keeps it for its tab and takes it
// out of the address bar, so that it is not shown, bookmarked or shared.
const TOKEN_KEY = 'pier-token';
function readToken() {
  const url = new URL(window.location.href);
  const given = url.searchParams.get('token');
  if (given) {
    sessionStorage.setItem(TOKEN_KEY, given);
    url.searchParams.delete('token');
    window.history.replaceState(null, '', url.pathname + url.search + url.hash);
  }
  return sessionStorage.getItem(TOKEN_KEY) || '';
}
const token = readToken();

export function hasToken() {
  return token !== '';
}

// A refusal by the server: its status, its message, and the state it sent
// along where it did (a tool error leaves the events before it applied).
export class ApiError extends Error {
  constructor(status, message, body) {
    super(message);
    this.status = status;
    this.body = body;
  }
}

// The server's total from its Server-Timing header, in ms.
function serverMs(response) {
  const header = response.headers.get('Server-Timing') || '';
  const total = /total;dur=([0-9.]+)/.exec(header);
  return total ? Number(total[1]) : NaN;
}

async function call(method, path, body) {
  const headers = { Authorization: `Bearer ${token}` };
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  const response = await fetch(path, {
    method,
    headers,
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  const text = await response.text();
  let json = null;
  try {
    json = text ? JSON.parse(text) : null;
  } catch {
    throw new ApiError(response.status, `the server answered ${response.status} with something not JSON`, null);
  }
  if (!response.ok) {
    throw new ApiError(response.status, (json && json.error) || `the server answered ${response.status}`, json);
  }
  return { json, serverMs: serverMs(response) };
}

export const api = {
  model: () => call('GET', '/api/model'),
  create: () => call('POST', '/api/sessions'),
  state: (id) => call('GET', `/api/sessions/${id}`),
  events: (id, events) => call('POST', `/api/sessions/${id}/events`, events),
  newRun: (id) => call('POST', `/api/sessions/${id}/run`),
  created: (id) => call('GET', `/api/sessions/${id}/created`),
  // A download link cannot send a header: the token goes in its address.
  fileUrl: (id, name) => `/api/sessions/${id}/files/${name}?token=${encodeURIComponent(token)}`,
  // The page goes (closed, reloaded, left): the server frees the session
  // unless the page comes back at once. Sent so that it outlives the page.
  leave: (id) => fetch(`/api/sessions/${id}/leave`, {
    method: 'POST', keepalive: true, headers: { Authorization: `Bearer ${token}` },
  }).catch(() => {}),
};
