// Holds the columns and walls pierhost takes from an IFC file against the
// geometry an independent reader (web-ifc) makes of the same elements:
//   node columns.mjs --pierhost <program> <model.ifc>
// For each element pierhost takes (every material, `--all-columns`): the
// reader's mesh must be the prism pierhost reports: no mesh vertex outside
// the prism by more than the tolerance, and a mesh vertex within the
// tolerance of each of the prism's eight corners (so its lowest and highest
// points are the prism's bottom and top). Exits 77 (a skipped test) when the file is not
// there, as the shared sample files may not be.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import * as WebIFC from 'web-ifc';

// pierhost snaps a section to its rectangle within 0.5 mm; the reader's
// vertices are single-precision floats.
const kToleranceMm = 1.0;

const args = process.argv.slice(2);
const program = args[args.indexOf('--pierhost') + 1];
const file = args.filter((a, i) => a !== '--pierhost' && args[i - 1] !== '--pierhost')[0];
if (!program || !file) {
  console.error('usage: node columns.mjs --pierhost <program> <model.ifc>');
  process.exit(2);
}
if (!fs.existsSync(file)) {
  console.log(`skipped: ${file} is not there (set PIER_IFC_SAMPLES to the folder of the samples)`);
  process.exit(77);
}

const taken = JSON.parse(
  execFileSync(program, ['model', '--json', '--all-columns', file], { maxBuffer: 1 << 28 }));

const api = new WebIFC.IfcAPI();
await api.Init();
const modelId = api.OpenModel(new Uint8Array(fs.readFileSync(file)), { COORDINATE_TO_ORIGIN: false });
const byGlobalId = new Map();
for (const type of [WebIFC.IFCCOLUMN, WebIFC.IFCCOLUMNSTANDARDCASE, WebIFC.IFCWALL,
                    WebIFC.IFCWALLSTANDARDCASE]) {
  if (type === undefined) continue;
  const ids = api.GetLineIDsWithType(modelId, type);
  for (let i = 0; i < ids.size(); ++i) {
    const line = api.GetLine(modelId, ids.get(i));
    byGlobalId.set(line.GlobalId.value, ids.get(i));
  }
}

// Mesh vertices in the file's world frame, mm, z up: the reader gives
// metres, y up, with (x, y, z) as (x, z, -y).
function vertices(expressId) {
  const out = [];
  const mesh = api.GetFlatMesh(modelId, expressId);
  for (let g = 0; g < mesh.geometries.size(); ++g) {
    const placed = mesh.geometries.get(g);
    const t = placed.flatTransformation;
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

const distance = (a, b) => Math.hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);

// The plan of a column, or of a wall's box about its axis.
function plan(element) {
  let plan = element.corners;
  if (!plan) {
    const [s, e] = element.axis;
    const length = Math.hypot(e[0] - s[0], e[1] - s[1]);
    const n = [-(e[1] - s[1]) / length * element.thickness / 2,
               (e[0] - s[0]) / length * element.thickness / 2];
    plan = [[s[0] - n[0], s[1] - n[1]], [e[0] - n[0], e[1] - n[1]],
            [e[0] + n[0], e[1] + n[1]], [s[0] + n[0], s[1] + n[1]]];
  }
  return plan;
}

// How far a point lies outside the prism over a convex plan (0 inside).
function outside(p, corners, bottom, top) {
  let area = 0;
  for (let i = 0; i < corners.length; ++i) {
    const [a, b] = [corners[i], corners[(i + 1) % corners.length]];
    area += a[0] * b[1] - b[0] * a[1];
  }
  let worst = Math.max(0, bottom - p[2], p[2] - top);
  for (let i = 0; i < corners.length; ++i) {
    const [a, b] = [corners[i], corners[(i + 1) % corners.length]];
    const length = Math.hypot(b[0] - a[0], b[1] - a[1]);
    const cross = (b[0] - a[0]) * (p[1] - a[1]) - (b[1] - a[1]) * (p[0] - a[0]);
    worst = Math.max(worst, -Math.sign(area) * cross / length);
  }
  return worst;
}

const failures = [];
let checked = 0;
for (const element of [...taken.columns, ...taken.walls]) {
  const what = `${element.corners ? 'column' : 'wall'} ${element.id} (${element.global_id})`;
  const expressId = byGlobalId.get(element.global_id);
  if (expressId === undefined) {
    failures.push(`${what}: the reader finds no element with its GlobalId`);
    continue;
  }
  const mesh = vertices(expressId);
  if (mesh.length === 0) {
    failures.push(`${what}: the reader makes no mesh of it`);
    continue;
  }
  const corners2d = plan(element);
  const corners = [...corners2d.map(([x, y]) => [x, y, element.bottom]),
                   ...corners2d.map(([x, y]) => [x, y, element.top])];
  const worstVertex = Math.max(...mesh.map((v) => outside(v, corners2d, element.bottom, element.top)));
  const worstCorner = Math.max(...corners.map((c) => Math.min(...mesh.map((v) => distance(v, c)))));
  if (worstVertex > kToleranceMm || worstCorner > kToleranceMm) {
    failures.push(`${what}: a mesh vertex lies ${worstVertex.toFixed(3)} mm outside pierhost's ` +
                  `prism and a prism corner ${worstCorner.toFixed(3)} mm from the mesh`);
  }
  ++checked;
}
api.CloseModel(modelId);
if (failures.length > 0) {
  console.error(`${file}: pierhost's elements and web-ifc's geometry differ:\n  ` +
                failures.join('\n  '));
  process.exit(1);
}
console.log(`${file}: ${taken.columns.length} columns and ${taken.walls.length} walls taken, ` +
            `${checked} checked against web-ifc within ${kToleranceMm} mm; ` +
            `${taken.refused.length} columns refused`);
