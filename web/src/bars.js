// Bars drawn with their real diameters: every straight piece of a bar's
// centreline is one instance of a unit cylinder, every bend one instance of
// a unit sphere, so a whole cage is two draw calls however many bars it has.
import * as THREE from 'three';

const cylinder = new THREE.CylinderGeometry(1, 1, 1, 12, 1, false);
const sphere = new THREE.SphereGeometry(1, 12, 8);
const up = new THREE.Vector3(0, 1, 0);

// placements: [{d, bars: [[x, y, z, x, y, z, ...], ...]}]. Returns a group
// with userData.barCount, the number of bars in it.
export function buildBars(placements, material) {
  let segments = 0;
  let joints = 0;
  let barCount = 0;
  for (const p of placements) {
    for (const flat of p.bars) {
      const n = flat.length / 3;
      segments += Math.max(0, n - 1);
      joints += Math.max(0, n - 2);
      barCount += 1;
    }
  }
  const group = new THREE.Group();
  group.userData.barCount = barCount;
  if (barCount === 0) return group;
  const tubes = new THREE.InstancedMesh(cylinder, material, Math.max(1, segments));
  const bends = new THREE.InstancedMesh(sphere, material, Math.max(1, joints));
  const a = new THREE.Vector3();
  const b = new THREE.Vector3();
  const dir = new THREE.Vector3();
  const q = new THREE.Quaternion();
  const s = new THREE.Vector3();
  const m = new THREE.Matrix4();
  let t = 0;
  let j = 0;
  for (const p of placements) {
    const r = p.d / 2;
    for (const flat of p.bars) {
      const n = flat.length / 3;
      for (let k = 0; k + 1 < n; ++k) {
        a.fromArray(flat, 3 * k);
        b.fromArray(flat, 3 * k + 3);
        dir.subVectors(b, a);
        const length = dir.length();
        if (length === 0) continue;
        q.setFromUnitVectors(up, dir.divideScalar(length));
        m.compose(a.add(b).multiplyScalar(0.5), q, s.set(r, length, r));
        tubes.setMatrixAt(t++, m);
      }
      for (let k = 1; k + 1 < n; ++k) {
        m.makeScale(r, r, r).setPosition(flat[3 * k], flat[3 * k + 1], flat[3 * k + 2]);
        bends.setMatrixAt(j++, m);
      }
    }
  }
  tubes.count = t;
  bends.count = j;
  for (const mesh of [tubes, bends]) {
    mesh.instanceMatrix.needsUpdate = true;
    mesh.computeBoundingBox();
    mesh.computeBoundingSphere();
    group.add(mesh);
  }
  return group;
}

export function disposeBars(group) {
  for (const mesh of group.children) mesh.dispose();
}
