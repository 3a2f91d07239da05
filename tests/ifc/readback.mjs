// Reads cage.ifc back with an independent IFC reader (web-ifc) and holds it
// against model.json from the same export folder:
//   node readback.mjs <folder written by `pierhost cage`> [--source <model.ifc>]
// Checks: every line has as many arguments as its entity has attributes;
// GlobalIds are well formed and unique; each column of a cage is in a storey
// with a body; each cage is a reinforcement unit in a storey, made of exactly
// its bars; each bar has its mark and diameter, and its mesh lies on its
// centreline (sharp corners rounded with the bend radius) at the bar's radius
// and reaches both its ends. With the IFC model the cages were made from:
// each cage carries its column's GlobalId, Name and Tag in a property set,
// lies in a storey of that column's storey's name, and its bars lie over
// the column as the reader places the column from the source file (so the
// two files overlay in a viewer: same world coordinates, same units).
import fs from 'node:fs';
import path from 'node:path';
import * as WebIFC from 'web-ifc';

// The tool bends every bar on a mandrel of 4 d: centreline radius 2.5 d.
const kBendRadiusPerDiameter = 2.5;
// The reader's circles and arcs are polygons: allow their chord error, plus
// the 0.1 mm by which a closed link's last hook is drawn back.
const kToleranceMm = 1.0;

const dir = process.argv[2];
const sourceAt = process.argv.indexOf('--source');
const sourceFile = sourceAt > 0 ? process.argv[sourceAt + 1] : null;
if (!dir) {
  console.error('usage: node readback.mjs <export folder> [--source <model.ifc>]');
  process.exit(2);
}
const ifcText = fs.readFileSync(path.join(dir, 'cage.ifc'), 'latin1');
const model = JSON.parse(fs.readFileSync(path.join(dir, 'model.json'), 'utf8'));
const failures = [];
const fail = (message) => {
  if (failures.length < 50) failures.push(message);
};

// ---- Lines: argument counts and GlobalIds, from the text itself.

// Splits the DATA section into `#id=TYPE(args)` records, with the top-level
// arguments as raw text.
function parseData(text) {
  const start = text.indexOf('DATA;');
  const end = text.lastIndexOf('ENDSEC;');
  const records = [];
  let statement = '';
  let inString = false;
  for (let i = start + 5; i < end; ++i) {
    const c = text[i];
    if (c === "'") inString = !inString;  // '' inside a string toggles twice
    if (!inString && c === ';') {
      records.push(statement.trim());
      statement = '';
    } else {
      statement += c;
    }
  }
  return records.filter((s) => s.length > 0).map((s) => {
    const m = /^#(\d+)\s*=\s*([A-Z0-9_]+)\s*\(([\s\S]*)\)$/.exec(s);
    if (!m) throw new Error(`not an entity line: ${s.slice(0, 80)}`);
    const args = [];
    let depth = 0;
    let quoted = false;
    let current = '';
    for (const c of m[3]) {
      if (c === "'") quoted = !quoted;
      if (!quoted && c === '(') ++depth;
      if (!quoted && c === ')') --depth;
      if (!quoted && depth === 0 && c === ',') {
        args.push(current.trim());
        current = '';
      } else {
        current += c;
      }
    }
    if (current.trim() !== '' || args.length > 0) args.push(current.trim());
    return { id: Number(m[1]), type: m[2], args };
  });
}

// The file's length unit in mm: lengths written as attributes (a bar's
// diameter) are in it; the reader's meshes come in metres whatever it is.
const records = parseData(ifcText);
const byId = new Map(records.map((r) => [r.id, r]));
let unitMm = 1;
for (const r of records) {
  const prefixes = { '$': 1, '.MILLI.': 1e-3, '.CENTI.': 1e-2, '.DECI.': 1e-1, '.KILO.': 1e3 };
  if (r.type === 'IFCSIUNIT' && r.args[1] === '.LENGTHUNIT.' && r.args[3] === '.METRE.' &&
      records.filter((q) => q.type === 'IFCMEASUREWITHUNIT' && q.args[1] === `#${r.id}`).length === 0) {
    unitMm = 1000 * prefixes[r.args[2]];
  } else if (r.type === 'IFCCONVERSIONBASEDUNIT' && r.args[1] === '.LENGTHUNIT.') {
    const factor = byId.get(Number(r.args[3].slice(1)));
    unitMm = 1000 * Number(/\(([^)]*)\)/.exec(factor.args[0])[1]);
  }
}

const classByUpperName = new Map(
  Object.entries(WebIFC.IFC4).map(([name, cls]) => [name.toUpperCase(), cls]));
const globalIds = new Set();
for (const { id, type, args } of records) {
  const cls = classByUpperName.get(type);
  if (!cls) {
    fail(`#${id}: ${type} is not an IFC4 entity`);
    continue;
  }
  // The reader's constructors take the explicit attributes; '*' marks an
  // attribute a subtype derives, which the constructor leaves out.
  const explicit = args.filter((a) => a !== '*').length;
  if (explicit !== cls.length) {
    fail(`#${id}: ${type} has ${explicit} arguments, the entity has ${cls.length}`);
  }
  if (cls.prototype instanceof WebIFC.IFC4.IfcRoot) {
    const m = /^'(.*)'$/.exec(args[0]);
    const gid = m ? m[1] : args[0];
    if (!/^[0-3][0-9A-Za-z_$]{21}$/.test(gid)) fail(`#${id}: malformed GlobalId ${gid}`);
    if (globalIds.has(gid)) fail(`#${id}: GlobalId ${gid} is used twice`);
    globalIds.add(gid);
  }
}

// ---- The model as the reader sees it.

const api = new WebIFC.IfcAPI();
await api.Init();
const modelId = api.OpenModel(new Uint8Array(Buffer.from(ifcText, 'latin1')),
                              { COORDINATE_TO_ORIGIN: false });
const ids = (type) => {
  const v = api.GetLineIDsWithType(modelId, type);
  return Array.from({ length: v.size() }, (_, i) => v.get(i));
};
const line = (id) => api.GetLine(modelId, id);
const handles = (list) => (list ?? []).map((h) => h.value);

const aggregatedBy = new Map();  // part -> whole
for (const rel of ids(WebIFC.IFCRELAGGREGATES).map(line)) {
  for (const part of handles(rel.RelatedObjects)) aggregatedBy.set(part, rel.RelatingObject.value);
}
const containedIn = new Map();  // element -> spatial structure
for (const rel of ids(WebIFC.IFCRELCONTAINEDINSPATIALSTRUCTURE).map(line)) {
  for (const e of handles(rel.RelatedElements)) containedIn.set(e, rel.RelatingStructure.value);
}
const storeys = new Set(ids(WebIFC.IFCBUILDINGSTOREY));

// Mesh vertices of a product in the file's frame and units (mm, z up): the
// reader gives metres, y up, with (x, y, z) as (x, z, -y).
function vertices(productId) {
  const out = [];
  const mesh = api.GetFlatMesh(modelId, productId);
  for (let g = 0; g < mesh.geometries.size(); ++g) {
    const placed = mesh.geometries.get(g);
    const t = placed.flatTransformation;  // column-major 4 x 4
    const geometry = api.GetGeometry(modelId, placed.geometryExpressID);
    const v = api.GetVertexArray(geometry.GetVertexData(), geometry.GetVertexDataSize());
    for (let i = 0; i < v.length; i += 6) {
      const [x, y, z] = [v[i], v[i + 1], v[i + 2]];
      const wx = t[0] * x + t[4] * y + t[8] * z + t[12];
      const wy = t[1] * x + t[5] * y + t[9] * z + t[13];
      const wz = t[2] * x + t[6] * y + t[10] * z + t[14];
      out.push([wx * 1000, -wz * 1000, wy * 1000]);
    }
  }
  return out;
}

// ---- Centrelines: the polyline with each corner rounded by an arc of
// radius R (both bends shrink where a leg is too short for them), sampled.

const sub = (a, b) => [a[0] - b[0], a[1] - b[1], a[2] - b[2]];
const add = (a, b) => [a[0] + b[0], a[1] + b[1], a[2] + b[2]];
const mul = (a, f) => [a[0] * f, a[1] * f, a[2] * f];
const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
const norm = (a) => Math.sqrt(dot(a, a));
const unit = (a) => mul(a, 1 / norm(a));

function centreline(polyline, radius) {
  const p = polyline.filter((q, i) => i === 0 || norm(sub(q, polyline[i - 1])) > 1e-6);
  const n = p.length;
  const turn = p.map(() => 0);
  const want = p.map(() => 0);
  for (let i = 1; i + 1 < n; ++i) {
    turn[i] = Math.acos(Math.min(1, Math.max(-1,
      dot(unit(sub(p[i], p[i - 1])), unit(sub(p[i + 1], p[i]))))));
    if (turn[i] > 1e-3 && turn[i] < Math.PI - 1e-3) want[i] = radius * Math.tan(turn[i] / 2);
  }
  const shrink = p.map(() => 1);
  for (let j = 0; j + 1 < n; ++j) {
    const leg = norm(sub(p[j + 1], p[j]));
    if (want[j] + want[j + 1] > leg) {
      const f = leg / (want[j] + want[j + 1]);
      shrink[j] = Math.min(shrink[j], f);
      shrink[j + 1] = Math.min(shrink[j + 1], f);
    }
  }
  const out = [p[0]];
  for (let i = 1; i + 1 < n; ++i) {
    const t = want[i] * shrink[i];
    if (t === 0) {
      out.push(p[i]);
      continue;
    }
    const r = radius * shrink[i];
    const uin = unit(sub(p[i], p[i - 1]));
    const uout = unit(sub(p[i + 1], p[i]));
    const centre = add(p[i], mul(unit(sub(uout, uin)), r / Math.cos(turn[i] / 2)));
    const a = sub(add(p[i], mul(uin, -t)), centre);
    const b = sub(add(p[i], mul(uout, t)), centre);
    const steps = 32;
    for (let k = 0; k <= steps; ++k) {  // slerp from a to b about the centre
      const s = k / steps;
      const w = turn[i];
      out.push(add(centre, add(mul(a, Math.sin((1 - s) * w) / Math.sin(w)),
                               mul(b, Math.sin(s * w) / Math.sin(w)))));
    }
  }
  out.push(p[n - 1]);
  return out;
}

function distanceToPolyline(q, poly) {
  let best = Infinity;
  for (let i = 0; i + 1 < poly.length; ++i) {
    const d = sub(poly[i + 1], poly[i]);
    const len2 = dot(d, d);
    const s = len2 > 0 ? Math.min(1, Math.max(0, dot(sub(q, poly[i]), d) / len2)) : 0;
    best = Math.min(best, norm(sub(q, add(poly[i], mul(d, s)))));
  }
  return best;
}

// How far a bar's mesh is from lying on `bar` (the worst excess over the
// tolerance, <= 0 when it fits), and whether it reaches both ends.
function fit(mesh, bar) {
  const r = bar.diameter / 2;
  const axis = centreline(bar.polyline, kBendRadiusPerDiameter * bar.diameter);
  const distances = mesh.map((v) => distanceToPolyline(v, axis)).sort((a, b) => a - b);
  // No vertex outside the tube; most on its surface (end caps and a link's
  // overlapping hooks put a few inside), which fixes the radius.
  const median = distances[Math.floor(distances.length / 2)];
  const worst = Math.max(distances[distances.length - 1] - (r + kToleranceMm),
                         Math.abs(median - r) - kToleranceMm);
  const ends = [bar.polyline[0], bar.polyline[bar.polyline.length - 1]];
  const reached = ends.every((e) => mesh.some((v) => norm(sub(v, e)) <= r + kToleranceMm));
  return { worst, reached };
}

function boxCentre(points) {
  const lo = [Infinity, Infinity, Infinity];
  const hi = [-Infinity, -Infinity, -Infinity];
  for (const q of points) {
    for (let k = 0; k < 3; ++k) {
      lo[k] = Math.min(lo[k], q[k]);
      hi[k] = Math.max(hi[k], q[k]);
    }
  }
  return mul(add(lo, hi), 0.5);
}

// ---- Cages and bars against model.json.

const assemblies = ids(WebIFC.IFCELEMENTASSEMBLY).map(line);
const allBars = ids(WebIFC.IFCREINFORCINGBAR);
let modelBarCount = 0;
for (const cage of model.cages) {
  const expected = [];
  for (const placement of cage.placements) {
    for (const polyline of placement.bars) {
      expected.push({ mark: placement.mark, diameter: placement.diameter, polyline, used: false });
    }
  }
  modelBarCount += expected.length;
  const found = assemblies.filter((a) => a.Name?.value === cage.name);
  if (found.length !== 1) {
    fail(`cage ${cage.name}: ${found.length} element assemblies carry its name`);
    continue;
  }
  const assembly = found[0];
  if (assembly.PredefinedType?.value !== 'REINFORCEMENT_UNIT') {
    fail(`cage ${cage.name}: the assembly is not a reinforcement unit`);
  }
  if (!storeys.has(containedIn.get(assembly.expressID))) {
    fail(`cage ${cage.name}: the assembly is not contained in a storey`);
  }
  const bars = allBars.filter((b) => aggregatedBy.get(b) === assembly.expressID);
  if (bars.length !== expected.length) {
    fail(`cage ${cage.name}: ${bars.length} bars in the assembly, model.json has ${expected.length}`);
  }
  for (const barId of bars) {
    const bar = line(barId);
    const mark = bar.Tag?.value;
    if (containedIn.has(barId)) fail(`bar #${barId}: contained in a storey besides its cage`);
    const mesh = vertices(barId);
    if (mesh.length === 0) {
      fail(`bar #${barId} (mark ${mark}): the reader made no mesh`);
      continue;
    }
    // Its bar in model.json: of the same mark and not yet taken, tried
    // nearest first (by the centres of their bounding boxes) until one fits.
    const middle = boxCentre(mesh);
    const candidates = expected
      .filter((c) => !c.used && c.mark === mark)
      .sort((a, b) => norm(sub(boxCentre(a.polyline), middle)) -
                      norm(sub(boxCentre(b.polyline), middle)));
    if (candidates.length === 0) {
      fail(`bar #${barId}: no bar of mark ${mark} left in cage ${cage.name}`);
      continue;
    }
    let best = null;
    for (const candidate of candidates) {
      const f = fit(mesh, candidate);
      if (!best || f.worst < best.f.worst) best = { candidate, f };
      if (f.worst <= 0 && f.reached) break;
    }
    best.candidate.used = true;
    const { candidate, f } = best;
    if (Math.abs(bar.NominalDiameter?.value * unitMm - candidate.diameter) > 1e-6) {
      fail(`bar #${barId} (mark ${mark}): diameter ${bar.NominalDiameter?.value}, ` +
           `model.json ${candidate.diameter}`);
    }
    if (f.worst > 0) {
      fail(`bar #${barId} (mark ${mark}): its mesh is ${f.worst.toFixed(2)} mm off the tube of ` +
           `radius ${candidate.diameter / 2} ± ${kToleranceMm} mm around the bar starting at ` +
           `${candidate.polyline[0]}`);
    }
    if (!f.reached) fail(`bar #${barId} (mark ${mark}): the mesh does not reach both ends`);
  }
}
const columns = ids(WebIFC.IFCCOLUMN).map(line);
// Cages of an IFC model leave its columns to it: cage.ifc is laid over it.
for (const id of sourceFile ? [] : new Set(model.cages.flatMap((cage) => cage.columns))) {
  const column = columns.find((c) => c.Name?.value === id);
  if (!column) {
    fail(`column ${id}: not in cage.ifc`);
  } else if (!storeys.has(containedIn.get(column.expressID))) {
    fail(`column ${id}: not contained in a storey`);
  } else if (vertices(column.expressID).length === 0) {
    fail(`column ${id}: the reader made no mesh`);
  }
}
if (allBars.length !== modelBarCount) {
  fail(`${allBars.length} reinforcing bars in cage.ifc, model.json has ${modelBarCount}`);
}

// ---- Laid over the source model.

// The convex hull of points in plan, counter-clockwise.
function hull(points) {
  const p = points.map((q) => [q[0], q[1]]).sort((a, b) => a[0] - b[0] || a[1] - b[1]);
  const cross = (o, a, b) => (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
  const half = (list) => {
    const h = [];
    for (const q of list) {
      while (h.length >= 2 && cross(h[h.length - 2], h[h.length - 1], q) <= 0) h.pop();
      h.push(q);
    }
    h.pop();
    return h;
  };
  return [...half(p), ...half([...p].reverse())];
}
// How far a plan point lies outside a counter-clockwise convex polygon.
function outside(q, polygon) {
  let worst = -Infinity;
  for (let i = 0; i < polygon.length; ++i) {
    const [a, b] = [polygon[i], polygon[(i + 1) % polygon.length]];
    const length = Math.hypot(b[0] - a[0], b[1] - a[1]);
    worst = Math.max(worst, -((b[0] - a[0]) * (q[1] - a[1]) - (b[1] - a[1]) * (q[0] - a[0])) / length);
  }
  return worst;
}

let overlaid = 0;
if (sourceFile) {
  const source = api.OpenModel(new Uint8Array(fs.readFileSync(sourceFile)),
                               { COORDINATE_TO_ORIGIN: false });
  const sourceIds = (type) => {
    const v = api.GetLineIDsWithType(source, type);
    return Array.from({ length: v.size() }, (_, i) => v.get(i));
  };
  const sourceColumns = new Map();
  for (const type of [WebIFC.IFCCOLUMN, WebIFC.IFCCOLUMNSTANDARDCASE]) {
    if (type === undefined) continue;
    for (const id of sourceIds(type)) sourceColumns.set(api.GetLine(source, id).GlobalId.value, id);
  }
  const sourceStorey = new Map();
  for (const rel of sourceIds(WebIFC.IFCRELCONTAINEDINSPATIALSTRUCTURE).map((i) => api.GetLine(source, i))) {
    const structure = api.GetLine(source, rel.RelatingStructure.value);
    for (const e of handles(rel.RelatedElements)) sourceStorey.set(e, structure.Name?.value);
  }
  // The property sets of each object in cage.ifc.
  const psets = new Map();
  for (const rel of ids(WebIFC.IFCRELDEFINESBYPROPERTIES).map(line)) {
    const set = line(rel.RelatingPropertyDefinition.value);
    const values = {};
    for (const p of handles(set.HasProperties).map(line)) values[p.Name.value] = p.NominalValue?.value;
    for (const o of handles(rel.RelatedObjects)) psets.set(`${o}/${set.Name.value}`, values);
  }
  const sourceVertices = (productId) => {
    const out = [];
    const mesh = api.GetFlatMesh(source, productId);
    for (let g = 0; g < mesh.geometries.size(); ++g) {
      const placed = mesh.geometries.get(g);
      const t = placed.flatTransformation;
      const geometry = api.GetGeometry(source, placed.geometryExpressID);
      const v = api.GetVertexArray(geometry.GetVertexData(), geometry.GetVertexDataSize());
      for (let i = 0; i < v.length; i += 6) {
        const [x, y, z] = [v[i], v[i + 1], v[i + 2]];
        out.push([(t[0] * x + t[4] * y + t[8] * z + t[12]) * 1000,
                  -(t[2] * x + t[6] * y + t[10] * z + t[14]) * 1000]);
      }
    }
    return out;
  };
  for (const cage of model.cages) {
    const assembly = assemblies.find((a) => a.Name?.value === cage.name);
    if (!assembly) continue;
    const plans = [];
    for (const [k, set] of [[0, 'Pier_SourceColumn'], [1, 'Pier_SourceColumnAbove']]) {
      if (k >= cage.columns.length) continue;
      const values = psets.get(`${assembly.expressID}/${set}`);
      const columnId = values && sourceColumns.get(values.GlobalId);
      if (!columnId) {
        fail(`cage ${cage.name}: ${set} names no column of ${sourceFile} by its GlobalId`);
        continue;
      }
      const column = api.GetLine(source, columnId);
      if (values.Name !== (column.Name?.value ?? undefined) || values.Tag !== (column.Tag?.value ?? undefined)) {
        fail(`cage ${cage.name}: ${set} has Name ${values.Name} and Tag ${values.Tag}, the column ` +
             `${column.Name?.value} and ${column.Tag?.value}`);
      }
      if (k === 0) {
        const storey = line(containedIn.get(assembly.expressID)).Name?.value;
        if (sourceStorey.has(columnId) && storey !== sourceStorey.get(columnId)) {
          fail(`cage ${cage.name}: in storey ${storey}, its column in ${sourceStorey.get(columnId)}`);
        }
      }
      plans.push(hull(sourceVertices(columnId)));
    }
    if (plans.length === 0) continue;
    // Every bar over the column (or, for a stacked cage, over one of the two).
    for (const barId of allBars.filter((b) => aggregatedBy.get(b) === assembly.expressID)) {
      const worst = Math.max(...vertices(barId).map((v) => Math.min(...plans.map((p) => outside(v, p)))));
      if (worst > kToleranceMm) {
        fail(`cage ${cage.name}: bar #${barId} lies ${worst.toFixed(2)} mm outside its column in ` +
             `${sourceFile}`);
      }
      ++overlaid;
    }
  }
  api.CloseModel(source);
}
api.CloseModel(modelId);

if (failures.length > 0) {
  console.error(`cage.ifc in ${dir} does not read back:\n  ` + failures.join('\n  '));
  process.exit(1);
}
console.log(`cage.ifc: ${allBars.length} bars in ${model.cages.length} cage(s) read back and ` +
            `match model.json; ${globalIds.size} GlobalIds unique` +
            (sourceFile ? `; ${overlaid} bars lie over their columns in ${sourceFile}` : ''));
