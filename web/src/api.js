// The JSON API of pierhost serve (docs/api.md), one call per function.

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
  const response = await fetch(path, {
    method,
    headers: body === undefined ? {} : { 'Content-Type': 'application/json' },
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
  fileUrl: (id, name) => `/api/sessions/${id}/files/${name}`,
};
