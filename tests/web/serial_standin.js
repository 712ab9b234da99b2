// A stand-in for the browser's serial ports (navigator.serial), put into the page before its
// scripts run. Its one port reaches the simulated machine through a WebSocket that the test
// relays to kelvara-sim's pseudo-terminal. window.kelvaraStandIn steers it:
//   url       the relay's address
//   choose    what requestPort() does: 'port' (the user chooses it) or 'cancel'
//   granted   whether the port counts as granted on an earlier visit (getPorts())
(() => {
  const config = (window.kelvaraStandIn = window.kelvaraStandIn || {});
  config.choose = config.choose || 'port';
  config.opened = 0;

  class StandInPort extends EventTarget {
    constructor() {
      super();
      this.socket = null;
      this.readable = null;
      this.writable = null;
    }
    getInfo() {
      return { usbVendorId: 0x10c4, usbProductId: 0xea60 };
    }
    async open(options) {
      if (this.socket) throw new DOMException('The port is already open.', 'InvalidStateError');
      config.options = options;
      const socket = new WebSocket(config.url);
      socket.binaryType = 'arraybuffer';
      await new Promise((resolve, reject) => {
        socket.onopen = resolve;
        socket.onerror = () => reject(new DOMException('Failed to open serial port.', 'NetworkError'));
      });
      this.socket = socket;
      config.opened += 1;
      let lost = false;
      this.readable = new ReadableStream({
        start(controller) {
          socket.onmessage = (event) => controller.enqueue(new Uint8Array(event.data));
          socket.onclose = () => {
            lost = true;
            controller.error(new DOMException('The device has been lost.', 'NetworkError'));
          };
        },
        cancel() {},
      });
      const port = this;
      this.writable = new WritableStream({
        write(chunk) {
          if (lost) throw new DOMException('The device has been lost.', 'NetworkError');
          socket.send(chunk);
        },
      });
      socket.addEventListener('close', () => {
        if (!port.closing) navigator.serial.dispatchEvent(Object.assign(new Event('disconnect'), { port }));
      });
    }
    async setSignals(signals) {
      config.signals = signals;
    }
    async close() {
      this.closing = true;
      this.socket?.close();
      this.socket = null;
      this.readable = this.writable = null;
      this.closing = false;
    }
    async forget() {
      config.granted = false;
    }
  }

  const port = new StandInPort();
  class StandInSerial extends EventTarget {
    async getPorts() {
      return config.granted ? [port] : [];
    }
    async requestPort() {
      if (!navigator.userActivation.isActive) {
        throw new DOMException('Must be handling a user gesture to show a permission request.',
          'SecurityError');
      }
      if (config.choose === 'cancel') {
        throw new DOMException('No port selected by the user.', 'NotFoundError');
      }
      config.granted = true;
      return port;
    }
  }
  Object.defineProperty(Navigator.prototype, 'serial', { value: new StandInSerial(), configurable: true });
})();
