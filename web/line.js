// The byte line between a serial port and the core (web/WebLine.cpp): what
// the port's reader brings is queued here until the core's read takes it,
// and the core's frames go to the port's writer.
//
// A port is anything with `readable` and `writable` streams and `close()`:
// a Web Serial port, or a test's pseudo-terminal wrapped in streams.
'use strict';

class Line {
    constructor() {
        this.chunks = [];    // received, not yet read (Uint8Arrays)
        this.queued = 0;     // their bytes
        this.waiter = null;  // the read waiting for bytes
        this.port = null;
        this.reader = null;
        this.writer = null;
        this.gone = true;    // no port, or it failed: reads end at once
    }

    // Takes the port's streams; the port is open.
    attach(port) {
        this.port = port;
        this.gone = false;
        this.purge();
        this.writer = port.writable.getWriter();
        this.pumping = this.pump(port);
    }

    async pump(port) {
        let stream = port.readable;
        while (stream && this.port === port) {
            this.reader = stream.getReader();
            try {
                for (;;) {
                    const { value, done } = await this.reader.read();
                    if (done) {
                        break;
                    }
                    this.receive(value);
                }
            } catch (error) {
                // A fatal error (the adapter pulled) leaves no readable; a
                // passing one (a framing error, an overrun) gives a new one.
            }
            this.reader.releaseLock();
            this.reader = null;
            const next = port.readable;
            stream = next !== stream ? next : null;
        }
        if (this.port === port) {
            this.lose();
        }
    }

    receive(bytes) {
        if (bytes.length === 0) {
            return;
        }
        this.chunks.push(bytes);
        this.queued += bytes.length;
        if (this.waiter && this.queued >= this.waiter.count) {
            this.waiter.finish();
        }
    }

    lose() {
        this.gone = true;
        if (this.waiter) {
            this.waiter.finish();
        }
    }

    // Up to `count` bytes: as soon as all are queued, else what came within
    // `waitMs`. Null once the port is gone and nothing is left, as the
    // link's low-level read: bytes already here still count, the next read
    // sees the failure.
    readSome(count, waitMs) {
        if (this.queued >= count || this.gone) {
            return Promise.resolve(this.take(count));
        }
        return new Promise((resolve) => {
            const timer = setTimeout(() => this.waiter.finish(), waitMs);
            this.waiter = {
                count,
                finish: () => {
                    clearTimeout(timer);
                    this.waiter = null;
                    resolve(this.take(count));
                },
            };
        });
    }

    take(count) {
        const n = Math.min(count, this.queued);
        if (n === 0 && this.gone) {
            return null;
        }
        const out = new Uint8Array(n);
        let filled = 0;
        while (filled < n) {
            const chunk = this.chunks[0];
            const part = Math.min(chunk.length, n - filled);
            out.set(chunk.subarray(0, part), filled);
            filled += part;
            if (part === chunk.length) {
                this.chunks.shift();
            } else {
                this.chunks[0] = chunk.subarray(part);
            }
        }
        this.queued -= n;
        return out;
    }

    // Waits until the writer has taken the frame, at most `budgetMs`; a frame
    // that did not go out shows as the missing reply.
    async write(bytes, budgetMs) {
        if (this.gone || !this.writer) {
            return;
        }
        let timer;
        const late = new Promise((resolve) => { timer = setTimeout(resolve, budgetMs); });
        await Promise.race([this.writer.write(bytes).catch(() => {}), late]);
        clearTimeout(timer);
    }

    purge() {
        this.chunks = [];
        this.queued = 0;
    }

    // Lets the port go, so another page or program can open it. A port with
    // a locked stream refuses to close: the reader is cancelled and its loop
    // has let go of it, and the writer is released, first.
    async close() {
        const port = this.port;
        if (!port) {
            return;
        }
        this.port = null;
        this.lose();
        try {
            if (this.reader) {
                await this.reader.cancel();
            }
            await this.pumping;
            this.writer.releaseLock();
            this.writer = null;
            await port.close();
        } catch (error) {
            // Already closed or gone: nothing is held any more.
        }
    }
}

if (typeof module === 'object') {
    module.exports = { Line };
}
