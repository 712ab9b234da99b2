// The web app's worker: it runs the editor (the core compiled to WebAssembly) and the machine
// simulated in the page, and waits for the transfers. A dedicated worker's timers are not held
// back when the tab is hidden, so a transfer keeps the line's pace in a background tab too. The
// page draws what comes from here and forwards the user's events; the serial port itself is the
// page's (only a page may ask the user for one), so its bytes are relayed both ways.
import createKelvara from './kelvara_web.mjs';

const Kind = { events: 0, input: 1, pause: 2, done: 3 };

let app = null;
let batch = [];
const pending = [];  // messages that came before the module was ready

function flush() {
  if (batch.length === 0) return;
  postMessage({ commands: batch });
  batch = [];
}

// A task of its own that no timer clamps: a message to ourselves.
const channel = new MessageChannel();
const channelTasks = [];
channel.port1.onmessage = () => channelTasks.shift()();
function soon(task) {
  channelTasks.push(task);
  channel.port2.postMessage(0);
}

// The transfer's waits, as the desktop's pump runs them: the events before a poll as soon as
// the loop has gone round, a wait for input ended by the input, a pause to its deadline (a timer
// set a millisecond short, then the loop goes round until the deadline has passed).
const wait = { kind: Kind.done, timer: 0, deadline: 0, seq: 0 };
function resume(seq) {
  if (seq !== wait.seq) return;
  wait.kind = Kind.done;
  clearTimeout(wait.timer);
  app.resume();
  flush();
}
function untilDeadline(seq) {
  if (seq !== wait.seq) return;
  if (performance.now() >= wait.deadline) {
    resume(seq);
  } else {
    soon(() => untilDeadline(seq));
  }
}
const sink = {
  page(command) {
    batch.push(command);
  },
  wait(kind, ms) {
    const seq = ++wait.seq;
    wait.kind = kind;
    if (kind === Kind.events) {
      soon(() => resume(seq));
    } else if (kind === Kind.input) {
      wait.timer = setTimeout(() => resume(seq), ms);
    } else if (kind === Kind.pause) {
      wait.deadline = performance.now() + ms;
      wait.timer = setTimeout(() => untilDeadline(seq), Math.max(0, ms - 1));
    }
  },
  input() {
    if (wait.kind !== Kind.input) return;
    const seq = wait.seq;
    clearTimeout(wait.timer);
    wait.kind = Kind.done;
    soon(() => resume(seq));
  },
  statusTimer(run) {
    if (run && !statusTimer) {
      statusTimer = setInterval(() => {
        app.statusTick();
        flush();
      }, 1000);
    } else if (!run && statusTimer) {
      clearInterval(statusTimer);
      statusTimer = 0;
    }
  },
};
let statusTimer = 0;

// What the page sends: { call: method, args: [...] }.
function handle(message) {
  const { call, args } = message;
  if (call === 'start') return start(...args);
  if (!app) {
    pending.push(message);
    return;
  }
  const result = app[call](...(args || []));
  flush();
  if (message.reply !== undefined) postMessage({ reply: message.reply, result });
}

// serial: "" when the page can reach a serial port, "unsupported" (no Web Serial) or
// "insecure" (not a secure context).
async function start(serial) {
  const module = await createKelvara();
  postMessage({ layout: module.WebApp.layout() });
  app = new module.WebApp(sink, serial);
  app.start();
  flush();
  // The machine runs what it holds every 500 ms, as kelvara-sim does.
  setInterval(() => {
    app.machineTick();
    flush();
  }, 500);
  postMessage({ ready: true });
  for (const message of pending.splice(0)) handle(message);
}

onmessage = (event) => handle(event.data);
