// The 3D view: the model's elements, the preview cage and the created bars.
// The model is in millimetres with z up, as the model file has it. The view
// renders only when something changed.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { BarSet } from './bars.js';

const sameSet = (set, ids) => set instanceof Set && set.size === ids.length && ids.every((id) => set.has(id));

const COLOURS = {
  column: 0xb9bec6,
  wall: 0xd6d3cc,
  opening: 0x8ec5e8,
  solid: 0xc9c9c9,
  hover: 0x60a5fa,
  picked: 0x3b82f6,
  reinforced: 0xc08a74,
};
// Where the view looks from (towards the camera), z up.
const DIRECTIONS = {
  home: new THREE.Vector3(-0.55, -1.25, 0.75),
  plan: new THREE.Vector3(0, -0.0001, 1),
  front: new THREE.Vector3(0, -1, 0),
  side: new THREE.Vector3(1, 0, 0),
};
const DRAWN = new Set(['column', 'wall', 'opening', 'solid']);
const MAX_LABELS = 200;

// A prism from its 8 vertices: the bottom face, then the top face, each
// corner above the one four places before.
function prismGeometry(v) {
  const g = new THREE.BufferGeometry();
  g.setAttribute('position', new THREE.Float32BufferAttribute(v, 3));
  const faces = [
    [0, 2, 1], [0, 3, 2], // bottom
    [4, 5, 6], [4, 6, 7], // top
  ];
  for (let i = 0; i < 4; ++i) {
    const a = i, b = (i + 1) % 4;
    faces.push([a, b, b + 4], [a, b + 4, a + 4]);
  }
  g.setIndex(faces.flat());
  g.computeVertexNormals();
  g.computeBoundingBox();
  g.computeBoundingSphere();
  return g;
}

export class View {
  constructor(canvas, labels, { onPick }) {
    this.canvas = canvas;
    this.labels = labels;
    this.onPick = onPick;
    this.renderer = new THREE.WebGLRenderer({ canvas, antialias: true });
    this.renderer.setPixelRatio(Math.min(window.devicePixelRatio, 2));
    this.scene = new THREE.Scene();
    this.scene.background = new THREE.Color(0xeef1f5);
    this.camera = new THREE.PerspectiveCamera(40, 1, 10, 1e6);
    this.camera.up.set(0, 0, 1);
    this.controls = new OrbitControls(this.camera, canvas);
    this.controls.enableDamping = false;
    // The wheel zooms towards what is under the cursor, and the view never
    // goes below the ground it orbits.
    this.controls.zoomToCursor = true;
    this.controls.maxPolarAngle = Math.PI / 2;
    this.controls.addEventListener('change', () => this.requestRender());
    this.scene.add(new THREE.HemisphereLight(0xffffff, 0x8d8d8d, 1.6));
    const sun = new THREE.DirectionalLight(0xffffff, 1.6);
    sun.position.set(-0.5, -1, 1.6);
    this.scene.add(sun);
    this.elements = new THREE.Group();
    this.scene.add(this.elements);
    this.previewMaterial = new THREE.MeshLambertMaterial({
      color: 0xf59e0b, transparent: true, opacity: 0.6, depthWrite: false,
    });
    // A cage its checks block: grey, as a cage Draw would not create.
    this.blockedMaterial = new THREE.MeshLambertMaterial({
      color: 0x9ca3af, transparent: true, opacity: 0.45, depthWrite: false,
    });
    this.createdMaterial = new THREE.MeshLambertMaterial({ color: 0x9a3b26 });
    this.preview = new BarSet(this.previewMaterial);
    this.created = new BarSet(this.createdMaterial);
    this.scene.add(this.preview.group, this.created.group);
    // The shaders of the bars are compiled now rather than at the first
    // preview, which would then wait for them.
    for (const material of [this.previewMaterial, this.blockedMaterial, this.createdMaterial]) {
      const warm = new THREE.InstancedMesh(new THREE.CylinderGeometry(1, 1, 1, 3), material, 1);
      this.scene.add(warm);
      this.renderer.compile(this.scene, this.camera);
      this.scene.remove(warm);
    }
    this.pickable = [];
    this.byId = new Map();
    this.picked = new Set();
    this.reinforced = new Set();
    this.faceSpans = [];
    this.hovered = null;
    this.raycaster = new THREE.Raycaster();
    this.pending = false;
    this.renders = 0;
    this.bindPointer();
    new ResizeObserver(() => this.resize()).observe(canvas.parentElement);
    this.resize();
  }

  setModel(model) {
    const box = new THREE.Box3();
    for (const e of model.elements) {
      // A body is one prism of 8 vertices, a wall's followed by one per
      // opening (the openings are drawn as elements of their own).
      if (!DRAWN.has(e.kind) || e.vertices.length < 24 || e.vertices.length % 24 !== 0) continue;
      const geometry = prismGeometry(e.vertices.slice(0, 24));
      const material = new THREE.MeshStandardMaterial({
        color: COLOURS[e.kind], roughness: 0.9, transparent: true,
        opacity: e.kind === 'column' ? 0.3 : 0.22, depthWrite: false, side: THREE.DoubleSide,
      });
      const mesh = new THREE.Mesh(geometry, material);
      mesh.userData = { id: e.id, kind: e.kind };
      const edges = new THREE.LineSegments(
        new THREE.EdgesGeometry(geometry),
        new THREE.LineBasicMaterial({ color: e.kind === 'column' ? 0x4b5563 : 0x9ca3af, transparent: true, opacity: 0.8 }));
      mesh.add(edges);
      this.elements.add(mesh);
      box.union(geometry.boundingBox);
      if (e.kind === 'column') {
        this.pickable.push(mesh);
        this.byId.set(e.id, mesh);
      }
    }
    this.modelBox = box;
    const size = box.getSize(new THREE.Vector3());
    const grid = new THREE.GridHelper(Math.max(size.x, size.y) * 1.6 + 2000, 40, 0xc3c8cf, 0xdadee3);
    grid.rotation.x = Math.PI / 2;
    grid.position.set((box.min.x + box.max.x) / 2, (box.min.y + box.max.y) / 2, box.min.z - 1);
    this.scene.add(grid);
    this.makeLabels();
    this.frame(box, DIRECTIONS.home.clone());
  }

  // The standard views: home (the first one, the whole model), plan and the
  // two elevations of what is picked, or of the whole model.
  look(name, ids = []) {
    if (name === 'home') {
      this.frame(this.modelBox, DIRECTIONS.home.clone());
      return;
    }
    this.frame(this.boxOf(ids), DIRECTIONS[name].clone());
  }

  boxOf(ids) {
    const box = new THREE.Box3();
    for (const id of ids) {
      const mesh = this.byId.get(id);
      if (mesh) box.union(mesh.geometry.boundingBox);
    }
    // Starter bars reach out of the column into the one above.
    if (!box.isEmpty() && !this.preview.box.isEmpty()) box.union(this.preview.box);
    return box.isEmpty() ? this.modelBox : box;
  }

  // The viewing direction, for tests: from the target towards the camera.
  direction() {
    return this.camera.position.clone().sub(this.controls.target).normalize().toArray();
  }

  makeLabels() {
    this.labelSpans = [];
    this.labels.textContent = '';
    // The face markers went with the labels: drawn again with the next faces.
    this.faceSpans = [];
    this.facesKey = null;
    if (this.byId.size > MAX_LABELS) return;
    for (const [id, mesh] of this.byId) {
      const span = document.createElement('span');
      span.textContent = id;
      span.dataset.column = id;
      const b = mesh.geometry.boundingBox;
      const anchor = new THREE.Vector3((b.min.x + b.max.x) / 2, (b.min.y + b.max.y) / 2, b.max.z);
      this.labels.append(span);
      this.labelSpans.push({ id, span, anchor });
    }
  }

  // Points the camera at a box from a direction (towards the camera), near
  // enough that all eight corners are just in view.
  frame(box, direction) {
    const centre = box.getCenter(new THREE.Vector3());
    const back = (direction || this.camera.position.clone().sub(this.controls.target)).normalize();
    const right = new THREE.Vector3().crossVectors(this.camera.up, back).normalize();
    const up = new THREE.Vector3().crossVectors(back, right);
    const tanV = Math.tan(THREE.MathUtils.degToRad(this.camera.fov / 2));
    const tanH = tanV * this.camera.aspect;
    let distance = 1000;
    for (let i = 0; i < 8; ++i) {
      const corner = new THREE.Vector3(i & 1 ? box.max.x : box.min.x, i & 2 ? box.max.y : box.min.y, i & 4 ? box.max.z : box.min.z).sub(centre);
      const toward = corner.dot(back);
      distance = Math.max(distance, toward + Math.abs(corner.dot(right)) / tanH, toward + Math.abs(corner.dot(up)) / tanV);
    }
    distance *= 1.08;
    this.controls.target.copy(centre);
    this.camera.position.copy(centre).addScaledVector(back, distance);
    this.camera.near = Math.max(distance / 500, 1);
    this.camera.far = distance * 50;
    this.camera.updateProjectionMatrix();
    this.controls.update();
    this.requestRender();
  }

  // Frames the given columns and the preview cage (or the whole model),
  // keeping the viewing direction.
  focus(ids) {
    this.frame(this.boxOf(ids));
  }

  setPicked(ids) {
    if (sameSet(this.picked, ids)) return;
    this.picked = new Set(ids);
    this.recolour();
  }

  // Columns that have a cage: tinted, and their labels marked.
  setReinforced(ids) {
    if (sameSet(this.reinforced, ids)) return;
    this.reinforced = new Set(ids);
    this.recolour();
  }

  recolour() {
    for (const [id, mesh] of this.byId) {
      const hovered = mesh === this.hovered;
      const colour = hovered ? COLOURS.hover : this.picked.has(id) ? COLOURS.picked
        : this.reinforced.has(id) ? COLOURS.reinforced : COLOURS.column;
      mesh.material.color.setHex(colour);
      mesh.material.opacity = hovered ? 0.4 : this.picked.has(id) ? 0.2 : this.reinforced.has(id) ? 0.35 : 0.3;
    }
    for (const l of this.labelSpans || []) {
      l.span.classList.toggle('picked', this.picked.has(l.id));
      l.span.classList.toggle('reinforced', this.reinforced.has(l.id) && !this.picked.has(l.id));
    }
    this.requestRender();
  }

  // The faces of the picked columns as the cage names them: an X or a Y at
  // the middle of each side, a little outside it.
  setFaces(faces) {
    // The same markers (an edit of the cage): the spans stay.
    const key = JSON.stringify(faces || []);
    if (key === this.facesKey) return;
    this.facesKey = key;
    for (const f of this.faceSpans) f.span.remove();
    this.faceSpans = [];
    for (const column of faces || []) {
      const z = (column.bottom + column.top) / 2;
      const n = column.sides.length;
      let cx = 0, cy = 0;
      for (const side of column.sides) {
        cx += side.from[0] / n;
        cy += side.from[1] / n;
      }
      for (const side of column.sides) {
        const mx = (side.from[0] + side.to[0]) / 2, my = (side.from[1] + side.to[1]) / 2;
        const out = new THREE.Vector2(mx - cx, my - cy);
        const reach = out.length();
        if (reach > 0) out.multiplyScalar((reach + 60) / reach);
        const span = document.createElement('span');
        span.className = 'face';
        span.textContent = side.face;
        span.dataset.column = column.column;
        span.title = `${side.face} face of ${column.column}`;
        this.labels.append(span);
        this.faceSpans.push({ span, anchor: new THREE.Vector3(cx + out.x, cy + out.y, z) });
      }
    }
    this.requestRender();
  }

  // The preview cage; `blocked` draws it grey, as a cage Draw would not create.
  setPreview(placements, blocked = false) {
    this.preview.set(placements);
    this.setPreviewBlocked(blocked);
  }

  setPreviewBlocked(blocked) {
    this.preview.setMaterial(blocked ? this.blockedMaterial : this.previewMaterial);
    this.previewBlocked = blocked;
    this.requestRender();
  }

  setCreated(cages) {
    this.created.set(cages.flatMap((c) => c.placements));
    this.requestRender();
  }

  barCount(set) {
    return set.barCount;
  }

  bindPointer() {
    let down = null;
    this.canvas.addEventListener('pointerdown', (e) => { down = { x: e.clientX, y: e.clientY }; });
    this.canvas.addEventListener('pointerup', (e) => {
      // A click, not the end of an orbit.
      if (e.button !== 0 || !down || Math.hypot(e.clientX - down.x, e.clientY - down.y) > 4) return;
      const hit = this.hit(e);
      if (hit) this.onPick(hit.userData.id);
    });
    this.canvas.addEventListener('pointermove', (e) => {
      if (e.buttons) return;
      const hit = this.hit(e);
      if (hit !== this.hovered) {
        this.hovered = hit;
        this.canvas.style.cursor = hit ? 'pointer' : '';
        this.recolour();
      }
    });
  }

  hit(e) {
    const r = this.canvas.getBoundingClientRect();
    const ndc = new THREE.Vector2(((e.clientX - r.left) / r.width) * 2 - 1, -((e.clientY - r.top) / r.height) * 2 + 1);
    this.raycaster.setFromCamera(ndc, this.camera);
    const hits = this.raycaster.intersectObjects(this.pickable, false);
    return hits.length ? hits[0].object : null;
  }

  // The screen position of a column's label anchor, for tests and labels.
  screenPoint(id) {
    const mesh = this.byId.get(id);
    if (!mesh) return null;
    const b = mesh.geometry.boundingBox;
    const p = new THREE.Vector3((b.min.x + b.max.x) / 2, (b.min.y + b.max.y) / 2, (b.min.z + b.max.z) / 2);
    return this.project(p);
  }

  project(p) {
    const v = p.clone().project(this.camera);
    const r = this.canvas.getBoundingClientRect();
    return { x: r.left + ((v.x + 1) / 2) * r.width, y: r.top + ((1 - v.y) / 2) * r.height, visible: v.z < 1 };
  }

  resize() {
    const parent = this.canvas.parentElement;
    const w = parent.clientWidth, h = parent.clientHeight;
    if (!w || !h) return;
    this.renderer.setSize(w, h, false);
    this.camera.aspect = w / h;
    this.camera.updateProjectionMatrix();
    this.requestRender();
  }

  requestRender() {
    if (this.pending) return;
    this.pending = true;
    requestAnimationFrame(() => {
      if (this.pending) this.render();
    });
  }

  // Renders now; returns when the frame's commands are issued. The frame
  // that shows it is the next one the browser makes.
  render() {
    this.pending = false;
    this.renderer.render(this.scene, this.camera);
    this.renders += 1;
    const r = this.canvas.getBoundingClientRect();
    for (const l of [...(this.labelSpans || []), ...this.faceSpans]) {
      const p = this.project(l.anchor);
      l.span.style.display = p.visible ? '' : 'none';
      l.span.style.left = `${p.x - r.left}px`;
      l.span.style.top = `${p.y - r.top - (l.id ? 4 : 0)}px`;
    }
  }
}
