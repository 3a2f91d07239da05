// Bars drawn with their real diameters: every straight piece of a bar's
// centreline is one instance of a unit cylinder, every bend one instance of
// a unit sphere, so a whole cage is two draw calls however many bars it has.
// A BarSet keeps its meshes from one cage to the next and grows them only
// when a cage needs more pieces; only the pieces of placements that changed
// are worked out again.
import * as THREE from 'three';

const cylinder = new THREE.CylinderGeometry(1, 1, 1, 8, 1, true);
const sphere = new THREE.SphereGeometry(1, 8, 6);
const up = new THREE.Vector3(0, 1, 0);

function sameNumbers(a, b) {
  if (a === b) return true;
  if (!a || !b || a.length !== b.length) return false;
  for (let i = 0; i < a.length; ++i) if (a[i] !== b[i]) return false;
  return true;
}

function samePlacement(a, b) {
  if (!a || a.d !== b.d || a.bars.length !== b.bars.length) return false;
  for (let i = 0; i < a.bars.length; ++i) if (!sameNumbers(a.bars[i], b.bars[i])) return false;
  return true;
}

function pieces(p) {
  let segments = 0;
  let joints = 0;
  for (const flat of p.bars) {
    const n = flat.length / 3;
    segments += Math.max(0, n - 1);
    joints += Math.max(0, n - 2);
  }
  return { segments, joints };
}

export class BarSet {
  constructor(material) {
    this.material = material;
    this.group = new THREE.Group();
    this.tubes = null;
    this.bends = null;
    this.placements = [];
    this.barCount = 0;
    this.box = new THREE.Box3();
  }

  // placements: [{d, bars: [[x, y, z, x, y, z, ...], ...]}].
  set(placements) {
    let segments = 0;
    let joints = 0;
    let bars = 0;
    for (const p of placements) {
      const n = pieces(p);
      segments += n.segments;
      joints += n.joints;
      bars += p.bars.length;
    }
    const grown = this.reserve(segments, joints);
    const a = new THREE.Vector3();
    const b = new THREE.Vector3();
    const dir = new THREE.Vector3();
    const q = new THREE.Quaternion();
    const s = new THREE.Vector3();
    const m = new THREE.Matrix4();
    let t = 0;
    let j = 0;
    let firstT = Infinity, lastT = -1, firstJ = Infinity, lastJ = -1;
    const box = new THREE.Box3();
    let radius = 0;
    placements.forEach((p, index) => {
      const n = pieces(p);
      // A placement as it was, at the same place among the pieces, stays.
      const before = this.placements[index];
      const kept = !grown && before && before.t === t && before.j === j && samePlacement(before.p, p);
      const r = p.d / 2;
      radius = Math.max(radius, r);
      for (const flat of p.bars) {
        for (let k = 0; k < flat.length; k += 3) {
          box.expandByPoint(a.set(flat[k], flat[k + 1], flat[k + 2]));
        }
      }
      if (!kept) {
        let tt = t;
        let jj = j;
        for (const flat of p.bars) {
          const count = flat.length / 3;
          for (let k = 0; k + 1 < count; ++k) {
            a.fromArray(flat, 3 * k);
            b.fromArray(flat, 3 * k + 3);
            dir.subVectors(b, a);
            const length = dir.length();
            if (length === 0) {
              // A piece of no length: none drawn.
              m.makeScale(0, 0, 0);
            } else {
              q.setFromUnitVectors(up, dir.divideScalar(length));
              m.compose(a.add(b).multiplyScalar(0.5), q, s.set(r, length, r));
            }
            this.tubes.setMatrixAt(tt++, m);
          }
          for (let k = 1; k + 1 < count; ++k) {
            m.makeScale(r, r, r).setPosition(flat[3 * k], flat[3 * k + 1], flat[3 * k + 2]);
            this.bends.setMatrixAt(jj++, m);
          }
        }
        if (n.segments) {
          firstT = Math.min(firstT, t);
          lastT = Math.max(lastT, t + n.segments);
        }
        if (n.joints) {
          firstJ = Math.min(firstJ, j);
          lastJ = Math.max(lastJ, j + n.joints);
        }
      }
      this.placements[index] = { p, t, j };
      t += n.segments;
      j += n.joints;
    });
    this.placements.length = placements.length;
    if (!box.isEmpty()) box.expandByScalar(radius);
    this.box = box;
    this.barCount = bars;
    for (const [mesh, count, first, last] of [[this.tubes, t, firstT, lastT], [this.bends, j, firstJ, lastJ]]) {
      mesh.count = count;
      if (last > first) {
        mesh.instanceMatrix.clearUpdateRanges();
        if (!grown) mesh.instanceMatrix.addUpdateRange(first * 16, (last - first) * 16);
        mesh.instanceMatrix.needsUpdate = true;
      }
      mesh.visible = count > 0;
      // The pieces' own bounds, for picking and culling.
      mesh.boundingBox = box.isEmpty() ? null : box.clone();
      mesh.boundingSphere = box.isEmpty() ? null : box.getBoundingSphere(new THREE.Sphere());
    }
  }

  // Room for the pieces; true when the meshes were made anew.
  reserve(segments, joints) {
    const fits = this.tubes && this.tubes.instanceMatrix.count >= segments && this.bends.instanceMatrix.count >= joints;
    if (fits) return false;
    this.dispose();
    const room = (n) => Math.max(16, Math.ceil(n * 1.5));
    this.tubes = new THREE.InstancedMesh(cylinder, this.material, room(segments));
    this.bends = new THREE.InstancedMesh(sphere, this.material, room(joints));
    for (const mesh of [this.tubes, this.bends]) {
      mesh.instanceMatrix.setUsage(THREE.DynamicDrawUsage);
      this.group.add(mesh);
    }
    this.placements = [];
    return true;
  }

  setMaterial(material) {
    this.material = material;
    if (this.tubes) {
      this.tubes.material = material;
      this.bends.material = material;
    }
  }

  dispose() {
    for (const mesh of [this.tubes, this.bends]) {
      if (!mesh) continue;
      this.group.remove(mesh);
      mesh.dispose();
    }
    this.tubes = null;
    this.bends = null;
  }
}
