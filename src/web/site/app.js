// The web app's page. It runs the editor (the core compiled to WebAssembly, with the machine
// simulated in the page), builds the window from the layout the core gives, draws what the core
// tells it and forwards the user's events; it holds the browser's serial port for the core's
// transfers and the file pickers. Nothing here decides what an event does: the core does.
import createKelvara from './kelvara_web.mjs';

let app = null;
// A call into the core. One made while the core is busy (an event the core's own drawing
// raised) waits until it has returned; one made before the core has started, until it has.
let inCore = false;
const early = [];
function call(name, ...args) {
  if (!app) {
    early.push([name, args]);
    return;
  }
  if (inCore) {
    queueMicrotask(() => call(name, ...args));
    return;
  }
  inCore = true;
  try {
    app[name](...args);
  } finally {
    inCore = false;
  }
}

const serialState = !window.isSecureContext
  ? 'insecure'
  : 'serial' in navigator ? '' : 'unsupported';

let layout = null;
const controls = new Map();  // layout name -> element
const cells = [[], []];      // per grid, its cell buttons
const radios = new Map();    // layout name -> radio input
let texts = {};
let stopArmed = false;
let examples = [];

// ---- Building the window ---------------------------------------------------------------------

function el(tag, attributes = {}, parent = null) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (value === undefined || value === null || value === '') continue;
    if (name === 'text') node.textContent = value;
    else if (name === 'class') node.className = value;
    else node.setAttribute(name, value);
  }
  if (parent) parent.appendChild(node);
  return node;
}

function place(node, box) {
  node.style.left = `${box.x}px`;
  node.style.top = `${box.y}px`;
  node.style.width = `${box.width}px`;
  node.style.height = `${box.height}px`;
  node.style.fontSize = `${box.font.px}px`;
  if (box.font.bold) node.style.fontWeight = 'bold';
}

// A colour of the window as the desktop's style lightens or darkens it for a bevel (by the
// value of its HSV form).
function shade(hex, factor) {
  let [r, g, b] = [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16));
  const max = Math.max(r, g, b);
  const min = Math.min(r, g, b);
  let v = max;
  let s = max === 0 ? 0 : Math.round(((max - min) * 255) / max);
  const h = max === min ? -1 : hueOf(r, g, b, max, min);
  v = Math.round(v * factor);
  if (v > 255) {
    s = Math.max(0, s - (v - 255));
    v = 255;
  }
  [r, g, b] = fromHsv(h, s, v);
  return `rgb(${r}, ${g}, ${b})`;
}
function hueOf(r, g, b, max, min) {
  const d = max - min;
  let h = max === r ? (g - b) / d : max === g ? 2 + (b - r) / d : 4 + (r - g) / d;
  h *= 60;
  return h < 0 ? h + 360 : h;
}
function fromHsv(h, s, v) {
  if (h < 0 || s === 0) return [v, v, v];
  const sector = Math.floor(h / 60) % 6;
  const f = h / 60 - Math.floor(h / 60);
  const p = Math.round((v * (255 - s)) / 255);
  const q = Math.round((v * (255 - (s * f))) / 255);
  const t = Math.round((v * (255 - (s * (1 - f)))) / 255);
  return [[v, t, p], [q, v, p], [p, v, t], [p, q, v], [t, p, v], [v, p, q]][sector];
}

function setFace(node, face) {
  node.style.setProperty('--face', face);
  node.style.setProperty('--light', shade(face, 1.5));
  node.style.setProperty('--dark', shade(face, 1 / 1.8));
}

function describe(node, name, description) {
  if (name) node.setAttribute('aria-label', name);
  if (description) node.setAttribute('aria-description', description);
}

function build(given) {
  layout = given;
  texts = given.texts;
  const desk = document.getElementById('desk');
  const win = el('div', { id: 'window' }, desk);
  buildMenus(win);
  const client = el('div', { id: 'client' }, win);
  client.style.backgroundColor = given.background;
  client.style.backgroundImage = 'url("background.png")';
  for (const control of given.controls) {
    const parent = control.parent ? controls.get(control.parent) : client;
    const node = buildControl(control, parent);
    controls.set(control.name, node);
    for (const grid of given.grids) {
      if (grid.frame === control.name) buildGrid(grid, node);
    }
  }
  buildMachine(desk);
  fit();
}

function buildControl(control, parent) {
  let node;
  const clickable = (target) => {
    target.addEventListener('click', () => call('click', control.name, -1));
  };
  switch (control.kind) {
    case 'frame':
      node = el('div', { class: 'control frame', title: control.tooltip }, parent);
      el('div', { class: 'rule' }, node);
      el('span', { class: 'caption', text: control.caption }, node);
      node.style.backgroundColor = control.face;
      node.setAttribute('role', 'group');
      node.setAttribute('aria-label', control.caption);
      break;
    case 'panel':
      node = el('div', { class: 'control' }, parent);
      node.style.backgroundColor = control.face;
      break;
    case 'button':
      node = el('button', { class: 'control', type: 'button', title: control.tooltip,
        text: control.caption }, parent);
      if (control.face) setFace(node, control.face);
      clickable(node);
      break;
    case 'option': {
      node = el('label', { class: 'control option', title: control.tooltip }, parent);
      const group = control.name.slice(0, control.name.indexOf('('));
      const input = el('input', { type: 'radio', name: group }, node);
      el('span', { text: control.caption }, node);
      node.style.backgroundColor = control.face || '#efefef';
      // A click, also by the arrow keys, runs the handler also on the selected option.
      input.addEventListener('click', () => call('click', control.name, -1));
      describe(input, control.accessibleName, control.accessibleDescription);
      radios.set(control.name, input);
      break;
    }
    case 'text': {
      node = el('input', { class: 'control', type: 'text', title: control.tooltip, value: control.caption,
        autocomplete: 'off', inputmode: 'numeric' }, parent);
      // Every change of the text, but not the parts an input method is still composing.
      node.addEventListener('input', (event) => {
        if (!event.isComposing) call('plateText', node.value);
      });
      node.addEventListener('compositionend', () => call('plateText', node.value));
      break;
    }
    case 'label':
      node = el('div', { class: 'control label', title: control.tooltip, text: control.caption }, parent);
      node.style.backgroundColor = control.face;
      break;
    case 'status':
      node = el('div', { class: 'control status' }, parent);
      node.style.backgroundColor = control.face;
      describe(node, '', control.accessibleDescription);
      break;
    case 'picture':
      node = el('img', { class: 'control', src: 'logo.png', alt: control.accessibleName }, parent);
      break;
    default:
      node = el('div', { class: 'control' }, parent);
  }
  place(node, control);
  node.dataset.name = control.name;
  if (control.kind !== 'option') describe(node, control.accessibleName, control.accessibleDescription);
  return node;
}

// A grid of cells is one tab stop: the arrow keys move within it, as the core says.
const gridKeys = { ArrowLeft: 0, ArrowRight: 1, ArrowUp: 2, ArrowDown: 3, Home: 4, End: 5 };
function buildGrid(shape, frame) {
  const grid = el('div', { class: 'grid', role: 'grid' }, frame);
  describe(grid, shape.accessibleName, shape.accessibleDescription);
  for (let row = 0; row < shape.rows; ++row) {
    const line = el('div', { role: 'row' }, grid);
    line.style.display = 'contents';
    for (let column = 0; column < shape.columns; ++column) {
      const index = row * shape.columns + column;
      const cell = el('button', { class: 'cell', type: 'button', role: 'gridcell', text: '*',
        tabindex: index === 0 ? '0' : '-1' }, line);
      describe(cell, shape.cellNames[index], shape.cellDescription);
      cell.dataset.name = shape.name;
      cell.dataset.index = index;
      cell.style.left = `${shape.x + shape.pitch * column}px`;
      cell.style.top = `${shape.y + shape.pitch * row}px`;
      cell.style.width = cell.style.height = `${shape.side}px`;
      cell.style.fontSize = `${shape.font.px}px`;
      cell.style.fontWeight = shape.font.bold ? 'bold' : 'normal';
      // A mouse click leaves the keyboard focus where it was, as on the desktop.
      cell.addEventListener('mousedown', (event) => event.preventDefault());
      cell.addEventListener('click', () => call('click', shape.name, index));
      cell.addEventListener('focus', () => setCurrentCell(shape.grid, index));
      cell.addEventListener('keydown', (event) => {
        if (event.key === 'Enter' && event.repeat) {
          event.preventDefault();  // one click a press
        } else if (event.key in gridKeys) {
          event.preventDefault();
          call('gridKey', shape.grid, index, gridKeys[event.key], event.ctrlKey);
        }
      });
      cells[shape.grid].push(cell);
    }
  }
}

function setCurrentCell(grid, index) {
  cells[grid].forEach((cell, i) => cell.setAttribute('tabindex', i === index ? '0' : '-1'));
}

// ---- Menus -----------------------------------------------------------------------------------

const menus = [];  // { title, panel, items() }
let openMenu = null;

function withMnemonic(node, caption) {
  const at = caption.indexOf('&');
  if (at < 0) {
    node.textContent = caption;
    return '';
  }
  node.append(caption.slice(0, at));
  el('span', { class: 'mnemonic', text: caption[at + 1] }, node);
  node.append(caption.slice(at + 2));
  return caption[at + 1].toLowerCase();
}

function buildMenus(win) {
  const bar = el('div', { id: 'menubar', role: 'menubar' }, win);
  for (const entry of layout.menus) {
    const title = el('button', { class: 'menu-title', type: 'button', role: 'menuitem',
      'aria-haspopup': 'true', 'aria-expanded': 'false' }, bar);
    const key = withMnemonic(title, entry.caption);
    title.dataset.menu = entry.name;
    const panel = el('div', { class: 'menu', role: 'menu' }, win);
    panel.hidden = true;
    const menu = { entry, title, panel, key };
    menus.push(menu);
    title.addEventListener('click', () => (openMenu === menu ? closeMenus() : showMenu(menu)));
    title.addEventListener('mouseenter', () => { if (openMenu && openMenu !== menu) showMenu(menu); });
    if (entry.name !== 'MenuComPort') fillMenu(menu, entry.items.map((item) => ({ ...item, enabled: true })));
  }
  document.addEventListener('mousedown', (event) => {
    if (openMenu && !openMenu.panel.contains(event.target) && !openMenu.title.contains(event.target)) {
      closeMenus();
    }
  });
}

function fillMenu(menu, items) {
  menu.panel.replaceChildren();
  for (const item of items) {
    if (!item.name) {
      el('hr', { role: 'separator' }, menu.panel);
      continue;
    }
    const radio = item.checked !== undefined;
    const entry = el('button', { class: 'item', type: 'button',
      role: radio ? 'menuitemradio' : 'menuitem',
      'aria-checked': radio ? String(item.checked) : undefined,
      'aria-disabled': item.enabled ? undefined : 'true' }, menu.panel);
    entry.dataset.key = withMnemonic(entry, item.caption);
    entry.dataset.name = item.name;
    entry.addEventListener('click', () => {
      if (entry.getAttribute('aria-disabled') === 'true') return;
      closeMenus();
      if (menu.entry.name === 'MenuComPort') portItem(item.name);
      else call('click', item.name, -1);
    });
  }
}

function showMenu(menu) {
  closeMenus();
  openMenu = menu;
  menu.title.setAttribute('aria-expanded', 'true');
  menu.panel.hidden = false;
  menu.panel.style.left = `${menu.title.offsetLeft}px`;
  menu.panel.style.top = '23px';
  menu.panel.querySelector('.item')?.focus();
}

function closeMenus() {
  if (!openMenu) return;
  openMenu.title.setAttribute('aria-expanded', 'false');
  openMenu.panel.hidden = true;
  openMenu = null;
}

function menuKey(event) {
  if (!openMenu) return false;
  const items = [...openMenu.panel.querySelectorAll('.item')];
  const at = items.indexOf(document.activeElement);
  const index = menus.indexOf(openMenu);
  if (event.key === 'Escape') {
    const title = openMenu.title;
    closeMenus();
    title.focus();
  } else if (event.key === 'ArrowDown' || event.key === 'ArrowUp') {
    const step = event.key === 'ArrowDown' ? 1 : items.length - 1;
    items[(at + step) % items.length]?.focus();
  } else if (event.key === 'ArrowRight' || event.key === 'ArrowLeft') {
    const step = event.key === 'ArrowRight' ? 1 : menus.length - 1;
    showMenu(menus[(index + step) % menus.length]);
  } else {
    const item = items.find((entry) => entry.dataset.key === event.key.toLowerCase());
    if (!item) return false;
    item.click();
  }
  event.preventDefault();
  return true;
}

// ---- What the core says ----------------------------------------------------------------------

const live = document.getElementById('live');
const boxes = [];

function apply(command) {
  switch (command.cmd) {
    case 'cell': {
      const cell = cells[command.grid][command.index];
      cell.textContent = command.caption;
      setFace(cell, command.face);
      cell.setAttribute('aria-label', command.name);
      break;
    }
    case 'plateLabel': {
      const label = controls.get('LabelPlate');
      label.textContent = command.text;
      label.setAttribute('aria-label', command.name);
      controls.get('TextPlateNum').setAttribute('aria-description', command.description);
      if (command.announce) announce(command.name);
      break;
    }
    case 'plateNumber':
      controls.get('TextPlateNum').value = command.text;
      break;
    case 'select':
      radios.get(command.name).checked = true;
      break;
    case 'enable':
      for (const name of command.names) enable(name, command.enabled);
      break;
    case 'status':
      controls.get('LabelMes').textContent = command.text;
      if (command.announce) announce(command.text);
      break;
    case 'box':
      boxes.push(command);
      if (boxes.length === 1) showBox();
      break;
    case 'title':
      document.title = command.text;
      break;
    case 'chooseOpen':
      chooseOpen(command);
      break;
    case 'chooseSave':
      chooseSave(command);
      break;
    case 'write':
      writeFile(command.name, command.text);
      break;
    case 'help':
      window.open('readme.html', '_blank', 'noopener');
      break;
    case 'exit':
      exit();
      break;
    case 'portMenu':
      fillMenu(menus.find((menu) => menu.entry.name === 'MenuComPort'), command.items);
      break;
    case 'machine':
      drawMachine(command);
      break;
    case 'focusCell':
      cells[command.grid][command.index].focus();
      break;
    case 'serialOpen':
      serial.open();
      break;
    case 'serialWrite':
      serial.write(command.text);
      break;
    case 'serialClose':
      serial.close();
      break;
    default:
      break;
  }
}

// A screen reader speaks what comes into the live region, once each time; what comes together
// (a message and the plate now shown) is said together.
const toAnnounce = [];
function announce(text) {
  if (toAnnounce.push(text) > 1) return;
  live.textContent = '';
  setTimeout(() => { live.textContent = toAnnounce.splice(0).join(' '); }, 0);
}

let focusToReturn = null;
function enable(name, enabled) {
  if (name === 'StopKey') {
    stopArmed = enabled;
    return;
  }
  if (name === 'CommandIf') {
    for (const cell of cells[1]) cell.disabled = !enabled;
    return;
  }
  const radio = radios.get(name);
  if (radio) {
    radio.disabled = !enabled;
    controls.get(name).classList.toggle('disabled', !enabled);
    return;
  }
  const control = controls.get(name);
  if (control) {
    // A button disabled while it has the focus (a transfer's own) gets it back when enabled
    // again, unless the user has moved it meanwhile: the next Space sends again.
    if (!enabled && document.activeElement === control) focusToReturn = control;
    control.disabled = !enabled;
    if (enabled && focusToReturn === control) {
      focusToReturn = null;
      if (!document.activeElement || document.activeElement === document.body) control.focus();
    }
    return;
  }
  // A menu item.
  for (const item of document.querySelectorAll(`.menu .item[data-name="${name}"]`)) {
    if (enabled) item.removeAttribute('aria-disabled');
    else item.setAttribute('aria-disabled', 'true');
  }
}

// One box at a time, modal, closed with OK (or Esc); the editor goes on meanwhile.
function showBox() {
  const box = boxes[0];
  const dialog = el('dialog', { 'aria-labelledby': 'box-title' }, document.body);
  el('h1', { id: 'box-title', text: box.title }, dialog);
  const body = el('div', { class: 'body' }, dialog);
  if (box.exclamation) el('div', { class: 'icon', 'aria-hidden': 'true', text: '⚠' }, body);
  const words = el('div', {}, body);
  el('div', { class: 'text', text: box.text }, words);
  if (box.details) el('div', { class: 'details', text: box.details }, words);
  const buttons = el('div', { class: 'buttons' }, dialog);
  const ok = el('button', { type: 'button', text: texts.ok }, buttons);
  ok.addEventListener('click', () => dialog.close());
  dialog.addEventListener('close', () => {
    dialog.remove();
    boxes.shift();
    if (boxes.length > 0) showBox();
  });
  dialog.showModal();
  ok.focus();
}

// ---- Files -----------------------------------------------------------------------------------

const handles = new Map();  // file name -> FileSystemFileHandle it came from or went to

function pickerTypes(filters) {
  return filters
    .filter((filter) => !filter.patterns.includes('*'))
    .map((filter) => ({
      description: filter.caption,
      accept: { 'text/plain': filter.patterns.map((pattern) => pattern.replace('*', '')) },
    }));
}

function baseName(path) {
  return path.slice(path.lastIndexOf('/') + 1);
}

// The open dialog: the examples that come with the editor, and the computer's files.
function chooseOpen(request) {
  const dialog = el('dialog', { 'aria-labelledby': 'open-title' }, document.body);
  el('h1', { id: 'open-title', text: request.title }, dialog);
  const list = el('div', { class: 'list' }, dialog);
  el('h2', { text: texts.examples }, list);
  const ul = el('ul', {}, list);
  let answered = false;
  const answer = (name, bytes) => {
    answered = true;
    dialog.close();
    if (name === null) call('openCancelled');
    else call('openChosen', name, bytes);
  };
  for (const name of examples) {
    const item = el('button', { type: 'button', text: name }, el('li', {}, ul));
    item.addEventListener('click', async () => {
      const response = await fetch(`examples/${encodeURIComponent(name)}`);
      answer(name, new Uint8Array(await response.arrayBuffer()));
    });
  }
  const buttons = el('div', { class: 'buttons' }, dialog);
  const pick = el('button', { type: 'button', text: texts.chooseFile }, buttons);
  const cancel = el('button', { type: 'button', text: texts.cancel }, buttons);
  pick.addEventListener('click', async () => {
    try {
      let file;
      if (window.showOpenFilePicker) {
        const [handle] = await window.showOpenFilePicker({ types: pickerTypes(request.filters) });
        file = await handle.getFile();
        handles.set(file.name, handle);
      } else {
        file = await pickWithInput();
        if (!file) return;
      }
      answer(file.name, new Uint8Array(await file.arrayBuffer()));
    } catch (error) {
      if (error.name !== 'AbortError') answer(null);
    }
  });
  cancel.addEventListener('click', () => answer(null));
  dialog.addEventListener('close', () => {
    dialog.remove();
    if (!answered) call('openCancelled');
  });
  dialog.showModal();
}

function pickWithInput() {
  return new Promise((resolve) => {
    const input = el('input', { type: 'file' });
    input.addEventListener('change', () => resolve(input.files[0] || null));
    input.addEventListener('cancel', () => resolve(null));
    input.click();
  });
}

async function chooseSave(request) {
  const suggested = baseName(request.initial);
  if (window.showSaveFilePicker) {
    try {
      const handle = await window.showSaveFilePicker({
        suggestedName: suggested || undefined, types: pickerTypes(request.filters),
      });
      handles.set(handle.name, handle);
      call('saveChosen', handle.name);
    } catch (error) {
      call('saveCancelled');
    }
    return;
  }
  // No file system access: the name is asked here and the file downloaded under it.
  const dialog = el('dialog', { 'aria-labelledby': 'save-title' }, document.body);
  el('h1', { id: 'save-title', text: request.title }, dialog);
  const body = el('div', { class: 'list' }, dialog);
  const label = el('label', { text: texts.saveName }, body);
  const name = el('input', { type: 'text', value: suggested }, label);
  const buttons = el('div', { class: 'buttons' }, dialog);
  const save = el('button', { type: 'button', text: texts.save }, buttons);
  const cancel = el('button', { type: 'button', text: texts.cancel }, buttons);
  let answer = null;
  save.addEventListener('click', () => { answer = name.value; dialog.close(); });
  cancel.addEventListener('click', () => dialog.close());
  dialog.addEventListener('close', () => {
    dialog.remove();
    if (answer) call('saveChosen', answer);
    else call('saveCancelled');
  });
  dialog.showModal();
  name.focus();
}

async function writeFile(name, text) {
  const handle = handles.get(name);
  if (!handle) {
    const link = el('a', { href: URL.createObjectURL(new Blob([text])), download: name });
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    return;
  }
  try {
    const writable = await handle.createWritable();
    await writable.write(text);
    await writable.close();
  } catch (error) {
    call('saveFailed', name);
  }
}

// ---- The serial port -------------------------------------------------------------------------

// The port the user chose; opened for each transfer as the core asks, at 9600 baud, 8 data bits,
// no parity, 1 stop bit, no flow control, RTS low. Its reads and writes are relayed to the core.
const serial = {
  port: null,
  reader: null,
  writer: null,
  wanted: false,
  queue: Promise.resolve(),
  then(task) {
    this.queue = this.queue.then(task).catch(() => {});
  },
  open() {
    this.wanted = true;
    this.then(() => this.opening());
  },
  async opening() {
    try {
      if (!this.port) this.port = (await remembered()) || (await navigator.serial.requestPort());
      await this.port.open({ baudRate: 9600, dataBits: 8, parity: 'none', stopBits: 1,
        flowControl: 'none' });
      try {
        await this.port.setSignals({ requestToSend: false });
      } catch (error) {
        // A port without modem lines (a pseudo-terminal) refuses it: no line to lower.
      }
      if (!this.wanted) {
        await this.port.close();
        return;
      }
      this.writer = this.port.writable.getWriter();
      this.read(this.port);
      const info = this.port.getInfo();
      remember(info);
      call('serialOpened', info.usbVendorId ?? -1, info.usbProductId ?? -1);
    } catch (error) {
      if (error.name === 'NotFoundError') call('serialNotChosen');
      else call('serialOpenFailed', error.name, error.message);
    }
  },
  async read(port) {
    while (this.wanted && port.readable) {
      const reader = port.readable.getReader();
      this.reader = reader;
      try {
        for (;;) {
          const { value, done } = await reader.read();
          if (done) break;
          call('serialData', value);
        }
      } catch (error) {
        // A framing, parity, break or overrun error leaves the port readable again.
        call('serialReadFailed', error.name);
        if (error.name === 'NetworkError') this.wanted = false;
      } finally {
        reader.releaseLock();
        this.reader = null;
      }
    }
  },
  // What the core hands over in one go (the two characters of a unit) goes out in one write.
  out: '',
  write(text) {
    if (this.out === '') {
      queueMicrotask(() => {
        const text = this.out;
        this.out = '';
        this.writer?.write(new TextEncoder().encode(text)).catch(() => {});
      });
    }
    this.out += text;
  },
  close() {
    this.wanted = false;
    this.then(async () => {
      try {
        await this.reader?.cancel();
      } catch (error) { /* already gone */ }
      try {
        await this.writer?.close();
      } catch (error) { /* already gone */ }
      this.writer = null;
      try {
        await this.port?.close();
      } catch (error) { /* not open */ }
    });
  },
};

// The port chosen on an earlier visit (the browser remembers the permission), the one of the
// same USB device if there are several.
async function remembered() {
  const ports = await navigator.serial.getPorts();
  const wanted = localStorage.getItem('kelvara-port');
  return ports.find((port) => JSON.stringify(port.getInfo()) === wanted) || ports[0] || null;
}
function remember(info) {
  try {
    localStorage.setItem('kelvara-port', JSON.stringify(info));
  } catch (error) { /* private mode */ }
}

async function portItem(name) {
  if (name === 'choose') {
    try {
      const port = await navigator.serial.requestPort();
      serial.port = port;
      const info = port.getInfo();
      remember(info);
      call('portGranted', info.usbVendorId ?? -1, info.usbProductId ?? -1);
    } catch (error) { /* none chosen: as it was */ }
  } else if (name === 'forget') {
    const port = serial.port || (await remembered());
    serial.port = null;
    try {
      await port?.forget?.();
    } catch (error) { /* an older browser keeps the permission */ }
    localStorage.removeItem('kelvara-port');
    call('portForgotten');
  } else {
    call('portMenu', name);
  }
}

function watchPorts() {
  if (serialState !== '') return;
  navigator.serial.addEventListener('disconnect', (event) => {
    if (event.target !== serial.port && event.port !== serial.port) return;
    call('serialLost');
  });
  remembered().then((port) => {
    if (!port) return;
    const info = port.getInfo();
    call('portGranted', info.usbVendorId ?? -1, info.usbProductId ?? -1);
  });
}

// ---- The machine in the page -----------------------------------------------------------------

let machine = null;
function buildMachine(desk) {
  const panel = el('section', { id: 'machine', 'aria-labelledby': 'machine-title' }, desk);
  el('h2', { id: 'machine-title', text: texts.machineTitle }, panel);
  const grid = el('div', { class: 'cells', role: 'img', 'aria-label': texts.machineTitle }, panel);
  const spots = [];
  for (let i = 0; i < 64; ++i) spots.push(el('span', {}, grid));
  const holds = el('p', {}, panel);
  const event = el('p', { 'aria-live': 'polite' }, panel);
  machine = { panel, grid, spots, holds, event };
}

function drawMachine(command) {
  command.cells.split('').forEach((cell, i) => machine.spots[i].classList.toggle('on', cell === '1'));
  machine.holds.textContent = command.holds;
  machine.event.textContent = command.event;
}

// ---- The page around it ----------------------------------------------------------------------

// The window and the machine side by side, or one above the other on a narrow screen, scaled
// down to fit the screen without scrolling (never up).
function fit() {
  const win = document.getElementById('window');
  const desk = document.getElementById('desk');
  if (!win || !machine) return;
  const gap = 8;
  const w = win.offsetWidth;
  const h = win.offsetHeight;
  const mw = machine.panel.offsetWidth;
  const mh = machine.panel.offsetHeight;
  const vw = window.innerWidth;
  const vh = window.innerHeight;
  const beside = Math.min(1, vw / (w + gap + mw), vh / Math.max(h, mh));
  const below = Math.min(1, vw / Math.max(w, mw), vh / (h + gap + mh));
  if (beside >= below) {
    machine.panel.style.left = `${w + gap}px`;
    machine.panel.style.top = '0px';
  } else {
    machine.panel.style.left = '0px';
    machine.panel.style.top = `${h + gap}px`;
  }
  desk.style.transform = `scale(${Math.max(beside, below)})`;
}

function exit() {
  serial.close();
  clock.terminate();
  const note = el('div', { id: 'exited' });
  el('p', { text: texts.exited }, note);
  const again = el('button', { type: 'button', text: texts.reopen }, note);
  again.addEventListener('click', () => location.reload());
  document.getElementById('stage').replaceChildren(note);
  window.close();
}

function keys() {
  const windowKeys = new Map(layout.windowKeys.map(({ key, button }) => [key, button]));
  const names = { PageUp: 'PageUp', PageDown: 'PageDown', F5: 'F5' };
  document.addEventListener('keydown', (event) => {
    if (document.querySelector('dialog[open]')) return;
    if (menuKey(event)) return;
    if (event.altKey) {
      const menu = menus.find((entry) => entry.key === event.key.toLowerCase());
      if (menu) {
        event.preventDefault();
        showMenu(menu);
        return;
      }
    }
    const button = windowKeys.get(names[event.key]);
    if (button) {
      // The key clicks its button, so a disabled button ignores it as it ignores the mouse.
      event.preventDefault();
      controls.get(button).click();
    } else if (event.key === 'Escape' && stopArmed) {
      call('escape');
    }
  });
}

// ---- The waits of the core ---------------------------------------------------------------------

// The clock worker runs the timers (a hidden tab holds back the page's own); a task of the
// page's own, a message to itself, lets pending events run without any timer.
const clock = new Worker('clock.js');
const timerTasks = new Map();
let nextTimer = 0;
clock.onmessage = (event) => {
  const task = timerTasks.get(event.data.fired);
  if (task) task();
};
function timer(ms, task, repeat = false) {
  const id = ++nextTimer;
  timerTasks.set(id, repeat ? task : () => {
    timerTasks.delete(id);
    task();
  });
  clock.postMessage({ set: id, ms, repeat });
  return id;
}
function cancelTimer(id) {
  if (!timerTasks.delete(id)) return;
  clock.postMessage({ clear: id });
}
const channel = new MessageChannel();
const channelTasks = [];
channel.port1.onmessage = () => channelTasks.shift()();
function soon(task) {
  channelTasks.push(task);
  channel.port2.postMessage(0);
}

// The transfer's waits, as the desktop's pump runs them: the events before a poll as soon as the
// page has gone round, a wait for input ended by the input, a pause to its deadline (a timer a
// millisecond short, then the page goes round until the deadline has passed).
const Kind = { events: 0, input: 1, pause: 2, done: 3 };
const wait = { kind: Kind.done, timer: 0, deadline: 0, seq: 0 };
function resume(seq) {
  if (seq !== wait.seq) return;
  wait.kind = Kind.done;
  cancelTimer(wait.timer);
  call('resume');
}
function untilDeadline(seq) {
  if (seq !== wait.seq) return;
  if (performance.now() >= wait.deadline) resume(seq);
  else soon(() => untilDeadline(seq));
}
let statusTimer = 0;
const sink = {
  page: (command) => apply(command),
  wait(kind, ms) {
    const seq = ++wait.seq;
    wait.kind = kind;
    if (kind === Kind.events) {
      soon(() => resume(seq));
    } else if (kind === Kind.input) {
      wait.timer = timer(ms, () => resume(seq));
    } else if (kind === Kind.pause) {
      wait.deadline = performance.now() + ms;
      wait.timer = timer(Math.max(0, ms - 1), () => untilDeadline(seq));
    }
  },
  input() {
    // Told from within the core (the line took the page's data): resumed once it has returned.
    if (wait.kind !== Kind.input) return;
    const seq = wait.seq;
    queueMicrotask(() => resume(seq));
  },
  statusTimer(run) {
    if (run && !statusTimer) {
      statusTimer = timer(1000, () => call('statusTick'), true);
    } else if (!run && statusTimer) {
      cancelTimer(statusTimer);
      statusTimer = 0;
    }
  },
};

async function start() {
  const module = await createKelvara();
  build(module.WebApp.layout());
  keys();
  app = new module.WebApp(sink, serialState);
  call('start');
  for (const [name, args] of early.splice(0)) call(name, ...args);
  // The machine runs what it holds every 500 ms, as kelvara-sim does.
  timer(500, () => call('machineTick'), true);
  document.body.dataset.ready = 'true';
  window.kelvaraReadyAt = performance.now();  // since the navigation began
  watchPorts();
}

fetch('examples/index.json')
  .then((response) => response.json())
  .then((list) => { examples = list; })
  .catch(() => {});
window.addEventListener('resize', fit);
// Leaving the page ends the transfer with it: the port is closed, nothing more is sent.
window.addEventListener('pagehide', () => serial.close());
if ('serviceWorker' in navigator) navigator.serviceWorker.register('sw.js').catch(() => {});
start();
