// A stand-in for the browser's navigator.serial, put into the page before its
// own scripts run: each opened port is a WebSocket to the test bridge, which
// starts q8sim (with `config.sim`) on a pseudo-terminal for it. The page's
// own code, from port.readable and port.writable on, runs as with a real
// port. config: {bridge, sim, granted, absent}.
function installSerialDouble(config) {
    if (config.absent) {
        delete Navigator.prototype.serial;
        return;
    }
    const lost = () => new DOMException('The device has been lost.', 'NetworkError');
    class DoublePort extends EventTarget {
        readable = null;
        writable = null;
        async open(options) {
            this.options = options;
            const ws = new WebSocket(`${config.bridge}?sim=${encodeURIComponent(JSON.stringify(config.sim))}`);
            ws.binaryType = 'arraybuffer';
            await new Promise((resolve, reject) => {
                ws.onopen = resolve;
                ws.onerror = () => reject(new DOMException('Failed to open serial port.', 'NetworkError'));
            });
            this.ws = ws;
            this.readable = new ReadableStream({
                start: (controller) => {
                    this.controller = controller;
                    ws.onmessage = (event) => controller.enqueue(new Uint8Array(event.data));
                },
            });
            this.writable = new WritableStream({
                write: (chunk) => {
                    if (ws.readyState !== WebSocket.OPEN) {
                        throw lost();
                    }
                    ws.send(chunk);
                },
            });
        }
        // As a real port, it will not close while a stream is locked.
        async close() {
            if ((this.readable && this.readable.locked) || (this.writable && this.writable.locked)) {
                throw new TypeError('Cannot close a port with locked streams.');
            }
            this.ws.close();
            this.readable = null;
            this.writable = null;
            navigator.serial.closed += 1;
        }
        // The adapter pulled out: the reader fails, the port is gone.
        unplug() {
            this.controller.error(lost());
            this.readable = null;
            this.writable = null;
            this.ws.close();
            navigator.serial.dispatchEvent(new Event('disconnect'));
        }
    }
    const serial = new EventTarget();
    serial.closed = 0;  // ports the page has let go
    serial.requestPort = async () => (window.serialPort = new DoublePort());
    serial.getPorts = async () => (config.granted ? [window.serialPort = new DoublePort()] : []);
    Object.defineProperty(navigator, 'serial', { value: serial, configurable: true });
}
